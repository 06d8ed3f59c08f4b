// lz32bench.cpp: Windows' LZ32 (LZOpenFileA, CopyLZFile) beside a Windows
// build of lz/'s expander, file to file, best of RUNS each, in one process
// (run.sh runs it under Wine, where starting a program can be slow).
// Usage: lz32bench RUNS IN...; writes IN.lz32.out and IN.lz.out and prints
// "IN lz32_seconds S lz_seconds S" for each.
#include <windows.h>
#include <lzexpand.h>
#include <stdio.h>
#include <stdlib.h>

#include "szdd.h"

static int read_handle(void *ctx, uint8_t *buf, int n)
{
    DWORD got = 0;
    return ReadFile((HANDLE)ctx, buf, (DWORD)n, &got, NULL) ? (int)got : -1;
}

static int write_handle(void *ctx, const uint8_t *buf, int n)
{
    DWORD put = 0;
    return WriteFile((HANDLE)ctx, buf, (DWORD)n, &put, NULL) && put == (DWORD)n ? 0 : -1;
}

static double seconds(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER f)
{
    return (double)(b.QuadPart - a.QuadPart) / (double)f.QuadPart;
}

static szdd_work work;

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: lz32bench RUNS IN...\n");
        return 2;
    }
    int runs = atoi(argv[1]);
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    for (int a = 2; a < argc; a++) {
        double best32 = 1e30, bestlz = 1e30;
        char out[MAX_PATH];
        snprintf(out, sizeof out, "%s.lz32.out", argv[a]);
        for (int i = 0; i < runs; i++) {
            OFSTRUCT os_in, os_out;
            QueryPerformanceCounter(&t0);
            INT src = LZOpenFileA(argv[a], &os_in, OF_READ);
            INT dst = LZOpenFileA((LPSTR)out, &os_out, OF_CREATE);
            if (src < 0 || dst < 0) {
                fprintf(stderr, "lz32bench: cannot open %s or %s\n", argv[a], out);
                return 1;
            }
            LONG n = CopyLZFile(src, dst);
            LZClose(src);
            LZClose(dst);
            QueryPerformanceCounter(&t1);
            if (n < 0) {
                fprintf(stderr, "lz32bench: CopyLZFile failed (%ld)\n", (long)n);
                return 1;
            }
            if (seconds(t0, t1, f) < best32)
                best32 = seconds(t0, t1, f);
        }
        snprintf(out, sizeof out, "%s.lz.out", argv[a]);
        for (int i = 0; i < runs; i++) {
            QueryPerformanceCounter(&t0);
            HANDLE in = CreateFileA(argv[a], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, NULL);
            HANDLE to = CreateFileA(out, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, NULL);
            if (in == INVALID_HANDLE_VALUE || to == INVALID_HANDLE_VALUE) {
                fprintf(stderr, "lz32bench: cannot open %s or %s\n", argv[a], out);
                return 1;
            }
            uint32_t written;
            int st = szdd_expand(read_handle, in, write_handle, to, &work, &written);
            CloseHandle(in);
            CloseHandle(to);
            QueryPerformanceCounter(&t1);
            if (st != szdd_ok) {
                fprintf(stderr, "lz32bench: %s\n", szdd_message(st));
                return 1;
            }
            if (seconds(t0, t1, f) < bestlz)
                bestlz = seconds(t0, t1, f);
        }
        printf("%s lz32_seconds %.5f lz_seconds %.5f\n", argv[a], best32, bestlz);
        fflush(stdout);
    }
    return 0;
}
