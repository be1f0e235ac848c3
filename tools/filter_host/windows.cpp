// The windows the plug-in opens: a thread-local CBT hook sees each dialog
// window as it is activated.  Message boxes are read and closed at once; the
// plug-in's own dialog is handed to the dialog script from a thread timer, so
// the script runs inside the dialog's modal loop with the dialog on screen.
#include <cstdio>
#include <cstring>

#include "filter_host/internal.h"
#include "filter_host/plugin_host.h"
#include "filter_host/process.h"

namespace filter_host {

static const char plugin_dialog_caption[] = "***** Glimmoric Filter *****";
static const char seen_property[] = "filter_host_seen";

// Message boxes give their text control this id (on Windows and Wine alike).
static const int message_text_id = 0xFFFF;

static LRESULT CALLBACK cbt_hook(int code, WPARAM w, LPARAM l)
{
    if (code == HCBT_ACTIVATE && current_host != nullptr) current_host->on_activate((HWND)w);
    return CallNextHookEx(nullptr, code, w, l);
}

HHOOK install_window_hook()
{
    return SetWindowsHookExA(WH_CBT, cbt_hook, nullptr, GetCurrentThreadId());
}

std::string window_text(HWND window)
{
    if (window == nullptr) return std::string();
    int n = GetWindowTextLengthA(window);
    std::string text((size_t)n + 1, '\0');
    n = GetWindowTextA(window, &text[0], n + 1);
    text.resize(n > 0 ? (size_t)n : 0);
    return text;
}

static bool is_dialog_window(HWND window)
{
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    return std::strcmp(name, "#32770") == 0;
}

// The button a user would press to dismiss the box, or IDCANCEL.
static int first_button(const std::vector<int>& buttons)
{
    return buttons.empty() ? IDCANCEL : buttons.front();
}

static icon_kind classify_icon(HICON icon)
{
    if (icon == nullptr) return icon_kind::none;
    if (icon == LoadIcon(nullptr, IDI_INFORMATION)) return icon_kind::information;
    if (icon == LoadIcon(nullptr, IDI_WARNING)) return icon_kind::warning;
    if (icon == LoadIcon(nullptr, IDI_ERROR)) return icon_kind::error;
    if (icon == LoadIcon(nullptr, IDI_QUESTION)) return icon_kind::question;
    return icon_kind::other;
}

struct icon_search {
    HICON icon;
};

// The icon of a message box sits in a static control with SS_ICON style (its
// id differs between Windows and Wine); it is present but empty without one.
static BOOL CALLBACK find_icon(HWND child, LPARAM l)
{
    icon_search* search = (icon_search*)l;
    char name[16] = {};
    GetClassNameA(child, name, sizeof name);
    LONG style = GetWindowLongA(child, GWL_STYLE);
    if (lstrcmpiA(name, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON && (style & WS_VISIBLE)) {
        HICON icon = (HICON)SendMessageA(child, STM_GETICON, 0, 0);
        if (icon != nullptr) {
            search->icon = icon;
            return FALSE;
        }
    }
    return TRUE;
}

static UINT button_flags(const std::vector<int>& b)
{
    auto is = [&](std::initializer_list<int> set) { return b == std::vector<int>(set); };
    if (is({IDOK})) return MB_OK;
    if (is({IDOK, IDCANCEL})) return MB_OKCANCEL;
    if (is({IDABORT, IDRETRY, IDIGNORE})) return MB_ABORTRETRYIGNORE;
    if (is({IDCANCEL, IDYES, IDNO})) return MB_YESNOCANCEL;
    if (is({IDYES, IDNO})) return MB_YESNO;
    if (is({IDCANCEL, IDRETRY})) return MB_RETRYCANCEL;
    if (is({IDCANCEL, IDTRYAGAIN, IDCONTINUE})) return MB_CANCELTRYCONTINUE;
    return MB_TYPEMASK;  // no standard set
}

static UINT icon_flags(icon_kind icon)
{
    switch (icon) {
    case icon_kind::none: return 0;
    case icon_kind::information: return MB_ICONINFORMATION;
    case icon_kind::warning: return MB_ICONWARNING;
    case icon_kind::error: return MB_ICONERROR;
    case icon_kind::question: return MB_ICONQUESTION;
    case icon_kind::other: return MB_USERICON;
    }
    return 0;
}

void plugin_host::handle_message_box(HWND window)
{
    message_box box;
    box.window = window;
    box.owner = GetWindow(window, GW_OWNER);
    box.caption = window_text(window);
    box.text = window_text(GetDlgItem(window, message_text_id));
    static const int ids[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO, IDTRYAGAIN, IDCONTINUE};
    for (int id : ids) {
        HWND button = GetDlgItem(window, id);
        if (button != nullptr && (GetWindowLongA(button, GWL_STYLE) & WS_VISIBLE)) box.buttons.push_back(id);
    }
    icon_search search = {nullptr};
    EnumChildWindows(window, find_icon, (LPARAM)&search);
    box.icon = classify_icon(search.icon);
    box.flags = button_flags(box.buttons) | icon_flags(box.icon);
    box.call_index = current_call_;
    const int press = first_button(box.buttons);
    boxes_.push_back(box);
    // Posted, so the box finishes its activation and its modal loop takes it.
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(press, BN_CLICKED), (LPARAM)GetDlgItem(window, press));
}

static void CALLBACK dialog_timer(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    if (current_host != nullptr) current_host->on_dialog_timer();
}

void plugin_host::on_activate(HWND window)
{
    if (!is_dialog_window(window) || GetPropA(window, seen_property) != nullptr) return;
    std::string caption = window_text(window);
    if (caption.compare(0, sizeof plugin_dialog_caption - 1, plugin_dialog_caption) == 0) {
        // Handled from the modal loop once it is on screen.  A dialog that
        // ends during its initialisation (the measuring pass) is activated
        // on some systems but never shows, and is never handled.
        for (HWND pending : pending_dialogs_)
            if (pending == window) return;
        pending_dialogs_.push_back(window);
        SetTimer(nullptr, 0, 1, dialog_timer);
        return;
    }
    SetPropA(window, seen_property, (HANDLE)1);
    if (GetDlgItem(window, message_text_id) != nullptr) {
        handle_message_box(window);
        return;
    }
    dialog_seen other;
    other.window = window;
    other.owner = GetWindow(window, GW_OWNER);
    other.caption = caption;
    other.call_index = current_call_;
    dialogs_.push_back(other);
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void plugin_host::on_dialog_timer()
{
    std::vector<HWND> pending;
    pending.swap(pending_dialogs_);
    for (HWND dialog : pending) {
        if (!IsWindow(dialog) || GetPropA(dialog, seen_property) != nullptr) continue;
        if (!IsWindowVisible(dialog)) {
            pending_dialogs_.push_back(dialog);  // not up yet: look again shortly
            continue;
        }
        SetPropA(dialog, seen_property, (HANDLE)1);
        dialog_seen seen;
        seen.window = dialog;
        seen.owner = GetWindow(dialog, GW_OWNER);
        seen.caption = window_text(dialog);
        seen.plugin_dialog = true;
        seen.call_index = current_call_;
        dialogs_.push_back(seen);
        handle_plugin_dialog(dialog);
    }
    if (!pending_dialogs_.empty()) SetTimer(nullptr, 0, 10, dialog_timer);
}

void plugin_host::handle_plugin_dialog(HWND dialog)
{
    if (script_) {
        script_(dialog);
        // EndDialog hides the dialog at once; one still showing was left open.
        if (!IsWindow(dialog) || !IsWindowVisible(dialog)) return;
        for (dialog_seen& seen : dialogs_)
            if (seen.window == dialog) seen.left_open = true;
        std::fprintf(stderr, "%s: the dialog script left the dialog open; pressing button %d\n", program_name(),
                     default_button_);
    }
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(default_button_, BN_CLICKED),
                 (LPARAM)GetDlgItem(dialog, default_button_));
}

}  // namespace filter_host
