#include "cli/params_file.h"

std::string format_params(const param_values& values)
{
    std::string text = "# Glimmora parameters\n";
    for (int i = 0; i < param_count; i++) {
        if (values.set[i]) text += std::string(param_ranges[i].name) + " " + std::to_string(values.value[i]) + "\n";
    }
    if (values.centre_set) {
        text += "centre " + std::to_string(values.centre_x) + "," + std::to_string(values.centre_y) + "\n";
    }
    return text;
}

static std::string trim(const std::string& s)
{
    size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return std::string();
    size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

bool parse_params(const std::string& text, param_values* values, std::string* error)
{
    param_values parsed;
    size_t start = 0;
    int line_number = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        line_number++;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        line = trim(line);
        if (line.empty()) continue;

        std::string where = "line " + std::to_string(line_number) + ": ";
        size_t space = line.find_first_of(" \t");
        if (space == std::string::npos) {
            *error = where + "'" + line + "' has no value";
            return false;
        }
        std::string key = line.substr(0, space);
        std::string value = trim(line.substr(space));
        if (key == "centre" || key == "center") {
            if (!parse_point(value, &parsed.centre_x, &parsed.centre_y)) {
                *error = where + "centre needs X,Y, not '" + value + "'";
                return false;
            }
            parsed.centre_set = true;
            continue;
        }
        int index = -1;
        for (int i = 0; i < param_count; i++) {
            if (key == param_ranges[i].name) index = i;
        }
        if (index < 0) {
            *error = where + "unknown name '" + key + "'";
            return false;
        }
        int32_t v = 0;
        if (!parse_int(value, &v)) {
            *error = where + key + " needs a whole number, not '" + value + "'";
            return false;
        }
        std::string range_error;
        if (!check_param(index, v, &range_error)) {
            *error = where + range_error;
            return false;
        }
        parsed.value[index] = v;
        parsed.set[index] = true;
    }
    *values = parsed;
    return true;
}
