// The progress bar the host draws on stderr from the plug-in's progress
// reports.  Short runs show nothing: the bar appears only once the reports
// have been coming for longer than a moment, and is redrawn only when it
// changes.  The clock starts at the first report, so time the user spends in
// the dialog does not count.
#pragma once

#include <cstdint>
#include <string>

struct progress_bar {
    bool enabled = true;
    uint32_t delay_ms = 400;  // a run shorter than this shows no bar
    bool started = false;
    uint32_t start_ms = 0;
    int32_t last_cells = -1;
    int32_t last_percent = -1;
    bool shown = false;
};

// The text to write for a report of `done` out of `total` at time `now_ms`
// (starting with a carriage return), or "" when nothing changes.
std::string progress_update(progress_bar* bar, int32_t done, int32_t total, uint32_t now_ms);

// What ends the bar: a full bar and a newline when one was shown, else "".
std::string progress_finish(progress_bar* bar, bool completed);
