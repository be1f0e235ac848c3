// What a host program sets up once per process, and paths as Windows takes
// them.
#pragma once

#include <string>

namespace filter_host {

// The name the host's own lines on stderr begin with ("NAME: ..."): the
// crash report, and the note when a dialog script left the dialog open.
// Set it once from main.
void set_program_name(const char* name);
const char* program_name();

// Prints which plug-in call was running when the process crashes, then lets
// the crash take its course (Wine prints a backtrace and the process exits
// non-zero).  Call once from main.
void install_crash_report();

// A note the crash report prints too, e.g. how to replay the session that
// was running; empty for none.
void set_crash_note(const std::string& note);
const char* crash_note();

// A DOS path for a Unix path under Wine ("/a/b" -> "Z:\a\b"); other paths
// are returned unchanged.
std::string windows_path(const std::string& path);

}  // namespace filter_host
