/* winpeek.c: prints the windows on a Wine desktop, for the test driver:
 *   desktop L T R B
 *   window CAPTION|L T R B|CLASS
 *   control ID|VISIBLE|CLASS|TEXT
 * one line each, every visible top-level window followed by its controls.
 * Usage: winpeek [DESKTOP]  (the desktop that `explorer /desktop=NAME` made). */
#include <windows.h>
#include <stdio.h>

static BOOL CALLBACK control(HWND w, LPARAM lp)
{
    (void)lp;
    char cls[64], text[512] = "";
    DWORD_PTR got;
    GetClassNameA(w, cls, sizeof cls);
    /* An edit control of another process keeps its text to itself: ask it.
     * A window that is busy (the installer while it expands) answers late. */
    if (!SendMessageTimeoutA(w, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 3000, &got))
        text[0] = 0;
    printf("control %d|%d|%s|%s\n", GetDlgCtrlID(w), IsWindowVisible(w) ? 1 : 0, cls, text);
    return TRUE;
}

static BOOL CALLBACK top(HWND w, LPARAM lp)
{
    (void)lp;
    if (!IsWindowVisible(w))
        return TRUE;
    char cls[64], text[512];
    RECT r;
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, text, sizeof text);
    GetWindowRect(w, &r);
    printf("window %s|%ld %ld %ld %ld|%s\n", text, r.left, r.top, r.right, r.bottom, cls);
    EnumChildWindows(w, control, 0);
    return TRUE;
}

int main(int argc, char **argv)
{
    if (argc > 1) {
        HDESK d = OpenDesktopA(argv[1], 0, FALSE, GENERIC_ALL);
        if (!d || !SetThreadDesktop(d)) {
            printf("error no desktop %s\n", argv[1]);
            return 1;
        }
    }
    RECT r;
    GetWindowRect(GetDesktopWindow(), &r);
    printf("desktop %ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    EnumWindows(top, 0);
    fflush(stdout);
    return 0;
}
