// The file in which the command-line host keeps the values a user accepted in
// the dialog, as a host keeps its parameter record between runs.
//
// A small text format, one value per line, `#` starts a comment:
//
//   # Glimmora parameters
//   spokes 8
//   angle 0
//   thickness 20
//   intensity 50
//   radius 50
//   length 50
//   centre 200,150
//
// Any line may be left out (the value then takes its default); the centre is
// in image pixels from the top-left corner.
#pragma once

#include <string>

#include "cli/options.h"

std::string format_params(const param_values& values);

// On failure *error names the line and what is wrong with it.
bool parse_params(const std::string& text, param_values* values, std::string* error);
