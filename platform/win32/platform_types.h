// platform_types.h (Windows): the types and constants of <windows.h> under
// the names platform.h and the dialog procedure use.
#ifndef QOX_PLATFORM_TYPES_H
#define QOX_PLATFORM_TYPES_H

#include <windows.h>

typedef HFILE qfile;
typedef HINSTANCE qinst;
typedef HWND qwnd;
typedef UINT qmsg;
typedef WPARAM qwparam;
typedef LPARAM qlparam;
typedef INT_PTR qresult;
typedef HDC qdc;
typedef HBRUSH qbrush;
typedef RECT qrect;
typedef OFSTRUCT qofs;

#define QPROC CALLBACK
#define QWINAPI WINAPI
#define QEXPORT __declspec(dllexport)

typedef qresult (QPROC *qdlgproc)(qwnd, qmsg, qwparam, qlparam);

enum {
    qfile_bad = HFILE_ERROR,
    seek_set = 0,
    seek_cur = 1,
    lz_style_read = OF_READ,
    lz_style_create = OF_CREATE,
    msg_destroy = WM_DESTROY,
    msg_init = WM_INITDIALOG,
    msg_command = WM_COMMAND,
    msg_timer = WM_TIMER,
    msg_colour_button = WM_CTLCOLORBTN,
    msg_colour_dialog = WM_CTLCOLORDLG,
    msg_colour_static = WM_CTLCOLORSTATIC,
    box_error = MB_OK | MB_ICONEXCLAMATION,
    box_yes_no = MB_YESNO,
    answer_ok = IDOK,
    answer_yes = IDYES,
    answer_no = IDNO
};

#endif
