// state.cpp: the installer record and the text and list helpers on it.
#include <string.h>
#include "state.h"

installer_state st;

bool text_copy(char *dst, int size, const char *src)
{
    dst[0] = 0;
    return text_append(dst, size, src);
}

bool text_append(char *dst, int size, const char *src)
{
    int have = (int)strlen(dst);
    int len = (int)strlen(src);
    if (have + len >= size)
        return false;
    memcpy(dst + have, src, len + 1);
    return true;
}

bool cleanup_add(const char *name)
{
    int len = (int)strlen(name) + 1;
    if (len > st.cleanup_list + cleanup_size - st.cleanup_end)
        return false;
    memcpy(st.cleanup_end, name, len);
    st.cleanup_end += len;
    return true;
}
