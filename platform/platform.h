// platform.h: every operation the installer needs of the operating system.
// Two backends implement it with the same names: platform/win32 over the real
// Windows API, platform/posix over POSIX. CMake picks one; the code above this
// seam (payload/, core/, dialog/) never includes an OS header.
//
// Paths handed to these operations are 8-bit, zero-terminated text. Relative
// paths resolve against the process's current directory. The backslash is a
// directory separator on both backends; the POSIX backend also takes '/'.
// An existing file or directory is found whatever the case of its name (a
// record that names setup.exe reaches SETUP.EXE); a new name is created as
// written. On POSIX a level that does not exist as written is matched
// without regard to ASCII case against its directory's entries, the exact
// name winning when both exist.
#ifndef QOX_PLATFORM_H
#define QOX_PLATFORM_H

#include "platform_types.h" // the backend's handle, message and constant types

// The separator of the platform's own paths ('\\' on Windows, '/' on POSIX):
// the one the installer uses when it joins a directory it got from the
// platform with a name. Archive names always use '\\'.
extern const char os_sep;

// ---- files and directories ------------------------------------------------

// Full path of the running executable, zero-terminated, truncated to fit
// `size` bytes (terminator included).
void os_own_path(qinst inst, char *buf, int size);

// The Windows directory, without a trailing separator, in at most `size`
// bytes; an empty string when it does not fit. The POSIX backend answers
// "/tmp".
void os_windows_dir(char *buf, int size);

// The process's current directory, without a trailing separator (except for
// a root), in at most `size` bytes; an empty string when it does not fit.
void os_current_dir(char *buf, int size);

// Opens an existing file for reading. qfile_bad when it cannot be opened.
qfile os_open(const char *path);

// Creates a file, or empties an existing one, open for reading and writing
// (normal attributes). qfile_bad when it cannot be created.
qfile os_create(const char *path);

// Reads up to `count` bytes. Returns the number read, fewer than `count`
// only at the end of the file; 0 at the end of the file; -1 on a read error.
// Reads after writes on the same handle see what was written.
int os_read(qfile f, void *buf, int count);

// Writes `count` bytes. Returns `count` when they are all accepted, fewer or
// -1 when the write failed (for instance, no space left). A backend may
// buffer: a failure can then show only at a later write or at os_close.
int os_write(qfile f, const void *buf, int count);

// Moves the position: origin seek_set (from the start; offset >= 0) or
// seek_cur (from the current position; offset <= 0). Returns the new
// position, or -1 on failure.
long os_seek(qfile f, long offset, int origin);

// Closes the file. Returns 0, or -1 when data written earlier could not be
// stored. The handle is invalid afterwards either way.
int os_close(qfile f);

// Deletes a file. False when it cannot be deleted, and always while a
// running program has the file as its image (the installer relies on this to
// tell that a program has ended), or while this process holds it open. On
// POSIX also while any process holds the file open or mapped, or names it on
// its command line, as an interpreter names the script it runs.
bool os_delete(const char *path);

// Creates one directory level. False when it exists or its parent is missing.
bool os_mkdir(const char *path);

// Makes `path` the current directory. False when it is not a directory that
// can be entered.
bool os_chdir(const char *path);

// Removes a directory; succeeds only when it is empty.
bool os_rmdir(const char *path);

// The current drive: 0 for A:, 1 for B:, and so on, whatever the letter's
// case; -1 when the current directory has no drive letter (a network path,
// or any POSIX directory).
int os_current_drive(void);

// Makes drive `drive` (0 = A:) current, entering the directory the platform
// remembers for it, or its root when none is remembered. Failure ignored;
// nothing happens on a platform without drive letters.
void os_set_drive(int drive);

// Sets the last-write time of the existing file `path` from a DOS time
// block (time in the low 16 bits, date in the high 16 bits) read as local
// time; creation and access times are left alone. False on failure, and for
// a block that is no valid date and time (month 0 or above 12, day 0 or past
// the month's end, hour above 23, minute above 59, seconds 60 or 62): the
// file's time is then left as it was.
bool os_set_time(const char *path, unsigned long dos_time);

// ---- the shell ------------------------------------------------------------

// Opens `path` as the shell's "open" action would, with the current
// directory as the working directory, and returns without waiting for the
// program to end. On POSIX an ELF file or a "#!" script is made executable
// for its owner and started with standard input from /dev/null; the call
// returns once its image is in place. Any other file goes to xdg-open; a
// missing file opens nothing.
void os_shell_open(const char *path);

// ---- LZ expansion ---------------------------------------------------------

// Opens `path` for the LZ service: lz_style_read opens a compressed file as
// a source; lz_style_create creates (or empties) a destination whose handle
// is also an ordinary file handle for os_read, os_seek and os_close. `ofs`
// is the open-file record both opens share. A negative value on failure.
qfile lz_open(const char *path, qofs *ofs, int style);

// Expands the whole source into the destination; a source that does not
// begin with the SZDD signature is copied unchanged. Returns the number of
// bytes written to the destination, or a negative value on failure. A stream
// it cannot expand (an unknown mode, a cut stream) yields a negative value or
// fewer bytes than its header announces: Windows' service answers 0 for an
// unknown mode.
long lz_copy(qfile src, qfile dst);

// Closes a source opened by lz_open.
void lz_close(qfile src);

// Releases what the LZ service holds.
void lz_done(void);

// ---- the dialog -----------------------------------------------------------

// Runs the dialog template `name` modally with `proc` as its procedure and
// no owner window. Returns the result given to ui_end, when the dialog has
// ended.
int ui_run_dialog(qinst inst, const char *name, qdlgproc proc);

// Ends the dialog with `result`; the modal loop ends after the current
// message has been handled.
void ui_end(qwnd w, int result);

// Sets the text of control `id`.
void ui_set_text(qwnd w, int id, const char *text);

// Reads the text of control `id` into `buf`, at most `size` bytes with the
// terminator.
void ui_get_text(qwnd w, int id, char *buf, int size);

// Hides control `id`.
void ui_hide(qwnd w, int id);

// Sets the window's caption.
void ui_caption(qwnd w, const char *text);

// Posts a command message (first parameter `wp`, second `lp`) to the
// window: it is delivered after the current message has returned, and after
// initialisation, before any input of the user.
void ui_post_command(qwnd w, qwparam wp, qlparam lp);

// Reads the screen rectangles of the desktop and of the dialog window.
void ui_rects(qwnd w, qrect *desktop, qrect *dialog);

// Moves the window to `x`, `y` with the given size, without repainting.
void ui_move(qwnd w, int x, int y, int width, int height);

// A solid brush in the platform's button-face colour.
qbrush ui_face_brush(void);

// Deletes a brush made by ui_face_brush.
void ui_free_brush(qbrush b);

// Sets a transparent background mode on the device context.
void ui_transparent(qdc dc);

// Sets the text background colour to r, g, b and the text colour to the
// platform's window-text colour on the device context.
void ui_text_colours(qdc dc, int r, int g, int b);

// Shows the wait cursor.
void ui_wait_cursor(void);

// Shows a message box with no owner: style box_error (OK button,
// exclamation icon) or box_yes_no (Yes and No, no icon). Returns the answer
// (answer_yes for Yes). Timers and posted messages keep reaching the dialog
// while the box is open.
int ui_box(const char *text, const char *caption, int style);

// Starts timer `id` on the window: a timer message about every `ms`
// milliseconds.
void ui_timer(qwnd w, int id, int ms);

// Stops timer `id`.
void ui_timer_stop(qwnd w, int id);

#endif
