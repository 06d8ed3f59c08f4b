// Which entry names stay inside the target directory.
#include <gtest/gtest.h>
#include <string>
#include "names.h"

TEST(names, safe_and_unsafe)
{
    const char *safe[] = {
        "SETUP.EXE", "", "DIR1\\DIR2\\FILE.TXT", "a/b", ".hidden", "a..b",
        "dir.\\file", "x\\.\\y", "QOX32.EXE", "~un3", "~un1x", "dir\\~un2",
        "file:stream",
    };
    const char *unsafe[] = {
        "\\windows\\x", "/etc/passwd", "\\\\server\\share\\x", "C:\\x", "c:x",
        "..", "..\\x", "../x", "a\\..\\..\\x", "a/../b", "a\\..", ".. \\x",
        "...\\x", ". .\\x", "~un1", "~UN2", "~Un1",
        // Found by fuzzing: other spellings of the temporary files, and a
        // parent level with a stream suffix.
        "./~un2", ".\\~un1", "~un2.", "~UN1 ", "~un2::$DATA", "~un1:x", "~un2\\.",
        "..:x\\y", ".. :", "~un2\\:x", "~un2//:\x81",
    };
    for (const char *n : safe)
        EXPECT_TRUE(name_safe(n)) << n;
    for (const char *n : unsafe)
        EXPECT_FALSE(name_safe(n)) << n;
    std::string long_name(255, 'a');
    EXPECT_TRUE(name_safe(long_name.c_str()));
}
