// harness.cpp: the scripted user (the window operations of platform.h) and
// the fault plan over the backend's table of OS calls.
#include "harness.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sys/wait.h>
#include <unistd.h>
#include "state.h"
#include "szdd_pack.h"
#include "sys.h"

namespace {

// ---- the fault plan ---------------------------------------------------------

fault plan;
int seen;                                // calls on the planned target so far
run_log *log_to;
std::string self;                        // the self-expanding file
std::map<int, std::string> fd_names;     // open descriptors and their paths

bool names(const std::string &path)
{
    if (plan.on.empty())
        return true;
    size_t cut = path.find_last_of('/');
    return path.substr(cut == std::string::npos ? 0 : cut + 1) == plan.on;
}

// Whether this call is planned to fail; counts the calls that match.
bool fails(call c, const std::string &path, int default_err)
{
    if (plan.what != c || !names(path))
        return false;
    if (seen++ < plan.after)
        return false;
    log_to->failures++;
    errno = plan.err ? plan.err : default_err;
    return true;
}

std::string fd_name(int fd)
{
    auto it = fd_names.find(fd);
    return it == fd_names.end() ? std::string("?") : it->second;
}

int f_open(const char *path, int flags, mode_t mode)
{
    if ((flags & O_CREAT) && fails(call::create, path, ENOSPC))
        return -1;
    int fd = open(path, flags, mode);
    if (fd >= 0)
        fd_names[fd] = path;
    return fd;
}

ssize_t f_write(int fd, const void *buf, size_t n)
{
    std::string name = fd_name(fd);
    if (plan.what == call::write_short && names(name) && n > 1 && seen++ >= plan.after) {
        // Half of it is stored; the next write finds the disk full.
        plan.what = call::write;
        plan.after = 0;
        seen = 0;
        return write(fd, buf, n / 2);
    }
    if (fails(call::write, name, ENOSPC))
        return -1;
    return write(fd, buf, n);
}

ssize_t f_read(int fd, void *buf, size_t n)
{
    if (fails(call::read, fd_name(fd), EIO))
        return -1;
    return read(fd, buf, n);
}

int f_close(int fd)
{
    std::string name = fd_name(fd);
    fd_names.erase(fd);
    int rc = close(fd);
    if (fails(call::close, name, EIO))
        return -1;
    return rc;
}

off_t f_lseek(int fd, off_t offset, int whence)
{
    if (fails(call::lseek, fd_name(fd), EINVAL))
        return -1;
    return lseek(fd, offset, whence);
}

int f_mkdir(const char *path, mode_t mode)
{
    return fails(call::mkdir, path, ENOSPC) ? -1 : mkdir(path, mode);
}

int f_chdir(const char *path)
{
    return fails(call::chdir, path, EACCES) ? -1 : chdir(path);
}

int f_unlink(const char *path)
{
    return fails(call::unlink, path, EACCES) ? -1 : unlink(path);
}

int f_rmdir(const char *path)
{
    return fails(call::rmdir, path, EBUSY) ? -1 : rmdir(path);
}

int f_utimensat(int dirfd, const char *path, const struct timespec t[2], int flags)
{
    return fails(call::utimes, path, EPERM) ? -1 : utimensat(dirfd, path, t, flags);
}

// The launch never starts a program from the test process: the middle
// process is not made, or (a planned spawn failure) it is made and its
// start of the program fails.
pid_t f_fork(void)
{
    log_to->launches++;
    if (plan.what == call::spawn)
        return fork();
    if (plan.what == call::fork)
        log_to->failures++;
    errno = EAGAIN;
    return -1;
}

int f_spawn(pid_t *, const char *, const posix_spawn_file_actions_t *, const posix_spawnattr_t *,
            char *const[], char *const[], int)
{
    return ENOENT;
}

// The middle process's end tells whether its start of the program failed.
pid_t f_waitpid(pid_t pid, int *status, int options)
{
    pid_t r = waitpid(pid, status, options);
    if (r > 0 && plan.what == call::spawn && WIFEXITED(*status) && WEXITSTATUS(*status) == 127)
        log_to->failures++;
    return r;
}

ssize_t f_readlink(const char *path, char *buf, size_t size)
{
    if (strcmp(path, "/proc/self/exe") != 0)
        return readlink(path, buf, size);
    size_t n = self.size() < size ? self.size() : size;
    memcpy(buf, self.data(), n);
    return (ssize_t)n;
}

// ---- the scripted user --------------------------------------------------------

struct dialog {
    user_script user;
    std::string path_text;
    std::deque<qwparam> posted;
    bool timer = false;
    int ended = -1;
};

dialog dlg;
qwnd const the_window = (qwnd)&dlg;

} // namespace

