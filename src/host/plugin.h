// Operations of the Win32 shell shared between its files.  Portable types only,
// so the header can be read without <windows.h>.
#pragma once

#include <cstdint>

#include "host/params.h"

// Entry and dispatch.
void* host_window();  // the owner of every window the plug-in opens (HWND), or null
void show_warning(const char* text);
extern const char* const lab_notice_text;

// The parameter record in the host's handle.
void ensure_params();
int32_t wants_dialog();
void run_dialog();
void load_preview_centre(int16_t* x, int16_t* y);
spoke_params* lock_params();  // null when there is no record
void unlock_params();

// Run planning and the continue phases.
void plan_run();
// Whether blocks or GDI objects of an earlier start are still held.
bool run_holds_resources();
void release_run();
// Empties the request rectangles and marks that no run is going on.
void end_requests();
void continue_run();
