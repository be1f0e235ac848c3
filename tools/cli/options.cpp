#include "cli/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

static constexpr param_range range_of(param_index i)
{
    return {spoke_value_table[i].name, spoke_value_table[i].minimum, spoke_value_table[i].maximum};
}

const param_range param_ranges[param_count] = {
    range_of(p_spokes), range_of(p_angle),  range_of(p_thickness),
    range_of(p_intensity), range_of(p_radius), range_of(p_length),
};

bool parse_int(const std::string& text, int32_t* value)
{
    if (text.empty() || text.size() > 20) return false;
    const char* s = text.c_str();
    size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i == text.size()) return false;
    for (; i < text.size(); i++) {
        if (s[i] < '0' || s[i] > '9') return false;
    }
    errno = 0;
    long long v = strtoll(s, nullptr, 10);
    if (errno != 0 || v < INT32_MIN || v > INT32_MAX) return false;
    *value = (int32_t)v;
    return true;
}

bool parse_point(const std::string& text, int32_t* x, int32_t* y)
{
    size_t comma = text.find(',');
    if (comma == std::string::npos) return false;
    return parse_int(text.substr(0, comma), x) && parse_int(text.substr(comma + 1), y);
}

bool check_param(int index, int32_t value, std::string* error)
{
    const param_range& r = param_ranges[index];
    if (value >= r.low && value <= r.high) return true;
    *error = std::string(r.name) + " " + std::to_string(value) + " is out of range: " + r.name + " must be " +
             std::to_string(r.low) + "-" + std::to_string(r.high);
    return false;
}

bool check_centre(int32_t x, int32_t y, int32_t width, int32_t height, std::string* error)
{
    if (x >= 0 && x < width && y >= 0 && y < height) return true;
    *error = "centre " + std::to_string(x) + "," + std::to_string(y) +
             " is outside the image: x must be 0-" + std::to_string(width - 1) + " and y 0-" +
             std::to_string(height - 1);
    return false;
}

void merge_params(param_values* base, const param_values& over)
{
    for (int i = 0; i < param_count; i++) {
        if (over.set[i]) {
            base->value[i] = over.value[i];
            base->set[i] = true;
        }
    }
    if (over.centre_set) {
        base->centre_x = over.centre_x;
        base->centre_y = over.centre_y;
        base->centre_set = true;
    }
}

spoke_params make_record(const param_values& values, int32_t width, int32_t height, bool show_dialog)
{
    int16_t v[param_count];
    for (int i = 0; i < param_count; i++) v[i] = values.set[i] ? (int16_t)values.value[i] : spoke_value_table[i].initial;
    spoke_params p;
    p.saved_centre_x = (int16_t)(values.centre_set ? values.centre_x : width / 2);
    p.saved_centre_y = (int16_t)(values.centre_set ? values.centre_y : height / 2);
    p.spokes = v[p_spokes];
    p.angle = v[p_angle];
    p.thickness = v[p_thickness];
    p.intensity = v[p_intensity];
    p.radius = v[p_radius];
    p.length = v[p_length];
    p.showDialog = show_dialog ? 1 : 0;
    return p;
}

param_values values_from_record(const spoke_params& record)
{
    param_values values;
    const int16_t v[param_count] = {record.spokes,    record.angle,  record.thickness,
                                    record.intensity, record.radius, record.length};
    for (int i = 0; i < param_count; i++) {
        values.value[i] = v[i];
        values.set[i] = true;
    }
    values.centre_x = record.saved_centre_x;
    values.centre_y = record.saved_centre_y;
    values.centre_set = true;
    return values;
}

static int param_option(const std::string& name)
{
    for (int i = 0; i < param_count; i++) {
        if (name == std::string("--") + param_ranges[i].name) return i;
    }
    return -1;
}

// Splits "--name=value" into its two halves; other arguments stay whole.
static void split_inline_value(const std::string& arg, std::string* name, std::string* value, bool* has_value)
{
    size_t eq = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
        *name = arg.substr(0, eq);
        *value = arg.substr(eq + 1);
        *has_value = true;
    } else {
        *name = arg;
        value->clear();
        *has_value = false;
    }
}

