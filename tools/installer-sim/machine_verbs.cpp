// system-calls: the names of the emulated machine's system calls, one a
// line, as fault injection names them. A real Windows (or Wine) has no such
// table, so there the verb fails.
#include <cstdio>

#include "platform/win32.h"
#include "tools/installer-sim/verbs.h"

#ifndef _WIN32
#include "platform/posix/machine/system_calls.h"
#endif

namespace qxz::sim
{

int ListSystemCalls(char** argv)
{
    (void)argv;
#ifdef _WIN32
    return ReportResult("system-calls", "system-calls on Windows", ERROR_NOT_SUPPORTED);
#else
    for (const std::string& sName : qxz::posix::SystemCallNames())
        std::printf("%s\n", sName.c_str());
    return ReportResult("system-calls", nullptr, ERROR_SUCCESS);
#endif
}

} // namespace qxz::sim
