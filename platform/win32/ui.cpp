// ui.cpp: the installer dialog over the Windows window and graphics calls:
// the modal dialog, control texts, centring, colours, the cursor, message
// boxes and the timer.
#include "platform.h"

int ui_run_dialog(qinst inst, const char *name, qdlgproc proc)
{
    return (int)DialogBoxParamA(inst, name, 0, proc, 0);
}

void ui_end(qwnd w, int result)
{
    EndDialog(w, result);
}

void ui_set_text(qwnd w, int id, const char *text)
{
    SetDlgItemTextA(w, id, text);
}

// The call cuts a long text to fit and always terminates it.
void ui_get_text(qwnd w, int id, char *buf, int size)
{
    if (size <= 0)
        return;
    buf[0] = 0;
    GetDlgItemTextA(w, id, buf, size);
}

void ui_hide(qwnd w, int id)
{
    ShowWindow(GetDlgItem(w, id), SW_HIDE);
}

void ui_caption(qwnd w, const char *text)
{
    SetWindowTextA(w, text);
}

void ui_post_command(qwnd w, qwparam wp, qlparam lp)
{
    PostMessageA(w, WM_COMMAND, wp, lp);
}

void ui_rects(qwnd w, qrect *desktop, qrect *dialog)
{
    GetWindowRect(GetDesktopWindow(), desktop);
    GetWindowRect(w, dialog);
}

void ui_move(qwnd w, int x, int y, int width, int height)
{
    MoveWindow(w, x, y, width, height, FALSE);
}

qbrush ui_face_brush(void)
{
    return CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
}

void ui_free_brush(qbrush b)
{
    DeleteObject(b);
}

void ui_transparent(qdc dc)
{
    SetBkMode(dc, TRANSPARENT);
}

void ui_text_colours(qdc dc, int r, int g, int b)
{
    SetBkColor(dc, RGB(r, g, b));
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
}

void ui_wait_cursor(void)
{
    SetCursor(LoadCursorA(0, IDC_WAIT));
}

int ui_box(const char *text, const char *caption, int style)
{
    return MessageBoxA(0, text, caption, (UINT)style);
}

void ui_timer(qwnd w, int id, int ms)
{
    SetTimer(w, (UINT_PTR)id, (UINT)ms, 0);
}

void ui_timer_stop(qwnd w, int id)
{
    KillTimer(w, (UINT_PTR)id);
}
