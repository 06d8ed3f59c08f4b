// lz.cpp: the LZ service: the Windows LZ expansion library (LZ32), loaded
// at run time from the system directory and nowhere else.
#include "platform.h"

// Linking LZ32 by import would let the loader search the program's own
// folder first, so a DLL planted beside a downloaded installer would run.
// The library is therefore loaded by its full path in the system directory;
// the altered search path makes its own imports resolve from there too.
typedef INT(WINAPI *open_fn)(LPSTR, LPOFSTRUCT, WORD);
typedef LONG(WINAPI *copy_fn)(INT, INT);
typedef void(WINAPI *close_fn)(INT);
typedef void(WINAPI *done_fn)(void);

static HMODULE lz32;          // LZ32 from the system directory; 0 until loaded
static bool lz32_tried;       // a failed load is not repeated

static const LONG lz_bad_in = -1;   // LZERROR_BADINHANDLE: no service to expand with

static FARPROC lz_entry(const char *name)
{
    if (!lz32_tried) {
        lz32_tried = true;
        static const char file[] = "\\lz32.dll";
        char path[MAX_PATH + sizeof file];
        UINT n = GetSystemDirectoryA(path, MAX_PATH);
        if (n > 0 && n < MAX_PATH) {
            for (unsigned i = 0; i < sizeof file; i++)
                path[n + i] = file[i];
            lz32 = LoadLibraryExA(path, 0, LOAD_WITH_ALTERED_SEARCH_PATH);
        }
    }
    return lz32 ? GetProcAddress(lz32, name) : 0;
}

qfile lz_open(const char *path, qofs *ofs, int style)
{
    open_fn f = (open_fn)(void *)lz_entry("LZOpenFileA");
    return f ? f((LPSTR)path, ofs, (WORD)style) : (qfile)lz_bad_in;
}

// CopyLZFile's own answer: the bytes written, or a negative LZERROR_ value.
long lz_copy(qfile src, qfile dst)
{
    copy_fn f = (copy_fn)(void *)lz_entry("CopyLZFile");
    return f ? f(src, dst) : lz_bad_in;
}

void lz_close(qfile src)
{
    close_fn f = (close_fn)(void *)lz_entry("LZClose");
    if (f)
        f(src);
}

void lz_done(void)
{
    done_fn f = (done_fn)(void *)lz_entry("LZDone");
    if (f)
        f();
}
