// fake_ui.h: a recording stand-in for the platform's window operations.
#pragma once
#include <string>
#include <vector>
#include "platform.h"

struct fake_ui {
    std::vector<std::string> log;   // every call, in order, as text
    qrect desktop{0, 0, 800, 600};
    qrect dialog{0, 0, 358, 164};
    int box_answer = answer_no;
    int ended = -1;                 // the result given to ui_end, or -1
};

extern fake_ui ui;

// Clears the recording and the installer's state.
void reset_all();
