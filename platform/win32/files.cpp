// files.cpp: the Windows backend's files, directories, drives and times:
// each operation is the real Windows call, nothing re-implemented.
#include "platform.h"

const char os_sep = '\\';

// Older systems leave a truncated module path unterminated.
void os_own_path(qinst inst, char *buf, int size)
{
    if (size <= 0)
        return;
    DWORD n = GetModuleFileNameA(inst, buf, (DWORD)size);
    buf[n < (DWORD)size ? n : (DWORD)size - 1] = 0;
}

// On a buffer too small the call answers the size it needs and writes
// nothing: give an empty string then.
void os_windows_dir(char *buf, int size)
{
    if (size <= 0)
        return;
    UINT n = GetWindowsDirectoryA(buf, (UINT)size);
    if (n == 0 || n >= (UINT)size)
        buf[0] = 0;
}

void os_current_dir(char *buf, int size)
{
    if (size <= 0)
        return;
    DWORD n = GetCurrentDirectoryA((DWORD)size, buf);
    if (n == 0 || n >= (DWORD)size)
        buf[0] = 0;
}

qfile os_open(const char *path)
{
    return _lopen(path, OF_READ);
}

qfile os_create(const char *path)
{
    return _lcreat(path, 0);
}

int os_read(qfile f, void *buf, int count)
{
    return (int)_lread(f, buf, (UINT)count);
}

int os_write(qfile f, const void *buf, int count)
{
    return (int)_lwrite(f, (LPCCH)buf, (UINT)count);
}

long os_seek(qfile f, long offset, int origin)
{
    return _llseek(f, offset, origin);
}

int os_close(qfile f)
{
    return _lclose(f) == HFILE_ERROR ? -1 : 0;
}

bool os_delete(const char *path)
{
    return DeleteFileA(path) != 0;
}

bool os_mkdir(const char *path)
{
    return CreateDirectoryA(path, 0) != 0;
}

bool os_chdir(const char *path)
{
    return SetCurrentDirectoryA(path) != 0;
}

bool os_rmdir(const char *path)
{
    return RemoveDirectoryA(path) != 0;
}

int os_current_drive(void)
{
    char dir[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir || dir[1] != ':')
        return -1;
    char c = dir[0];
    if (c >= 'a' && c <= 'z')
        return c - 'a';
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    return -1;
}

// The platform remembers each drive's current directory in the environment
// variable "=X:"; a drive without one starts at its root, which is then
// remembered the same way.
void os_set_drive(int drive)
{
    if (drive < 0 || drive > 25)
        return;
    char name[4] = {'=', (char)('A' + drive), ':', 0};
    char dir[MAX_PATH];
    DWORD n = GetEnvironmentVariableA(name, dir, sizeof dir);
    if (n == 0 || n >= sizeof dir) {
        dir[0] = name[1];
        dir[1] = ':';
        dir[2] = '\\';
        dir[3] = 0;
        SetEnvironmentVariableA(name, dir);
    }
    SetCurrentDirectoryA(dir);
}

bool os_set_time(const char *path, unsigned long dos_time)
{
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    FILETIME local, utc;
    bool ok = DosDateTimeToFileTime(HIWORD(dos_time), LOWORD(dos_time), &local) &&
              LocalFileTimeToFileTime(&local, &utc) && SetFileTime(h, 0, 0, &utc);
    CloseHandle(h);
    return ok;
}
