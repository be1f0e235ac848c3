// The parameters dialog procedure (Win32 shell only).
#pragma once

#include <windows.h>

extern "C" INT_PTR CALLBACK FilterDlg(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
