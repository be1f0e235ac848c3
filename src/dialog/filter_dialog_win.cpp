// FilterDlg: the six value pairs, their validation, and the Preview, OK,
// Cancel and Revert buttons.  The same template also measures the preview
// area at start, before the real dialog is ever shown.
#include "dialog/filter_dialog.h"

#include "dialog/value_pairs.h"
#include "effect/spoke.h"
#include "state/run_state.h"
#include "preview/preview.h"
#include "resource.h"

static HWND dialog() { return (HWND)run_state.dialog_window; }

static void centre_on_screen(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    int16_t w = (int16_t)(r.right - r.left);
    int16_t h = (int16_t)(r.bottom - r.top);
    int32_t x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    int32_t y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    if (x <= 0) x = 0;
    if (y <= 0) y = 0;
    MoveWindow(window, x, y, w, h, TRUE);
}

static void set_bar_position(HWND bar, int16_t value)
{
    if (value >= 0) SetScrollPos(bar, SB_CTL, value, TRUE);
}

// Shows a value in its edit field.  A stored value below zero (hosts hand
// back whatever they kept) is shown with its sign, so it reads as what it is.
static void show_value(int16_t edit_id, int16_t value)
{
    SetDlgItemInt(dialog(), edit_id, (UINT)(int32_t)value, value < 0);
}

static void init_value_pair(const value_pair& pair)
{
    HWND bar = GetDlgItem(dialog(), pair.bar_id);
    SetScrollRange(bar, SB_CTL, pair.minimum, pair.maximum, FALSE);
    set_bar_position(bar, *pair.value);
    show_value(pair.edit_id, *pair.value);
    SendDlgItemMessageA(dialog(), pair.edit_id, EM_LIMITTEXT, (WPARAM)text_limit(pair.minimum, pair.maximum), 0);
}

static void bar_range(int16_t bar_id, int16_t* minimum, int16_t* maximum)
{
    int lo = 0, hi = 0;
    GetScrollRange(GetDlgItem(dialog(), bar_id), SB_CTL, &lo, &hi);
    *minimum = (int16_t)lo;
    *maximum = (int16_t)hi;
}

static int16_t read_value_field(int16_t edit_id, int16_t minimum, int16_t maximum)
{
    BOOL translated = FALSE;
    UINT number = GetDlgItemInt(dialog(), edit_id, &translated, FALSE);
    return validate_value(translated != FALSE, number, minimum, maximum);
}

static void select_field(int16_t edit_id)
{
    SendDlgItemMessageA(dialog(), edit_id, EM_SETSEL, 0, 0x630000);
    SetFocus(GetDlgItem(dialog(), edit_id));
}

static int16_t reject_field(int16_t edit_id)
{
    MessageBeep(0);
    select_field(edit_id);
    return 0;
}

// The edit-change path: every notification of an edit field re-reads it.
static void edit_changed(const value_pair& pair)
{
    erase_overlays(pair.redraw);
    int16_t minimum, maximum;
    bar_range(pair.bar_id, &minimum, &maximum);
    *pair.value = read_value_field(pair.edit_id, minimum, maximum);
    draw_overlays(pair.redraw);
    set_bar_position(GetDlgItem(dialog(), pair.bar_id), *pair.value);
}

static void move_bar_to(int16_t bar_id, int16_t requested)
{
    const value_pair* pair = pair_for_bar(bar_id);
    if (pair == nullptr) return;
    HWND bar = GetDlgItem(dialog(), bar_id);
    int16_t minimum, maximum;
    bar_range(bar_id, &minimum, &maximum);
    int16_t v = clamp_to_range(requested, minimum, maximum);
    if (v == (int16_t)GetScrollPos(bar, SB_CTL)) return;
    set_bar_position(bar, v);
    // Setting the text runs the edit-change path, which redraws and reads it.
    SetDlgItemInt(dialog(), pair->edit_id, (UINT)v, FALSE);
}

