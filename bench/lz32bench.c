/* lz32bench.c: times Windows' LZ32 expansion (LZOpenFileA, CopyLZFile) of
 * one SZDD file, best of N runs, for run.sh under Wine.
 * Usage: lz32bench IN OUT RUNS; prints "lz32_seconds S" and the length. */
#include <windows.h>
#include <lzexpand.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    LARGE_INTEGER freq, t0, t1;
    double best = 1e30;
    LONG length = -1;
    int runs, i;
    if (argc != 4) {
        fprintf(stderr, "usage: lz32bench IN OUT RUNS\n");
        return 2;
    }
    runs = atoi(argv[3]);
    QueryPerformanceFrequency(&freq);
    for (i = 0; i < runs; i++) {
        OFSTRUCT os_in, os_out;
        INT src = LZOpenFileA(argv[1], &os_in, OF_READ);
        INT dst = LZOpenFileA(argv[2], &os_out, OF_CREATE);
        double s;
        if (src < 0 || dst < 0) {
            fprintf(stderr, "lz32bench: cannot open %s or %s\n", argv[1], argv[2]);
            return 1;
        }
        QueryPerformanceCounter(&t0);
        length = CopyLZFile(src, dst);
        QueryPerformanceCounter(&t1);
        LZClose(src);
        LZClose(dst);
        if (length < 0) {
            fprintf(stderr, "lz32bench: CopyLZFile failed (%ld)\n", (long)length);
            return 1;
        }
        s = (double)(t1.QuadPart - t0.QuadPart) / (double)freq.QuadPart;
        if (s < best)
            best = s;
    }
    printf("lz32_seconds %.5f\nlz32_length %ld\n", best, (long)length);
    return 0;
}
