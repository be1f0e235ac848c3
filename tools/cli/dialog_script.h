// Scripted use of the plug-in's dialog, for tests and for the screenshots in
// docs/: a hidden option of the host (--dialog-test) stands in for the user.
//
// A script is a comma-separated list of steps, run in order once the dialog
// is up:
//   spokes=12      type a value into that field (any of the six names)
//   preview        press "Preview" and let the preview draw
//   wait=MS        let MS milliseconds pass with the dialog running
//   shot=FILE.png  save a picture of the dialog as it is on the screen
//   ok / cancel    press that button
#pragma once

#include <string>
#include <vector>

struct dialog_step {
    enum kind_t { set_value, preview, wait, shot, ok, cancel } kind;
    int field = -1;  // param_index, for set_value
    std::string text;  // the value typed, or the screenshot file
    int milliseconds = 0;
};

// False with a reason for a step it does not know.
bool parse_dialog_script(const std::string& script, std::vector<dialog_step>* steps, std::string* error);

#ifdef _WIN32
#include <windows.h>
// Performs the steps in the open dialog.  When they leave it open, the
// host presses the default button afterwards.
void run_dialog_script(HWND dialog, const std::vector<dialog_step>& steps);
#endif
