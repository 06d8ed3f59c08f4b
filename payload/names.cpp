// names.cpp: the rule for entry names that stay inside the target directory.
#include "names.h"

static bool is_sep(char c) { return c == '\\' || c == '/'; }

static char lower(char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

// A level such as "..", ".. " or "..." that a file system may read as the
// parent once trailing dots and spaces are dropped; a stream suffix ("..:x")
// does not make it anything else.
static bool parent_level(const char *p, int n)
{
    int dots = 0;
    for (int i = 0; i < n && p[i] != ':'; i++) {
        if (p[i] == '.')
            dots++;
        else if (p[i] != ' ')
            return false;
    }
    return dots >= 2;
}

// A level made only of dots and spaces (or empty) with fewer than two dots:
// it names the directory it stands in; so does one that is only a stream
// suffix (":x", a stream of that directory).
static bool here_level(const char *p, int n)
{
    for (int i = 0; i < n && p[i] != ':'; i++)
        if (p[i] != '.' && p[i] != ' ')
            return false;
    return !parent_level(p, n);
}

static bool same_name(const char *name, int n, const char *own)
{
    int i = 0;
    for (; i < n && own[i] && lower(name[i]) == own[i]; i++) {
    }
    return i == n && !own[i];
}

// Whether the name reaches one of the installer's own temporary files: an
// entry of that name would overwrite the stream it is being read from. The
// name is read as a file system may read it: levels that name the directory
// itself are dropped ("./~un2", "~un2\\."), and in the one level left a
// stream suffix names the file itself ("~un2::$DATA") and trailing dots and
// spaces are dropped ("~un2.").
static bool own_temp(const char *name)
{
    const char *found = 0;
    int found_len = 0, levels = 0;
    const char *level = name;
    for (const char *p = name;; p++) {
        if (*p == 0 || is_sep(*p)) {
            int n = (int)(p - level);
            if (!here_level(level, n)) {
                levels++;
                found = level;
                found_len = n;
            }
            if (*p == 0)
                break;
            level = p + 1;
        }
    }
    if (levels != 1)
        return false;
    int n = 0;
    while (n < found_len && found[n] != ':')
        n++;
    while (n > 0 && (found[n - 1] == '.' || found[n - 1] == ' '))
        n--;
    return same_name(found, n, "~un1") || same_name(found, n, "~un2");
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
    return !own_temp(name);
}
