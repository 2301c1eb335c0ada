// installer-sim VERB ARGUMENTS...: plays the other processes of a printer
// driver installation (the co-installer, the installer) in tests, through
// the same Win32 seam as the program, on both platforms.
#include <cstdio>
#include <cstring>

#include "tools/installer-sim/verbs.h"

namespace qxz::sim
{

namespace
{

constexpr Verb kVerbs[] = {
    {"reg-import", 1, "FILE", RegImport},          {"reg-export", 1, "KEY", RegExport},
    {"mkdir", 1, "PATH", MakeDirectory},           {"set-version", 1, "NAME", SetVersion},
    {"system-calls", 0, "", ListSystemCalls},      {"hold-mutex", 2, "NAME MS", HoldMutex},
    {"abandon-mutex", 2, "NAME MS", AbandonMutex}, {"wait-mutex", 2, "NAME MS", WaitMutex},
    {"keep-mutex", 3, "NAME CUE MS", KeepMutex},   {"hold-event", 3, "NAME signalled|unsignalled MS", HoldEvent},
    {"watch-event", 2, "NAME MS", WatchEvent},     {"run-pin", 2, "EXE TEXT", RunPin},
    {"run-pin-file", 2, "EXE FILE", RunPinFile},
};

int Usage()
{
    std::fprintf(stderr, "usage: installer-sim VERB ARGUMENTS...\n");
    for (const Verb& tVerb : kVerbs)
        std::fprintf(stderr, "  %s %s\n", tVerb.pszName, tVerb.pszArguments);
    return 2;
}

} // namespace

int ReportResult(const char* pszVerb, const char* pszFailed, unsigned long ulCode)
{
    if (pszFailed == nullptr)
    {
        std::printf("%s: ok\n", pszVerb);
        std::fflush(stdout);
        return 0;
    }
    std::printf("%s: %s returned %lu\n", pszVerb, pszFailed, ulCode);
    std::fflush(stdout);
    return 1;
}

} // namespace qxz::sim

int main(int argc, char** argv)
{
    using qxz::sim::kVerbs;
    if (argc < 2)
        return qxz::sim::Usage();
    for (const qxz::sim::Verb& tVerb : kVerbs)
    {
        if (std::strcmp(argv[1], tVerb.pszName) != 0)
            continue;
        if (argc - 2 != tVerb.nArguments)
            return qxz::sim::Usage();
        return tVerb.pfnRun(argv + 2);
    }
    return qxz::sim::Usage();
}
