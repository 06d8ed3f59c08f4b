// host.h: the little the contract tests must ask of the host directly, one
// implementation per backend (host_posix.cpp, host_win32.cpp).
#ifndef QOX_TEST_HOST_H
#define QOX_TEST_HOST_H

// Last-write time of `path` in seconds since 1970-01-01 00:00 UTC; -1 when
// it cannot be read.
long long host_mtime(const char *path);

// The local time given, read as this platform reads a DOS time block, in
// seconds since 1970-01-01 00:00 UTC.
long long host_local_to_utc(int year, int month, int day, int hour, int minute, int second);

#endif
