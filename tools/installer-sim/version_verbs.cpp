// set-version NAME: the Windows version that the emulated machine reports.
// A real Windows (or Wine) has its own version, so there the verb fails.
#include "platform/win32.h"
#include "tools/installer-sim/verbs.h"

#ifndef _WIN32
#include "platform/posix/kernel32/version.h"
#endif

namespace qxz::sim
{

int SetVersion(char** argv)
{
#ifdef _WIN32
    (void)argv;
    return ReportResult("set-version", "set-version on Windows", ERROR_NOT_SUPPORTED);
#else
    DWORD dwError = qxz::posix::SetMachineVersion(argv[0]);
    return ReportResult("set-version", dwError == ERROR_SUCCESS ? nullptr : "SetMachineVersion", dwError);
#endif
}

} // namespace qxz::sim
