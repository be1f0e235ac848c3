// Command line of the Glimmora command-line host.
//
//   glimmora apply IN OUT [options]    run the filter on an image file
//   glimmora copy IN OUT [options]     load and save only (no plug-in), for timing
//
// Parsing checks the form of every option and the ranges that do not depend
// on the image; the centre is checked against the image once it is loaded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "effect/value_table.h"
#include "host/params.h"

// Exit codes, also listed in the usage text.
enum cli_exit : int {
    exit_ok = 0,
    exit_usage = 2,       // bad command line or parameter value
    exit_input = 3,       // IN, MASK or params file unreadable or unsuitable
    exit_plugin = 4,      // plug-in missing, not a filter, or not for this mode
    exit_filter = 5,      // the plug-in returned an error code
    exit_cancelled = 6,   // the user cancelled the dialog
    exit_output = 7,      // OUT could not be written
};

enum class colour_mode { from_image, rgb, gray, cmyk };

// The six effect values, in the order they are stored in spoke_params: the
// order of the value table.
enum param_index {
    p_spokes = value_spokes,
    p_angle = value_angle,
    p_thickness = value_thickness,
    p_intensity = value_intensity,
    p_radius = value_radius,
    p_length = value_length,
    param_count = spoke_value_count
};

// Each value's name and range, as the value table has them.
struct param_range {
    const char* name;  // as the option is spelled, without the dashes
    int32_t low, high;
};
extern const param_range param_ranges[param_count];

// Values given on the command line or loaded from a file; `set` says which.
struct param_values {
    int32_t value[param_count] = {};
    bool set[param_count] = {};
    int32_t centre_x = 0, centre_y = 0;
    bool centre_set = false;
};

struct cli_options {
    std::string command;  // "apply" or "copy"
    std::string in_path, out_path;
    param_values params;
    bool dialog = false;
    std::string selection_path;
    bool floating = false;
    colour_mode mode = colour_mode::from_image;
    int32_t max_space = 1 << 30;  // what a desktop host offers: 1 GiB
    std::string plugin_path;       // empty: next to the host program
    std::string params_path;
    bool quiet = false;
    bool help = false;
    bool version = false;  // --version: print the release's version and stop
    std::string dialog_test;  // hidden: a dialog script (dialog_script.h) instead of the user
    bool force_progress = false;  // hidden: draw the progress bar even when stderr is not a terminal
};

// Parses argv[1..].  On failure returns false and puts a one-line message in
// *error (without the program name).
bool parse_options(const std::vector<std::string>& args, cli_options* options, std::string* error);

// A decimal integer with optional sign and nothing else; false when out of
// int32 range or malformed.
bool parse_int(const std::string& text, int32_t* value);

// "X,Y" with two integers.
bool parse_point(const std::string& text, int32_t* x, int32_t* y);

// Checks one value against its range; on failure a message naming the range.
bool check_param(int index, int32_t value, std::string* error);

// Checks the centre against an image of width x height.
bool check_centre(int32_t x, int32_t y, int32_t width, int32_t height, std::string* error);

// Explicit values in `over` replace those in `base`.
void merge_params(param_values* base, const param_values& over);

// The record handed to the plug-in: defaults, then the values that are set;
// the centre defaults to the middle of the image.
spoke_params make_record(const param_values& values, int32_t width, int32_t height, bool show_dialog);

// The values a record holds, all marked as set.
param_values values_from_record(const spoke_params& record);

const char* usage_text();
