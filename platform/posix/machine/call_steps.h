// Steps that every emulated Win32 call on a path begins with. A failed step
// has set the last error; the call then returns its failure value.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_CALL_STEPS_H
#define QXZ_PLATFORM_POSIX_MACHINE_CALL_STEPS_H

#include <string>

#include "platform/posix/machine/faults.h"
#include "platform/posix/machine/paths.h"

namespace qxz::posix
{

// An injected fault (QXZ_FAULTS) makes the call fail before it does anything.
inline bool CallFaulted(const char* pszCall, const char* pszName)
{
    DWORD dwError = ERROR_SUCCESS;
    if (!FaultInjected(pszCall, pszName, &dwError))
        return false;
    SetLastError(dwError);
    return true;
}

inline bool PosixPathOf(LPCSTR pszWindowsPath, std::string* psPosixPath)
{
    DWORD dwError = ERROR_SUCCESS;
    if (ToPosixPath(pszWindowsPath, psPosixPath, &dwError))
        return true;
    SetLastError(dwError);
    return false;
}

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_CALL_STEPS_H
