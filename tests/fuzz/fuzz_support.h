// What every fuzz target needs: a private emulated machine and a log that
// formats every line (into the null device), so the logging paths run too.
#ifndef QXZ_TESTS_FUZZ_FUZZ_SUPPORT_H
#define QXZ_TESTS_FUZZ_FUZZ_SUPPORT_H

#include <stdlib.h>

#include "log/log_file.h"

// Stops the run at a broken property, so libFuzzer saves the input.
#define FUZZ_REQUIRE(condition)                                                                                        \
    do                                                                                                                 \
    {                                                                                                                  \
        if (!(condition))                                                                                              \
            __builtin_trap();                                                                                          \
    } while (0)

inline void StartFuzzMachine()
{
    char szRoot[] = "/tmp/qxz-fuzz-XXXXXX";
    if (mkdtemp(szRoot) != nullptr)
        setenv("QXZ_MACHINE_ROOT", szRoot, 1);
    g_Log.Open("Z:\\dev\\null", 0, LogFlag_NameAsGiven);
}

#endif // QXZ_TESTS_FUZZ_FUZZ_SUPPORT_H
