// startup.cpp: the program's entry: the record, the default target, the dialog.
#include <string.h>
#include "state.h"

static bool is_sep(char c) { return c == '\\' || c == os_sep; }

int QWINAPI WinMain(qinst inst, qinst, char *, int)
{
    st.inst = inst;
    st.cleanup_end = st.cleanup_list;
    os_own_path(inst, st.dir_buffer, 256);

    // A stub whose own file cannot be read gets an empty record; the
    // expansion then finds no archive and says so.
    st.own_file = os_open(st.dir_buffer);
    os_seek(st.own_file, stub_size, seek_set);
    st.got = os_read(st.own_file, st.record_buffer, record_read);
    record_split(st.record_buffer, st.got, &st.record);

    // Keep the directory and its trailing separator; index 0 is never cut.
    for (int i = (int)strlen(st.dir_buffer) - 1; i >= 1; i--) {
        if (is_sep(st.dir_buffer[i])) {
            st.dir_buffer[i + 1] = 0;
            break;
        }
    }

    // Never expand onto a floppy: use the Windows directory instead.
    int drive = os_current_drive();
    if (drive == 0 || drive == 1) {
        os_windows_dir(st.dir_buffer, path_size);
        char letter = st.dir_buffer[0];
        if (letter >= 'a' && letter <= 'z')
            letter -= 32;
        os_set_drive(letter - 'A');
        os_chdir(st.dir_buffer);
        const char sep[2] = {os_sep, 0};
        text_append(st.dir_buffer, path_size, sep);
    }

    text_copy(st.work_buffer, work_size, st.dir_buffer);
    text_append(st.work_buffer, work_size, "~tempAA.AAA");

    ui_run_dialog(inst, QOX_DIALOG, qoxproc);
    return 0;
}
