// platform_types.h (POSIX): the handle, message and constant types that
// platform.h and the dialog procedure use, defined by this backend itself.
// Message numbers and answers keep their Windows values, so the dialog
// procedure and its tests read the same on both backends.
#ifndef QOX_PLATFORM_TYPES_H
#define QOX_PLATFORM_TYPES_H

#include <stdint.h>

typedef int qfile;                 // a slot of the backend's handle table
typedef void *qinst;               // unused on POSIX
struct qwindow;                    // the terminal dialog
typedef struct qwindow *qwnd;
typedef unsigned int qmsg;
typedef uintptr_t qwparam;
typedef intptr_t qlparam;
typedef intptr_t qresult;
typedef void *qdc;                 // no drawing on a terminal
typedef intptr_t qbrush;
struct qrect { long left, top, right, bottom; };
typedef struct qrect qrect;
struct qofs { int unused; };       // the LZ open-file record carries nothing here
typedef struct qofs qofs;

#define QPROC                      // calling convention of the dialog procedure
#define QWINAPI                    // calling convention of WinMain
#define QEXPORT __attribute__((visibility("default")))

typedef qresult (QPROC *qdlgproc)(qwnd, qmsg, qwparam, qlparam);

enum {
    qfile_bad = -1,
    seek_set = 0,
    seek_cur = 1,
    lz_style_read = 0x0000,        // OF_READ
    lz_style_create = 0x1000,      // OF_CREATE
    msg_destroy = 0x0002,          // WM_DESTROY
    msg_init = 0x0110,             // WM_INITDIALOG
    msg_command = 0x0111,          // WM_COMMAND
    msg_timer = 0x0113,            // WM_TIMER
    msg_colour_button = 0x0135,    // WM_CTLCOLORBTN
    msg_colour_dialog = 0x0136,    // WM_CTLCOLORDLG
    msg_colour_static = 0x0138,    // WM_CTLCOLORSTATIC
    box_error = 0x0030,            // MB_OK | MB_ICONEXCLAMATION
    box_yes_no = 0x0004,           // MB_YESNO
    answer_ok = 1,                 // IDOK
    answer_yes = 6,                // IDYES
    answer_no = 7                  // IDNO
};

#endif