bool parse_options(const std::vector<std::string>& args, cli_options* o, std::string* error)
{
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); i++) {
        std::string name, value;
        bool has_value = false;
        split_inline_value(args[i], &name, &value, &has_value);

        if (name == "-h" || name == "--help") {
            o->help = true;
            return true;
        }
        if (name == "--version") {
            o->version = true;
            return true;
        }
        bool is_flag = name == "--dialog" || name == "--floating" || name == "--quiet" || name == "-q" ||
                       name == "--progress";
        if (is_flag) {
            if (has_value) {
                *error = name + " takes no value";
                return false;
            }
            if (name == "--dialog") o->dialog = true;
            if (name == "--floating") o->floating = true;
            if (name == "--quiet" || name == "-q") o->quiet = true;
            if (name == "--progress") o->force_progress = true;
            continue;
        }
        if (name.size() > 1 && name[0] == '-') {
            int index = param_option(name);
            bool known = index >= 0 || name == "--centre" || name == "--center" || name == "--selection" ||
                         name == "--mode" || name == "--max-space" || name == "--plugin" || name == "--params" ||
                         name == "--dialog-test";
            if (!known) {
                *error = "unknown option " + name + " (see --help)";
                return false;
            }
            if (!has_value) {
                if (i + 1 >= args.size()) {
                    *error = name + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            if (index >= 0) {
                int32_t v = 0;
                if (!parse_int(value, &v)) {
                    *error = name + " needs a whole number, not '" + value + "'";
                    return false;
                }
                if (!check_param(index, v, error)) return false;
                o->params.value[index] = v;
                o->params.set[index] = true;
            } else if (name == "--centre" || name == "--center") {
                if (!parse_point(value, &o->params.centre_x, &o->params.centre_y)) {
                    *error = name + " needs X,Y in whole pixels, not '" + value + "'";
                    return false;
                }
                o->params.centre_set = true;
            } else if (name == "--mode") {
                if (value == "rgb") o->mode = colour_mode::rgb;
                else if (value == "gray" || value == "grey") o->mode = colour_mode::gray;
                else if (value == "cmyk") o->mode = colour_mode::cmyk;
                else {
                    *error = "--mode must be rgb, gray or cmyk, not '" + value + "'";
                    return false;
                }
            } else if (name == "--max-space") {
                int32_t v = 0;
                if (!parse_int(value, &v) || v <= 0) {
                    *error = "--max-space needs a number of bytes from 1 to 2147483647, not '" + value + "'";
                    return false;
                }
                o->max_space = v;
            } else if (value.empty()) {
                *error = name + " needs a file name";
                return false;
            } else if (name == "--dialog-test") {
                o->dialog_test = value;
                o->dialog = true;
            } else if (name == "--selection") {
                o->selection_path = value;
            } else if (name == "--plugin") {
                o->plugin_path = value;
            } else {
                o->params_path = value;
            }
            continue;
        }
        positional.push_back(args[i]);
    }

    if (positional.empty()) {
        *error = "no command given (try: glimmora apply IN OUT)";
        return false;
    }
    o->command = positional[0];
    if (o->command != "apply" && o->command != "copy") {
        *error = "unknown command '" + o->command + "' (the command is apply)";
        return false;
    }
    if (positional.size() != 3) {
        *error = o->command + " needs an input and an output file: glimmora " + o->command + " IN OUT";
        return false;
    }
    o->in_path = positional[1];
    o->out_path = positional[2];
    return true;
}

// What the usage text says of each value beside its range and default: the
// letter standing for it and what it is.
struct param_help {
    const char* placeholder;
    const char* meaning;
};
static const param_help param_helps[param_count] = {
    {"N", "number of spokes"}, {"D", "rotation in degrees"}, {"T", "spoke width"},
    {"I", "blend strength in percent"}, {"R", "inner radius"}, {"L", "spoke length"},
};

// "  --spokes N        number of spokes, 1-50 (default 8)" and so on, with
// the ranges and defaults of the value table.
static std::string value_option_lines()
{
    std::string lines;
    for (int i = 0; i < param_count; i++) {
        const spoke_value_info& v = spoke_value_table[i];
        std::string option = std::string("  --") + v.name + " " + param_helps[i].placeholder;
        option.resize(20, ' ');  // every option's text starts in the same column
        lines += option + param_helps[i].meaning + ", " + std::to_string(v.minimum) + "-" +
                 std::to_string(v.maximum) + " (default " + std::to_string(v.initial) + ")\n";
    }
    return lines;
}

const char* usage_text()
{
    static const std::string text =
        "usage: glimmora apply IN OUT [options]\n"
        "\n"
        "Runs the Glimmora filter plug-in on IN (PNG or JPEG) and writes OUT (.png, .jpg\n"
        "or .jpeg).  Without --dialog it runs as a repeated run with the values below;\n"
        "with --dialog the plug-in's own dialog opens first.  The filter works in 8 bits\n"
        "per channel: a 16-bit PNG is read as 8-bit (with a note) and OUT is 8-bit.\n"
        "\n" +
        value_option_lines() +
        "  --centre X,Y      centre in image pixels (default: the middle of the image)\n"
        "  --dialog          open the plug-in's dialog; the accepted values are saved\n"
        "                    to --params FILE when given\n"
        "  --params FILE     load values saved by an earlier --dialog run (options given\n"
        "                    on the command line win); with --dialog, save them there\n"
        "  --selection MASK  gray PNG of the image's size: 255 selected, 0 not; the\n"
        "                    result is blended by the mask\n"
        "  --floating        tell the plug-in the selection is floating\n"
        "  --mode M          rgb, gray or cmyk (default: gray for a gray image, else rgb)\n"
        "  --max-space BYTES memory budget offered to the plug-in (default 1 GiB)\n"
        "  --plugin PATH     the .8bf to run (default: GLIMMORA.8bf next to the host)\n"
        "  --quiet, -q       no progress bar and no notes; errors are still reported\n"
        "  --version         print the version and stop\n"
        "\n"
        "exit codes: 0 done, 2 bad command line or value, 3 unreadable or unsuitable\n"
        "input, 4 plug-in missing or unsuitable, 5 the plug-in failed, 6 cancelled in\n"
        "the dialog, 7 OUT could not be written.  OUT is only written after a\n"
        "successful run.\n";
    return text.c_str();
}
