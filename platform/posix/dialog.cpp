// dialog.cpp (POSIX): the terminal rendering of the installer dialog: the
// window record, the modal loop with posted messages and timers, message
// boxes, and the line protocol on standard input and output.
//
// Output: one line per visible change, written out at once (write(2), no
// buffering), so that a program reading the pipe sees it before the next
// input is needed:
//   caption: <text>        status: <text>        path: <text>
//   ready: ...             (once, when input is first awaited with OK shown)
//   box caption: <text>    box text: <text>      box buttons: OK | Yes/No
//   box answer: yes|no|ok  dialog ended: <result>
//
// Input, line by line (terminal or pipe; a trailing CR is dropped):
//   waiting for OK: an empty line is OK; any other line replaces the path
//     field's text and is then OK;
//   otherwise lines are ignored, and end of input is the close box (Cancel);
//   in a Yes/No box: y/yes is Yes, n/no is No (any case); end of input is No;
//     other lines are ignored;
//   in an OK box: any line, or end of input, closes it;
//   in any box, the line "cancel" (any case) is the dialog's close box, as a
//     mouse could click it while the box is open: Cancel reaches the dialog
//     and the box stays open.
// End of input is seen once; from then on standard input is not read again,
// so the loop waits on its timers alone and never spins.
#include <errno.h>
#include <poll.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "platform.h"
#include "qoxdlg.h"

namespace {

const int text_size = 260;             // a control's text, as the installer reads it
const int post_slots = 8;              // posted messages waiting; more are dropped
const int timer_slots = 4;
const long long never = 0x7fffffffffffffffLL;

struct posted { qwparam wp; qlparam lp; };

struct qtimer {
    int id;                            // the caller's identifier; 0 = free slot
    int ms;                            // period
    long long due;                     // monotonic ms; `never` while being delivered
};

}

struct qwindow {
    qdlgproc proc;                     // null when no dialog runs
    char caption[text_size];
    char status[text_size];            // status_label
    char path[text_size];              // path_field
    bool ok_hidden;                    // no OK can come from input any more
    bool ready_said;                   // the ready line has been printed
    bool ended;                        // ui_end was called: leave after this message
    int result;                        // given to ui_end
    posted queue[post_slots];          // posted commands, oldest first
    int queued;
    qtimer timers[timer_slots];
    qrect rect;                        // screen position, kept for ui_rects
};

