/* setup.c: the setup program of the Wine tests. It notes its start and end
 * in the log named by QOXLOG, copies its own folder to QOXSNAP (once: the
 * copy is what the installer had written, looked at after the installer has
 * removed it), starts the program QOXCHAIN beside it through the shell and
 * runs QOXWAIT_<NAME> (its name without the extension) or QOXWAIT
 * milliseconds (default 1000) before it ends. The tests copy it under each
 * name an archive needs. */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char self[MAX_PATH], dir[MAX_PATH], name[MAX_PATH];

static void note(const char *what)
{
    char log[MAX_PATH];
    if (!GetEnvironmentVariableA("QOXLOG", log, sizeof log))
        return;
    /* Several programs append to the one log: each line in one write. */
    HANDLE h = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
                           OPEN_ALWAYS, 0, 0);
    if (h == INVALID_HANDLE_VALUE)
        return;
    char cwd[MAX_PATH], line[3 * MAX_PATH];
    GetCurrentDirectoryA(sizeof cwd, cwd);
    int n = snprintf(line, sizeof line, "%s %s %lu cwd=%s path=%s\n", name, what,
                     (unsigned long)GetTickCount(), cwd, self);
    DWORD done;
    WriteFile(h, line, (DWORD)n, &done, 0);
    CloseHandle(h);
}

/* Copies folder `from` into `to`, keeping each file's modification time. */
static void copy_tree(const char *from, const char *to)
{
    char pattern[MAX_PATH], src[MAX_PATH], dst[MAX_PATH];
    WIN32_FIND_DATAA fd;
    CreateDirectoryA(to, 0);
    snprintf(pattern, sizeof pattern, "%s\\*", from);
    HANDLE f = FindFirstFileA(pattern, &fd);
    if (f == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, ".."))
            continue;
        snprintf(src, sizeof src, "%s\\%s", from, fd.cFileName);
        snprintf(dst, sizeof dst, "%s\\%s", to, fd.cFileName);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            copy_tree(src, dst);
        else
            CopyFileA(src, dst, FALSE);
    } while (FindNextFileA(f, &fd));
    FindClose(f);
}

int WINAPI WinMain(HINSTANCE inst, HINSTANCE prev, LPSTR cmd, int show)
{
    (void)inst; (void)prev; (void)cmd; (void)show;
    GetModuleFileNameA(0, self, sizeof self);
    strcpy(dir, self);
    char *cut = strrchr(dir, '\\');
    if (cut)
        *cut = 0;
    strcpy(name, cut ? cut + 1 : self);
    note("start");

    char snap[MAX_PATH];
    if (GetEnvironmentVariableA("QOXSNAP", snap, sizeof snap) &&
        GetFileAttributesA(snap) == INVALID_FILE_ATTRIBUTES)
        copy_tree(dir, snap);

    char chain[MAX_PATH], path[2 * MAX_PATH];
    if (GetEnvironmentVariableA("QOXCHAIN", chain, sizeof chain) && lstrcmpiA(chain, name) != 0) {
        snprintf(path, sizeof path, "%s\\%s", dir, chain);
        ShellExecuteA(0, "open", path, "", "", SW_SHOW);
        note("chained");
    }

    char wait[32], var[MAX_PATH + 8];
    snprintf(var, sizeof var, "QOXWAIT_%s", name);
    char *dot = strrchr(var, '.');
    if (dot)
        *dot = 0;
    if (GetEnvironmentVariableA(var, wait, sizeof wait) ||
        GetEnvironmentVariableA("QOXWAIT", wait, sizeof wait))
        Sleep((DWORD)atoi(wait));
    else
        Sleep(1000);
    note("end");
    return 0;
}
