// Helpers for dialog scripts: what a user does in the dialog, done through
// its messages.
#include "filter_host/dialog_driver.h"

#include "filter_host/internal.h"

namespace filter_host {

void pump_messages(DWORD milliseconds, HWND dialog)
{
    const DWORD begin = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage((int)msg.wParam);
                return;
            }
            if (dialog != nullptr && IsWindow(dialog) && IsDialogMessageA(dialog, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        DWORD elapsed = GetTickCount() - begin;
        if (elapsed >= milliseconds) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    }
}

void click(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void set_item_text(HWND dialog, int id, const std::string& text)
{
    SetDlgItemTextA(dialog, id, text.c_str());
}

std::string item_text(HWND dialog, int id)
{
    return window_text(GetDlgItem(dialog, id));
}

void scroll(HWND dialog, int bar_id, int code, int position)
{
    SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(code, position), (LPARAM)GetDlgItem(dialog, bar_id));
}

void press_key(HWND dialog, UINT virtual_key)
{
    HWND target = GetFocus();
    if (target == nullptr || (target != dialog && !IsChild(dialog, target))) target = dialog;
    PostMessageA(target, WM_KEYDOWN, virtual_key, 1);
    PostMessageA(target, WM_KEYUP, virtual_key, (LPARAM)0xC0000001);
    pump_messages(0, dialog);
}

}  // namespace filter_host
