// host_win32.cpp: host answers for the contract tests on Windows. Local time
// is the system's zone, converted as the platform converts it.
#include "host.h"

#include <windows.h>

static long long unix_seconds(const FILETIME &ft)
{
    ULARGE_INTEGER v;
    v.LowPart = ft.dwLowDateTime;
    v.HighPart = ft.dwHighDateTime;
    return (long long)(v.QuadPart / 10000000ULL) - 11644473600LL;
}

long long host_mtime(const char *path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return -1;
    return unix_seconds(data.ftLastWriteTime);
}

long long host_local_to_utc(int year, int month, int day, int hour, int minute, int second)
{
    SYSTEMTIME st = {};
    st.wYear = (WORD)year;
    st.wMonth = (WORD)month;
    st.wDay = (WORD)day;
    st.wHour = (WORD)hour;
    st.wMinute = (WORD)minute;
    st.wSecond = (WORD)second;
    FILETIME local, utc;
    if (!SystemTimeToFileTime(&st, &local) || !LocalFileTimeToFileTime(&local, &utc))
        return -1;
    return unix_seconds(utc);
}
