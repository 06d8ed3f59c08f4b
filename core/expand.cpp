// expand.cpp: the expansion job run by the OK command: the target
// directory, the stub copy, the compressed stream out of the stub's own file,
// its expansion, and every archive entry written as a file.
#include <string.h>
#include "state.h"
#include "names.h"

static const char text_damaged[] =
    "The files could not be expanded: the archive is damaged or the disk is full.";

// Writes a block to the current output file; a short or failed write means
// the disk is full or failing, and the installation cannot be trusted.
static void put(const void *buf, int count)
{
    if (os_write(st.out_file, buf, count) != count)
        st.damaged = true;
}

static void finish_file(void)
{
    if (os_close(st.out_file) != 0)
        st.damaged = true;
}

// Creates the target directory (one level) and enters it; false, after
// telling the user, when it cannot be entered.
static bool enter_target(qwnd w)
{
    char letter = st.work_buffer[0];
    if (letter >= 'a' && letter <= 'z')
        letter -= 32;
    os_set_drive(letter - 'A');
    os_mkdir(st.work_buffer);
    if (!os_chdir(st.work_buffer)) {
        ui_box(st.work_buffer, "Directory Error!", box_error);
        ui_end(w, 2);
        return false;
    }
    // A relative path typed by the user is taken as the directory it led
    // to, so that the launch and the removal find it from anywhere.
    os_current_dir(st.dir_buffer, path_size);
    if (!st.dir_buffer[0])
        text_copy(st.dir_buffer, path_size, st.work_buffer);
    return true;
}

static void write_stub_copy(void)
{
    if (strcmp(st.record.stub_option, "self") != 0)
        return;
    text_copy(st.name_buffer, name_space, "QOX32.EXE");
    st.out_file = os_create(st.name_buffer);
    put(st.work_buffer, stub_size);
    finish_file();
    cleanup_add(st.name_buffer);
}

// Copies the compressed stream, from the own file's position to its end,
// into "~un1", keeping its first bytes for the header check.
static void copy_stream(void)
{
    int kept = 0;
    st.out_file = os_create("~un1");
    while ((st.got = os_read(st.own_file, st.work_buffer, data_block)) > 0) {
        for (int i = 0; i < st.got && kept < (int)sizeof st.head; i++)
            st.head[kept++] = (unsigned char)st.work_buffer[i];
        put(st.work_buffer, st.got);
        ui_wait_cursor();
    }
    if (st.got < 0)
        st.damaged = true;
    finish_file();
    os_close(st.own_file);
    st.expanded = walk_length(st.head, kept);
}

// Expands "~un1" into "~un2" through the platform's LZ service. An expansion
// that yields less than the header announces is a damaged archive.
static void expand_stream(void)
{
    st.lz_src = lz_open("~un1", &st.ofs, lz_style_read);
    st.lz_dst = lz_open("~un2", &st.ofs, lz_style_create);
    ui_wait_cursor();
    long written = lz_copy(st.lz_src, st.lz_dst);
    lz_close(st.lz_src);
    os_delete("~un1");
    lz_done();
    if (st.expanded < 0 || written < st.expanded)
        st.damaged = true;
}

// Creates every directory level the name holds before its last backslash.
static void make_levels(char *name)
{
    for (int i = 1; name[i]; i++) {
        if (name[i] == '\\') {
            name[i] = 0;
            os_mkdir(name);
            name[i] = '\\';
        }
    }
}

// Writes one entry whose name has been read. Names that would leave the
// target, or that the clean-up list has no room for, are read through but
// not written.
static void write_entry(qwnd w)
{
    bool keep = name_safe(st.name_buffer) && cleanup_add(st.name_buffer);
    if (walk_header(&st.walk, &st.time_block, &st.left) != walk_ok) {
        st.damaged = true;
        return;
    }
    ui_set_text(w, ID_STATUS, "creating...");
    ui_set_text(w, ID_PATH, st.name_buffer);
    st.out_file = qfile_bad;
    if (keep) {
        make_levels(st.name_buffer);
        st.out_file = os_create(st.name_buffer);
    }
    while (st.left > 0) {
        ui_wait_cursor();
        st.block = st.left < data_block ? st.left : data_block;
        st.got = walk_data(&st.walk, st.work_buffer, st.block);
        if (st.got <= 0) {
            st.damaged = true;      // the entry's data is cut short
            break;
        }
        if (st.out_file != qfile_bad)
            put(st.work_buffer, st.got);
        st.left -= st.got;
    }
    if (st.out_file != qfile_bad) {
        finish_file();
        os_set_time(st.name_buffer, st.time_block);
    }
}

static void write_entries(qwnd w)
{
    os_seek(st.lz_dst, 0, seek_set);
    walk_start(&st.walk, st.lz_dst, st.expanded < 0 ? 0 : st.expanded);
    while (!st.damaged) {
        int r = walk_name(&st.walk, st.name_buffer);
        if (r == walk_end)
            break;
        if (r != walk_ok)
            st.damaged = true;
        else
            write_entry(w);
    }
    os_close(st.lz_dst);
    os_delete("~un2");
}

void expansion_job(qwnd w)
{
    if (st.busy_flag)
        return;
    st.busy_flag = true;
    ui_get_text(w, ID_PATH, st.work_buffer, path_size);
    if (!enter_target(w))
        return;
    ui_set_text(w, ID_STATUS, "expanding, please wait...");
    ui_hide(w, ID_OK);

    int want = st.record.stream_offset < work_size ? st.record.stream_offset : work_size;
    os_seek(st.own_file, 0, seek_set);
    os_read(st.own_file, st.work_buffer, want);
    write_stub_copy();
    copy_stream();
    expand_stream();
    write_entries(w);

    if (st.damaged) {
        // Nothing half-written is launched; what was written is removed.
        ui_box(text_damaged, QOX_TITLE, box_error);
        clean_up(w);
        return;
    }
    launch(w);
}
