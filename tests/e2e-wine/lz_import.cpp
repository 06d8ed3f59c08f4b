// lz_import.cpp: the LZ service taken from LZ32 by import, as a careless
// build would: the control stub of the planted-DLL test, which shows that
// the test sees a planted lz32.dll when the loader takes it.
#include "platform.h"

#include <lzexpand.h>

qfile lz_open(const char *path, qofs *ofs, int style)
{
    return LZOpenFileA((LPSTR)path, ofs, (WORD)style);
}

long lz_copy(qfile src, qfile dst)
{
    return CopyLZFile(src, dst);
}

void lz_close(qfile src)
{
    LZClose(src);
}

void lz_done(void)
{
    LZDone();
}
