// check.h (fuzz): a property that must hold; a failure names itself and
// aborts, which libFuzzer reports as a finding.
#ifndef QOX_FUZZ_CHECK_H
#define QOX_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

#define check(cond)                                                                    \
    do {                                                                               \
        if (!(cond)) {                                                                 \
            fprintf(stderr, "check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);  \
            abort();                                                                   \
        }                                                                              \
    } while (0)

#endif
