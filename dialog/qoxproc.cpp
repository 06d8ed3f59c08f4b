// qoxproc.cpp: the dialog procedure, which routes the user's commands and
// the wait timer into the installer.
#include "state.h"
#include "centre.h"

static void init_dialog(qwnd w)
{
    st.ctl_brush = ui_face_brush();
    ui_set_text(w, ID_PATH, st.work_buffer);
    ui_caption(w, QOX_TITLE);
    qrect desktop, dialog;
    ui_rects(w, &desktop, &dialog);
    if (st.record.chained_program[0]) {
        st.auto_mode = true;
        ui_post_command(w, ID_OK, 0);
    }
    long width = dialog.right - dialog.left;
    long height = dialog.bottom - dialog.top;
    ui_move(w, (int)centre_at(desktop.right, width), (int)centre_at(desktop.bottom, height),
            (int)width, (int)height);
}

extern "C" QEXPORT qresult QPROC qoxproc(qwnd w, qmsg msg, qwparam wp, qlparam lp)
{
    (void)lp;
    switch (msg) {
    case msg_init:
        init_dialog(w);
        return 1;
    case msg_command:
        // The whole parameter: OK with notification code 0 only.
        if (wp == ID_OK)
            expansion_job(w);
        else if (wp == ID_CANCEL)
            ui_end(w, 2);
        return 0;
    case msg_timer:
        wait_poll(w);
        return 0;
    case msg_colour_button:
    case msg_colour_static:
        ui_transparent((qdc)wp);
        ui_text_colours((qdc)wp, 192, 192, 192);
        return (qresult)st.ctl_brush;
    case msg_colour_dialog:
        ui_text_colours((qdc)wp, 192, 192, 192);
        return (qresult)st.ctl_brush;
    case msg_destroy:
        ui_free_brush(st.ctl_brush);
        return 0;
    }
    return 0;
}
