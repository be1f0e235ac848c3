// The command-line host as a whole program: sets up the process, runs one
// command line (see usage_text() for the options) and returns its exit code.
// main() of glimmora-host.exe passes the driver as it is; the tests'
// reference program passes one of its own (drive.h).
#pragma once

#include "cli/drive.h"

int host_main(int argc, char** argv, const plugin_driver& driver);
