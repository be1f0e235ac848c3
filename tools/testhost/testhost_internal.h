// Shared between the test host's own files; tests include testhost.h only.
#pragma once

#include <windows.h>

#include "testhost.h"

namespace testhost {

// The host of this thread: the window hook and the host callbacks have no
// user pointer, so they find it here.
extern thread_local plugin_host* current_host;

// The selector of the entry call in progress (no_call outside calls), for the
// crash report, which may run on any thread.
const LONG no_call = -100000;
extern volatile LONG current_selector;

HHOOK install_window_hook();

// Points the plug-in's imports that the host watches at its wrappers
// (imports.cpp); false when the module's import table has none of them.
bool redirect_imports(HMODULE module);

// The note set with set_crash_note(), for the crash report and the watchdog.
const char* crash_note_text();

// The callbacks a host puts into the FilterRecord.
ps_boolean abort_proc();
void progress_proc(int32_t done, int32_t total);
int16_t display_pixels_proc(const PSPixelMap* source, const VRect* rect, int32_t row, int32_t col,
                            void* context);

}  // namespace testhost
