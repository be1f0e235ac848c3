// Driving the plug-in's dialog from a dialog script (plugin_host.h), as a
// user would: typing into fields, clicking, scrolling, pressing keys, and
// letting time pass with the dialog running.
#pragma once

#include <windows.h>

#include <string>

namespace filter_host {

// Runs the thread's message loop for about `milliseconds`, dispatching
// everything (timers included) and giving keys to `dialog` first, as its own
// modal loop does.
void pump_messages(DWORD milliseconds, HWND dialog = nullptr);

void click(HWND dialog, int id);                       // BM_CLICK, as a mouse click does
void set_item_text(HWND dialog, int id, const std::string& text);
std::string item_text(HWND dialog, int id);
void scroll(HWND dialog, int bar_id, int code, int position = 0);  // WM_HSCROLL from that bar
void press_key(HWND dialog, UINT virtual_key);         // key down and up through the modal loop

}  // namespace filter_host
