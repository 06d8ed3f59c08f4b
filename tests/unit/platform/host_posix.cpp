// host_posix.cpp: host answers for the contract tests on POSIX. The tests run
// in a zone with daylight saving, so that a local time read as UTC, or with
// the wrong daylight-saving rule, shows.
#include "host.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

namespace {
struct zone {
    zone()
    {
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
} test_zone;
}

long long host_mtime(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 ? (long long)st.st_mtime : -1;
}

long long host_local_to_utc(int year, int month, int day, int hour, int minute, int second)
{
    struct tm tm;
    memset(&tm, 0, sizeof tm);
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return (long long)mktime(&tm);
}
