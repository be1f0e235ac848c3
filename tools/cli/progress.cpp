#include "cli/progress.h"

static const int32_t bar_cells = 40;

static std::string draw(int32_t cells, int32_t percent)
{
    std::string text = "\rGlimmora [";
    text.append((size_t)cells, '#');
    text.append((size_t)(bar_cells - cells), '.');
    text += "] " + std::to_string(percent) + "%";
    if (percent < 100) text += " ";
    return text;
}

std::string progress_update(progress_bar* bar, int32_t done, int32_t total, uint32_t now_ms)
{
    if (!bar->enabled || total <= 0) return std::string();
    if (!bar->started) {
        bar->started = true;
        bar->start_ms = now_ms;
    }
    if (!bar->shown && now_ms - bar->start_ms < bar->delay_ms) return std::string();
    if (done < 0) done = 0;
    if (done > total) done = total;
    int32_t percent = (int32_t)((int64_t)done * 100 / total);
    int32_t cells = (int32_t)((int64_t)done * bar_cells / total);
    if (percent == bar->last_percent && cells == bar->last_cells) return std::string();
    bar->last_percent = percent;
    bar->last_cells = cells;
    bar->shown = true;
    return draw(cells, percent);
}

std::string progress_finish(progress_bar* bar, bool completed)
{
    if (!bar->shown) return std::string();
    bar->shown = false;
    if (!completed) return "\n";
    return draw(bar_cells, 100) + "\n";
}