int ui_run_dialog(qinst, const char *, qdlgproc proc)
{
    proc(the_window, msg_init, 0, 0);
    bool pressed_ok = false;
    int polls = 0;
    while (dlg.ended < 0) {
        if (!dlg.posted.empty()) {
            qwparam wp = dlg.posted.front();
            dlg.posted.pop_front();
            proc(the_window, msg_command, wp, 0);
        } else if (!pressed_ok && !st.auto_mode) {
            pressed_ok = true;
            if (!dlg.user.typed.empty())
                dlg.path_text = dlg.user.typed;
            proc(the_window, msg_command, ID_OK, 0);
        } else if (dlg.timer && polls++ < dlg.user.polls) {
            proc(the_window, msg_timer, poll_timer, 0);
        } else {
            proc(the_window, msg_command, ID_CANCEL, 0);   // the close box
        }
    }
    proc(the_window, msg_destroy, 0, 0);
    return dlg.ended;
}

void ui_end(qwnd, int result)
{
    if (dlg.ended < 0)
        dlg.ended = result;
}

void ui_set_text(qwnd, int id, const char *text)
{
    if (id == ID_PATH)
        dlg.path_text = text;
    else if (id == ID_STATUS)
        log_to->statuses.push_back(text);
}

void ui_get_text(qwnd, int id, char *buf, int size)
{
    std::string t = id == ID_PATH ? dlg.path_text : std::string();
    snprintf(buf, (size_t)size, "%s", t.c_str());
}

void ui_hide(qwnd, int) {}
void ui_caption(qwnd, const char *) {}
void ui_post_command(qwnd, qwparam wp, qlparam) { dlg.posted.push_back(wp); }
void ui_rects(qwnd, qrect *d, qrect *r) { *d = {0, 0, 800, 600}; *r = {0, 0, 400, 200}; }
void ui_move(qwnd, int, int, int, int) {}
qbrush ui_face_brush() { return 1; }
void ui_free_brush(qbrush) {}
void ui_transparent(qdc) {}
void ui_text_colours(qdc, int, int, int) {}
void ui_wait_cursor() {}
void ui_timer(qwnd, int, int) { dlg.timer = true; }
void ui_timer_stop(qwnd, int) { dlg.timer = false; }

int ui_box(const char *text, const char *caption, int style)
{
    log_to->boxes.push_back(std::string(caption) + "|" + text);
    return style == box_yes_no ? dlg.user.answer : answer_ok;
}

run_log run_installer(const std::string &exe, const fault &f, const user_script &u)
{
    run_log log;
    char here[PATH_MAX];
    if (!getcwd(here, sizeof here))
        here[0] = 0;
    memset(&st, 0, sizeof st);
    dlg = dialog();
    dlg.user = u;
    plan = f;
    seen = 0;
    log_to = &log;
    self = exe;
    fd_names.clear();
    sys.open = f_open;
    sys.write = f_write;
    sys.read = f_read;
    sys.close = f_close;
    sys.lseek = f_lseek;
    sys.mkdir = f_mkdir;
    sys.chdir = f_chdir;
    sys.unlink = f_unlink;
    sys.rmdir = f_rmdir;
    sys.utimensat = f_utimensat;
    sys.fork = f_fork;
    sys.readlink = f_readlink;
    sys.waitpid = f_waitpid;
    if (f.what == call::spawn)
        sys.spawn = f_spawn;
    log.winmain = WinMain(0, 0, (char *)"", 5);
    log.result = dlg.ended;
    sys_reset();
    if (chdir(here) != 0)
        log.winmain = -2;
    return log;
}

void write_sfx(const std::string &path, const std::string &record, const std::string &stream)
{
    std::string blob(stub_size, '\0');
    blob.replace(0, 4, "\177ELF");
    blob += record;
    blob += '\0';
    std::vector<uint8_t> packed = szdd_compress((const uint8_t *)stream.data(), stream.size(), '_');
    blob.append((const char *)packed.data(), packed.size());
    std::ofstream(path, std::ios::binary) << blob;
}

std::string entry(const std::string &name, uint32_t time_block, const std::string &data)
{
    std::string e = name;
    e += '\0';
    uint32_t size = (uint32_t)data.size();
    for (uint32_t v : {time_block, size})
        for (int i = 0; i < 4; i++)
            e += (char)(v >> (8 * i));
    return e + data;
}
