// The Windows version that the emulated machine reports (GetVersionExA).
#ifndef QXZ_PLATFORM_POSIX_KERNEL32_VERSION_H
#define QXZ_PLATFORM_POSIX_KERNEL32_VERSION_H

#include <string>

#include "platform/win32.h"

namespace qxz::posix
{

// Sets the version of this machine by name (win95, win98, winme, nt351, nt4,
// win2k, winxp, vista, win7, win8, win32s, default) or in the form
// PLATFORM:MAJOR.MINOR.BUILD (for example "1:4.5.0"). Returns ERROR_SUCCESS,
// ERROR_INVALID_PARAMETER for a setting it does not know, or why the setting
// could not be stored.
DWORD SetMachineVersion(const std::string& sSetting);

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_KERNEL32_VERSION_H
