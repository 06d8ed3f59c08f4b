// shell.cpp: opening a program through the Windows shell's "open" action.
#include "platform.h"

#include <shellapi.h>

// Empty parameters and an empty directory: the program starts in the
// process's current directory, the target.
void os_shell_open(const char *path)
{
    ShellExecuteA(0, "open", path, "", "", SW_SHOW);
}