namespace {

qwindow win;                           // the one dialog of the process

char inbuf[512];                       // bytes read from stdin, not yet a line
int inlen;
bool in_eof;                           // stdin ended (or failed): never read again
bool skipping;                         // dropping the rest of an over-long line
bool eof_closed;                       // end of input was delivered as the close box

// ---- output ----------------------------------------------------------------

void put(const char *s, size_t n)
{
    while (n) {
        ssize_t k = write(1, s, n);
        if (k < 0) {
            if (errno == EINTR)
                continue;
            return;                    // nobody is reading: the installer goes on
        }
        s += k;
        n -= (size_t)k;
    }
}

// One line, in one write when it fits, so that readers get whole lines.
void say(const char *label, const char *text)
{
    static char line[text_size * 2];
    size_t a = strlen(label), b = strlen(text);
    if (a + b + 1 <= sizeof line) {
        memcpy(line, label, a);
        memcpy(line + a, text, b);
        line[a + b] = '\n';
        put(line, a + b + 1);
    } else {
        put(label, a);
        put(text, b);
        put("\n", 1);
    }
}

void say_number(const char *label, int v)
{
    char digits[16];
    char *p = digits + sizeof digits;
    unsigned u = v < 0 ? 0u - (unsigned)v : (unsigned)v;
    *--p = 0;
    do
        *--p = (char)('0' + u % 10);
    while (u /= 10);
    if (v < 0)
        *--p = '-';
    say(label, p);
}

// Bounded copy: at most size - 1 characters and the terminator.
void copy(char *dst, const char *src, int size)
{
    if (!dst || size <= 0)
        return;
    int n = 0;
    if (src)
        while (n < size - 1 && src[n]) {
            dst[n] = src[n];
            n++;
        }
    dst[n] = 0;
}

bool same(const char *line, const char *word)
{
    for (;; line++, word++) {
        char c = *line;
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
        if (c != *word)
            return false;
        if (!c)
            return true;
    }
}

long long now_ms()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

qresult send(qmsg m, qwparam wp, qlparam lp)
{
    return win.proc ? win.proc(&win, m, wp, lp) : 0;
}

// ---- input -----------------------------------------------------------------

void fill()
{
    ssize_t k = read(0, inbuf + inlen, sizeof inbuf - (size_t)inlen);
    if (k > 0)
        inlen += (int)k;
    else if (k == 0 || (errno != EINTR && errno != EAGAIN))
        in_eof = true;
}

// Takes the next complete line (the last one may lack its newline at end of
// input) into `line`, cut to fit a control's text; the rest of an over-long
// line is dropped rather than read as further lines.
bool take_line(char *line)
{
    for (;;) {
        char *nl = (char *)memchr(inbuf, '\n', (size_t)inlen);
        int n, used;
        if (nl)
            n = (int)(nl - inbuf), used = n + 1;
        else if (inlen == (int)sizeof inbuf || (in_eof && inlen))
            n = used = inlen;
        else
            return false;
        bool tail = skipping;
        skipping = !nl && !in_eof;
        if (!tail) {
            if (nl && n && inbuf[n - 1] == '\r')
                n--;
            if (n > text_size - 1)
                n = text_size - 1;
            memcpy(line, inbuf, (size_t)n);
            line[n] = 0;
        }
        inlen -= used;
        memmove(inbuf, inbuf + used, (size_t)inlen);
        if (!tail)
            return true;
    }
}

// ---- the loop --------------------------------------------------------------

enum { got_line, got_eof, got_end, got_nothing };

// Delivers posted messages and due timers to the dialog until a line of
// input or the end of input arrives. For the dialog's own loop (`box`
// false) it stops when the dialog has ended, reports the end of input once,
// and answers got_nothing when nothing can ever arrive again. A box's loop
// keeps delivering to a dialog that has ended meanwhile, as the box still
// waits for its answer, and sees the end of input every time it asks.
int next_input(char *line, bool box)
{
    for (;;) {
        if (!box && win.ended)
            return got_end;
        if (win.proc && win.queued) {
            posted p = win.queue[0];
            win.queued--;
            memmove(win.queue, win.queue + 1, (size_t)win.queued * sizeof *win.queue);
            send(msg_command, p.wp, p.lp);
            continue;
        }
        if (!box && !win.ok_hidden && !win.ready_said) {
            win.ready_said = true;
            say("ready: ", "press Enter to expand to the folder shown, or type another "
                "folder; end of input cancels");
        }
        if (take_line(line))
            return got_line;
        if (in_eof && (box || !eof_closed)) {
            if (!box)
                eof_closed = true;
            return got_eof;
        }

        long long now = now_ms();
        int wait = -1;
        qtimer *next = 0;
        if (win.proc)
            for (qtimer *t = win.timers; t < win.timers + timer_slots; t++)
                if (t->id && t->due != never && (!next || t->due < next->due))
                    next = t;
        if (next && next->due <= now) {
            int id = next->id;
            next->due = never;         // not again from a nested loop meanwhile
            send(msg_timer, (qwparam)id, 0);
            if (next->id == id && next->due == never)
                next->due = now_ms() + next->ms;
            continue;
        }
        if (next)
            wait = next->due - now > 1000000 ? 1000000 : (int)(next->due - now);
        if (in_eof && wait < 0)
            return got_nothing;

        pollfd in = {0, POLLIN, 0};
        int r = poll(&in, in_eof ? 0 : 1, wait);
        if (r > 0)
            fill();
    }
}

}

// ---- the operations ------------------------------------------------------------

int ui_run_dialog(qinst, const char *, qdlgproc proc)
{
    memset(&win, 0, sizeof win);
    win.proc = proc;
    win.rect.left = 9;                 // the template's place and size (6, 15,
    win.rect.top = 24;                 // 239 x 101 dialog units) in pixels
    win.rect.right = 9 + 358;
    win.rect.bottom = 24 + 164;
    copy(win.status, QOX_STATUS_INIT, text_size);
    say("status: ", win.status);       // the label is created with its text

    send(msg_init, 0, 0);
    if (!win.ended) {                  // shown and painted: the brush is taken, nothing shows
        send(msg_colour_dialog, 0, 0);
        send(msg_colour_static, 0, 0);
        send(msg_colour_button, 0, 0);
    }

    char line[text_size];
    for (;;) {
        int r = next_input(line, false);
        if (r == got_end)
            break;
        if (r == got_nothing) {
            // Input is over, Cancel went unheeded and no timer runs: nothing
            // can ever reach the dialog again, so close it rather than hang.
            ui_end(&win, ID_CANCEL);
            break;
        }
        if (r == got_eof) {
            send(msg_command, ID_CANCEL, 0);
            continue;
        }
        if (win.ok_hidden)
            continue;
        if (line[0])
            ui_set_text(&win, ID_PATH, line);
        send(msg_command, ID_OK, 0);
    }

    send(msg_destroy, 0, 0);
    win.proc = 0;
    say_number("dialog ended: ", win.result);
    return win.result;
}

