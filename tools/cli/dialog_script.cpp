#include "cli/dialog_script.h"

#include "cli/options.h"

bool parse_dialog_script(const std::string& script, std::vector<dialog_step>* steps, std::string* error)
{
    steps->clear();
    size_t start = 0;
    while (start <= script.size()) {
        size_t end = script.find(',', start);
        if (end == std::string::npos) end = script.size();
        std::string step = script.substr(start, end - start);
        start = end + 1;
        if (step.empty()) continue;
        size_t eq = step.find('=');
        std::string name = step.substr(0, eq);
        std::string value = eq == std::string::npos ? std::string() : step.substr(eq + 1);
        dialog_step s{dialog_step::ok, -1, std::string(), 0};
        if (step == "ok") s.kind = dialog_step::ok;
        else if (step == "cancel") s.kind = dialog_step::cancel;
        else if (step == "preview") s.kind = dialog_step::preview;
        else if (name == "wait" && eq != std::string::npos) {
            int32_t ms = 0;
            if (!parse_int(value, &ms) || ms < 0) {
                *error = "dialog step '" + step + "': wait needs milliseconds";
                return false;
            }
            s.kind = dialog_step::wait;
            s.milliseconds = ms;
        } else if (name == "shot" && !value.empty()) {
            s.kind = dialog_step::shot;
            s.text = value;
        } else {
            for (int i = 0; i < param_count; i++)
                if (name == param_ranges[i].name && eq != std::string::npos) s.field = i;
            if (s.field < 0) {
                *error = "unknown dialog step '" + step + "'";
                return false;
            }
            s.kind = dialog_step::set_value;
            s.text = value;
        }
        steps->push_back(s);
    }
    return true;
}
