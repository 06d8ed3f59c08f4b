// state.h: the installer's one process-wide record, and the steps of the
// installation that the dialog procedure calls.
#ifndef QOX_STATE_H
#define QOX_STATE_H

#include <stdint.h>
#include "platform.h"
#include "record.h"
#include "walk.h"
#include "qoxdlg.h"

enum {
    path_size = 260,                        // every path buffer
    work_size = stub_size + record_read,    // the stub region and the record, read at once
    cleanup_size = 16000,                   // the clean-up list's arena
    poll_timer = 1,                         // the wait timer's identifier
    poll_ms = 500                           // its period
};

struct installer_state {
    char work_buffer[work_size];    // default target; the path read back; the stub region; copy blocks
    char dir_buffer[path_size];     // own path, then its directory, then target_dir
    char watch_path[path_size];     // the program whose end is awaited
    char name_buffer[name_space];   // the current entry's name, or the stub copy's
    char record_buffer[record_space]; // the launch record, split in place
    char cleanup_list[cleanup_size];// names to delete at clean-up, each zero-terminated
    char *cleanup_end;              // where the next name is appended
    char *cleanup_walk;             // clean-up's cursor
    launch_record record;           // run_program, chained_program, stub_option, stream_offset
    qinst inst;                     // the program's instance
    qfile own_file;                 // the stub's own file, read-only
    qbrush ctl_brush;               // the dialog's background brush
    bool auto_mode;                 // expansion and the wait run by themselves
    bool busy_flag;                 // the expansion job has started
    bool damaged;                   // the archive or a write failed: nothing may be launched
    uint32_t time_block;            // the current entry's DOS time (low) and date (high)
    int got;                        // bytes yielded by the last read
    int32_t left;                   // data bytes of the entry still to copy
    int32_t block;                  // size of the next block, at most 256
    long expanded;                  // the archive stream's length from the compressed header
    unsigned char head[16];         // the first bytes of the compressed stream
    qfile out_file;                 // the file being written
    qfile lz_src, lz_dst;           // the LZ service's source and destination
    qofs ofs;                       // the open-file record both LZ opens share
    archive_walk walk;              // the read position in the expanded stream
};

extern installer_state st;

// Bounded text helpers: they never write past `size` bytes and say whether
// the whole text fitted.
bool text_copy(char *dst, int size, const char *src);
bool text_append(char *dst, int size, const char *src);

// Appends a name to the clean-up list; false, and nothing appended, when
// the arena has no room for it.
bool cleanup_add(const char *name);

void expansion_job(qwnd w);
void launch(qwnd w);
void wait_poll(qwnd w);
void clean_up(qwnd w);

extern "C" QEXPORT qresult QPROC qoxproc(qwnd w, qmsg msg, qwparam wp, qlparam lp);
int QWINAPI WinMain(qinst inst, qinst prev, char *cmdline, int show);

#endif
