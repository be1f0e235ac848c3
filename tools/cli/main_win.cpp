// glimmora-host: the command-line host.  Loads an image file, runs the
// filter plug-in on it, and writes the result (command_win.cpp).
#include "cli/command.h"

int main(int argc, char** argv)
{
    return host_main(argc, argv, plugin_driver());
}
