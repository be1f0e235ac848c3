// Shared between the filter host's own files; users include plugin_host.h,
// dialog_driver.h and process.h.
#pragma once

#include <windows.h>

#include "filter_host/plugin_host.h"

namespace filter_host {

// The host of this thread: the window hook and the host callbacks have no
// user pointer, so they find it here.
extern thread_local plugin_host* current_host;

// The selector of the entry call in progress (no_call outside calls), for the
// crash report, which may run on any thread.
const LONG no_call = -100000;
extern volatile LONG current_selector;

HHOOK install_window_hook();

// The window text of a window or dialog item ("" for none).
std::string window_text(HWND window);

}  // namespace filter_host