void ui_end(qwnd, int result)
{
    if (!win.proc)
        return;
    win.ended = true;
    win.result = result;
}

void ui_set_text(qwnd, int id, const char *text)
{
    if (id == ID_STATUS) {
        copy(win.status, text, text_size);
        say("status: ", win.status);
    } else if (id == ID_PATH) {
        copy(win.path, text, text_size);
        say("path: ", win.path);
    }
}

void ui_get_text(qwnd, int id, char *buf, int size)
{
    copy(buf, id == ID_STATUS ? win.status : id == ID_PATH ? win.path : "", size);
}

void ui_hide(qwnd, int id)
{
    if (id == ID_OK)
        win.ok_hidden = true;
}

void ui_caption(qwnd, const char *text)
{
    copy(win.caption, text, text_size);
    say("caption: ", win.caption);
}

void ui_post_command(qwnd, qwparam wp, qlparam lp)
{
    if (!win.proc || win.queued == post_slots)
        return;
    win.queue[win.queued].wp = wp;
    win.queue[win.queued].lp = lp;
    win.queued++;
}

void ui_rects(qwnd, qrect *desktop, qrect *dialog)
{
    if (desktop) {
        desktop->left = desktop->top = 0;
        desktop->right = 800;
        desktop->bottom = 600;
    }
    if (dialog)
        *dialog = win.rect;
}

void ui_move(qwnd, int x, int y, int width, int height)
{
    win.rect.left = x;
    win.rect.top = y;
    win.rect.right = x + width;
    win.rect.bottom = y + height;
}

// Colours, brushes and the cursor have nothing to show on a terminal; the
// brush is a token the dialog may hand back from its colour messages.
qbrush ui_face_brush(void) { return 1; }
void ui_free_brush(qbrush) {}
void ui_transparent(qdc) {}
void ui_text_colours(qdc, int, int, int) {}
void ui_wait_cursor(void) {}

int ui_box(const char *text, const char *caption, int style)
{
    bool yes_no = (style & 0xf) == box_yes_no;
    say("box caption: ", caption ? caption : "");
    say("box text: ", text ? text : "");
    say("box buttons: ", yes_no ? "Yes/No" : "OK");

    char line[text_size];
    int answer;
    for (;;) {
        if (next_input(line, true) == got_eof) {
            answer = yes_no ? answer_no : answer_ok;
            break;
        }
        if (same(line, "cancel")) {
            if (win.proc && !win.ended)
                send(msg_command, ID_CANCEL, 0);
            continue;
        }
        if (!yes_no) {
            answer = answer_ok;
            break;
        }
        if (same(line, "y") || same(line, "yes")) {
            answer = answer_yes;
            break;
        }
        if (same(line, "n") || same(line, "no")) {
            answer = answer_no;
            break;
        }
    }
    say("box answer: ", answer == answer_yes ? "yes" : answer == answer_no ? "no" : "ok");
    return answer;
}

void ui_timer(qwnd, int id, int ms)
{
    if (!win.proc || !id)
        return;
    if (ms < 10)
        ms = 10;                       // the shortest period the platform gives
    qtimer *slot = 0;                  // a running timer `id` is re-armed, not doubled
    for (qtimer *t = win.timers; t < win.timers + timer_slots; t++)
        if (t->id == id)
            slot = t;
    for (qtimer *t = win.timers; t < win.timers + timer_slots && !slot; t++)
        if (!t->id)
            slot = t;
    if (!slot)
        return;                        // all slots taken: the timer never fires
    slot->id = id;
    slot->ms = ms;
    slot->due = now_ms() + ms;
}

void ui_timer_stop(qwnd, int id)
{
    for (qtimer *t = win.timers; t < win.timers + timer_slots; t++)
        if (t->id == id)
            t->id = 0;
}