static void scroll_value(int16_t bar_id, int16_t code, int16_t thumb)
{
    const value_pair* pair = pair_for_bar(bar_id);
    if (pair == nullptr) return;
    int16_t minimum, maximum;
    bar_range(bar_id, &minimum, &maximum);
    int16_t position = (int16_t)GetScrollPos(GetDlgItem(dialog(), bar_id), SB_CTL);
    int16_t requested;
    if (!scroll_request(code, position, thumb, pair->page_step, minimum, maximum, &requested)) return;
    move_bar_to(bar_id, requested);
}

static void show_effect()
{
    run_state.effect_shown = 1;
    run_state.centre_x = (int16_t)(((int64_t)run_state.preview_centre_x * run_state.preview_scale + 0x8000) >> 16);
    run_state.centre_y = (int16_t)(((int64_t)run_state.preview_centre_y * run_state.preview_scale + 0x8000) >> 16);
    run_state.geometry = setup_spoke_geometry(working_values(), run_state.preview_extent, run_state.preview_scale);
    render_preview();
}

// Preview and OK: both refuse to go on while any value is invalid, beeping
// and selecting each invalid field in turn.
static void preview_or_ok(int16_t command)
{
    int16_t pending = command;
    const value_pair* pairs = value_pairs();
    for (int i = 0; i < value_pair_count; i++)
        if (*pairs[i].value < 0) pending = reject_field(pairs[i].edit_id);

    if (pending == IDC_PREVIEW) show_effect();
    if (pending == IDOK) {
        if (selection_exists()) stop_ants();
        EndDialog(dialog(), IDOK);
    }
}

static INT_PTR on_command(int16_t id)
{
    if (const value_pair* pair = pair_for_edit(id)) {
        edit_changed(*pair);
        return TRUE;
    }
    switch (id) {
    case IDC_PREVIEW:
    case IDOK:
        preview_or_ok(id);
        return TRUE;
    case IDCANCEL:
        if (selection_exists()) stop_ants();
        EndDialog(dialog(), IDCANCEL);
        return TRUE;
    case IDC_REVERT:
        if (run_state.effect_shown == 1) {
            run_state.effect_shown = 0;
            render_preview();
        }
        return TRUE;
    }
    return FALSE;
}

// Measure mode: record the big view's client size and end at once.
static void measure(HWND window)
{
    RECT r = {0, 0, 0, 0};
    GetClientRect(GetDlgItem(window, IDC_BIG_VIEW), &r);
    run_state.measured_width = (int16_t)r.right;
    run_state.measured_height = (int16_t)r.bottom;
    EndDialog(window, 0);
}

static void set_up(HWND window)
{
    // A drag that an earlier dialog of this module never saw end is no drag
    // in this one.
    run_state.big_captured = 0;
    run_state.small_captured = 0;
    centre_on_screen(window);
    const value_pair* pairs = value_pairs();
    for (int i = 0; i < value_pair_count; i++) init_value_pair(pairs[i]);
    if (selection_exists()) build_selection_outline();
}

extern "C" INT_PTR CALLBACK FilterDlg(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    run_state.dialog_window = window;
    // The measuring dialog touches nothing but its own measurement, also
    // after WM_INITDIALOG has stored the size.
    bool measuring = run_state.measure_pass != 0;
    switch (message & 0xFFFF) {
    case WM_INITDIALOG:
        // The measuring dialog never shows: it must not take the focus either,
        // or the dialog manager would activate it and pull the activation away
        // from the host's window for a moment.
        if (run_state.measured_width == 0) {
            measure(window);
            return FALSE;
        }
        set_up(window);
        return TRUE;
    case WM_COMMAND:
        if (measuring) return FALSE;
        return on_command((int16_t)LOWORD(wparam));
    case WM_TIMER:
        if (!measuring && selection_exists() && run_state.preview_ready == 1) animate_ants();
        return TRUE;
    case WM_HSCROLL:
        if (!measuring) scroll_value((int16_t)GetDlgCtrlID((HWND)lparam), (int16_t)LOWORD(wparam),
                                     (int16_t)HIWORD(wparam));
        return TRUE;
    }
    return FALSE;
}
