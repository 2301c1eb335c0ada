// The thread's last error (GetLastError, SetLastError) and the Win32 code
// of a failed system call.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_LAST_ERROR_H
#define QXZ_PLATFORM_POSIX_MACHINE_LAST_ERROR_H

#include "platform/win32.h"

namespace qxz::posix
{

// Win32 error code for an errno value of a failed file operation.
DWORD ErrorFromErrno(int nErrno);

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_LAST_ERROR_H
