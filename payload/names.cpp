// names.cpp: the rule for entry names that stay inside the target directory.
#include "names.h"

static bool is_sep(char c) { return c == '\\' || c == '/'; }

static char lower(char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

// A level such as "..", ".. " or "..." that a file system may read as the
// parent once trailing dots and spaces are dropped.
static bool parent_level(const char *p, int n)
{
    int dots = 0;
    for (int i = 0; i < n; i++) {
        if (p[i] == '.')
            dots++;
        else if (p[i] != ' ')
            return false;
    }
    return dots >= 2;
}

static bool same_name(const char *name, const char *own)
{
    while (*own && lower(*name) == *own)
        name++, own++;
    return !*own && !*name;
}

bool name_safe(const char *name)
{
    if (is_sep(name[0]))
        return false;                       // absolute, or a UNC path
    if (name[0] && name[1] == ':')
        return false;                       // a drive letter
    const char *level = name;
    for (const char *p = name;; p++) {
        if (*p == 0 || is_sep(*p)) {
            if (parent_level(level, (int)(p - level)))
                return false;
            if (*p == 0)
                break;
            level = p + 1;
        }
    }
    // The installer's own temporary files: an entry of that name would
    // overwrite the stream it is being read from.
    return !same_name(name, "~un1") && !same_name(name, "~un2");
}
