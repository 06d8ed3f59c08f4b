// fake_ui.cpp: records the window operations instead of showing anything.
#include "fake_ui.h"
#include <cstring>
#include "state.h"

fake_ui ui;

void reset_all()
{
    ui = fake_ui();
    std::memset(&st, 0, sizeof st);
    st.cleanup_end = st.cleanup_list;
}

static std::string num(long v) { return std::to_string(v); }

int ui_run_dialog(qinst, const char *name, qdlgproc) { ui.log.push_back(std::string("run ") + name); return 0; }
void ui_end(qwnd, int result) { ui.ended = result; ui.log.push_back("end " + num(result)); }
void ui_set_text(qwnd, int id, const char *text) { ui.log.push_back("text " + num(id) + " " + text); }
void ui_get_text(qwnd, int, char *buf, int size) { std::strncpy(buf, "", size); }
void ui_hide(qwnd, int id) { ui.log.push_back("hide " + num(id)); }
void ui_caption(qwnd, const char *text) { ui.log.push_back(std::string("caption ") + text); }
void ui_post_command(qwnd, qwparam wp, qlparam lp) { ui.log.push_back("post " + num((long)wp) + " " + num(lp)); }
void ui_rects(qwnd, qrect *d, qrect *r) { *d = ui.desktop; *r = ui.dialog; ui.log.push_back("rects"); }
void ui_move(qwnd, int x, int y, int w, int h) { ui.log.push_back("move " + num(x) + " " + num(y) + " " + num(w) + " " + num(h)); }
qbrush ui_face_brush() { ui.log.push_back("brush"); return (qbrush)0x55; }
void ui_free_brush(qbrush b) { ui.log.push_back("free " + num((long)b)); }
void ui_transparent(qdc) { ui.log.push_back("transparent"); }
void ui_text_colours(qdc, int r, int g, int b) { ui.log.push_back("colours " + num(r) + " " + num(g) + " " + num(b)); }
void ui_wait_cursor() {}
int ui_box(const char *text, const char *caption, int style) { ui.log.push_back(std::string("box ") + caption + "|" + text + "|" + num(style)); return ui.box_answer; }
void ui_timer(qwnd, int id, int ms) { ui.log.push_back("timer " + num(id) + " " + num(ms)); }
void ui_timer_stop(qwnd, int id) { ui.log.push_back("stop " + num(id)); }
