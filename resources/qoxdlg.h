// qoxdlg.h: identifiers and texts of the installer dialog, shared by the
// Windows resource script and the POSIX terminal dialog. Plain #defines, so
// that the resource compiler can read this file too.
#ifndef QOX_QOXDLG_H
#define QOX_QOXDLG_H

#define QOX_DIALOG      "qoxdlg"  /* the dialog template's name */
#define QOX_ICON        "RABBIT"  /* the icon group's name */

#define ID_OK           1         /* OK button (IDOK) */
#define ID_CANCEL       2         /* Cancel button (IDCANCEL) */
#define ID_PATH         101       /* path_field: edit control */
#define ID_STATUS       201       /* status_label: static text */
#define ID_ICON         (-1)      /* the icon: static, no identifier */

#define QOX_TITLE       "Tressilvandora Self-Expand Installer  "
#define QOX_STATUS_INIT "Files will be expanded to:"

#endif
