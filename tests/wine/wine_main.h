// What the Wine test programs get from their command line.
#pragma once

#include <string>

// The 64-bit plug-in (--plugin=PATH; defaults to the one built beside the program).
const std::string& plugin_path();
// The 32-bit plug-in (--plugin32=PATH); empty when not given.
const std::string& plugin32_path();
