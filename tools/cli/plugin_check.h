// Finding a filter in a plug-in file the way a host does, before any of its
// code runs: the module is mapped as data and its PiPL resources are read.
#pragma once

#include <cstdint>
#include <string>

#include "cli/pipl.h"

struct plugin_choice {
    pipl_info info;
    std::string entry_name;  // for this host's architecture
};

// Reads the plug-in at `path` (a Windows path); messages call it `name`.  It must hold a PiPL of kind
// '8BFM' with an entry point for this architecture, interface version 4.x,
// and allow `image_mode`.  On failure *error is one line for the user.
bool choose_plugin(const std::string& path, const std::string& name, int16_t image_mode, plugin_choice* choice, std::string* error);
