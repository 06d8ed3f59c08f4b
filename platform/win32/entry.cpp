// entry.cpp: the Windows stub's process entry. It hands over to WinMain as
// a C runtime's start-up would, without bringing a runtime in.
#include "platform.h"

// The loader enters here with nothing set up; WinMain's answer becomes the
// exit code, and ExitProcess ends the process with every thread in it.
extern "C" __attribute__((force_align_arg_pointer)) void qox_entry(void)
{
    ExitProcess((UINT)WinMain(GetModuleHandleA(0), 0, GetCommandLineA(), SW_SHOWDEFAULT));
}
