// launch.cpp: opening the setup program, waiting for its end, and removing
// what the expansion wrote.
#include <string.h>
#include "state.h"

static const char text_leave[] =
    "Leave this window here until the install finishes, then click YES to delete temporary files.";

void launch(qwnd w)
{
    if (!st.record.run_program[0]) {
        ui_end(w, 1);
        return;
    }
    const char sep[2] = {os_sep, 0};
    // A path that does not fit the buffer cannot name the program: it is
    // neither opened nor watched, and the expanded files stay, as when the
    // record names no program.
    if (!text_copy(st.watch_path, path_size, st.dir_buffer) ||
        !text_append(st.watch_path, path_size, sep) ||
        !text_append(st.watch_path, path_size, st.record.run_program)) {
        ui_end(w, 1);
        return;
    }
    ui_set_text(w, ID_STATUS, "running...");
    ui_set_text(w, ID_PATH, st.watch_path);
    os_shell_open(st.watch_path);
    if (st.auto_mode) {
        ui_timer(w, poll_timer, poll_ms);
        return;
    }
    if (ui_box(text_leave, QOX_TITLE, box_yes_no) == answer_yes)
        clean_up(w);
    else
        ui_end(w, 1);
}

// Watches the chained program next: it lies in the first program's
// directory. False when its path does not fit the buffer.
static bool watch_chained(void)
{
    int i = (int)strlen(st.watch_path) - 1;
    while (i >= 1 && st.watch_path[i] != '\\' && st.watch_path[i] != os_sep)
        i--;
    int start = i >= 1 ? i + 1 : 0;
    if (start + (int)strlen(st.record.chained_program) >= path_size)
        return false;
    strcpy(st.watch_path + start, st.record.chained_program);
    // The record buffer's slack leaves room for these five bytes wherever
    // the field starts.
    memcpy(st.record.chained_program, "auto", 5);
    return true;
}

void wait_poll(qwnd w)
{
    if (!os_delete(st.watch_path))
        return;
    if (strcmp(st.record.chained_program, "auto") != 0 && watch_chained())
        return;
    // The last program has ended (or a chained name too long to watch: its
    // files are in use while it runs, and deleting them then fails).
    ui_timer_stop(w, poll_timer);
    clean_up(w);
}

void clean_up(qwnd w)
{
    for (st.cleanup_walk = st.cleanup_list; st.cleanup_walk < st.cleanup_end;
         st.cleanup_walk += strlen(st.cleanup_walk) + 1) {
        ui_set_text(w, ID_STATUS, "removing temp files...");
        ui_set_text(w, ID_PATH, st.cleanup_walk);
        os_delete(st.cleanup_walk);
    }
    os_chdir("..");
    os_rmdir(st.dir_buffer);
    ui_end(w, 1);
}
