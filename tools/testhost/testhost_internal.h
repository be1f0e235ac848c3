// Shared between the test host's own files; tests include testhost.h only.
#pragma once

#include <windows.h>

#include "testhost.h"

namespace testhost {

// The test host of this thread, for the import wrappers and the
// displayPixels callback, which have no user pointer.
extern thread_local plugin_host* current_host;

// Points the plug-in's imports that the host watches at its wrappers
// (imports.cpp); false when the module's import table has none of them.
bool redirect_imports(HMODULE module);

// The displayPixels callback run_filter puts into the FilterRecord.
int16_t display_pixels_proc(const PSPixelMap* source, const VRect* rect, int32_t row, int32_t col,
                            void* context);

}  // namespace testhost
