// The process environment: GetEnvironmentVariableA, SetEnvironmentVariableA.
// Both work on the runtime's environment, so that getenv and child processes
// see what SetEnvironmentVariableA set.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/posix/machine/call_steps.h"
#include "platform/posix/machine/caller_buffer.h"
#include "platform/posix/machine/last_error.h"

using namespace qxz::posix;

extern "C" {

DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize)
{
    if (CallFaulted("GetEnvironmentVariableA", lpName))
        return 0;
    const char* pszValue = lpName == nullptr ? nullptr : getenv(lpName);
    if (pszValue == nullptr)
    {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    // An empty value returns 0 as a failure does, but leaves the last error alone.
    return CopyToCallerBuffer(pszValue, lpBuffer, nSize);
}

BOOL WINAPI SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue)
{
    if (CallFaulted("SetEnvironmentVariableA", lpName))
        return FALSE;
    if (lpName == nullptr || lpName[0] == '\0' || strchr(lpName, '=') != nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // No value removes the variable.
    const int nResult = lpValue == nullptr ? unsetenv(lpName) : setenv(lpName, lpValue, 1);
    if (nResult != 0)
    {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

} // extern "C"
