// What the Wine test programs get from their command line.
#pragma once

#include <string>

// The plug-in the tests load: the build of this program's bitness (--plugin=PATH;
// defaults to the one built beside the program).
const std::string& plugin_path();
// The 32-bit and the 64-bit plug-in (--plugin32=PATH, --plugin64=PATH); the one
// of this program's bitness defaults to plugin_path(), the other is empty when
// not given.
const std::string& plugin32_path();
const std::string& plugin64_path();
// Where a test writes its record for comparing the two builds (--record=PATH);
// empty when not given.
const std::string& record_path();
