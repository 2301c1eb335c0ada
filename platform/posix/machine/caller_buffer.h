// The Win32 rule for text returned in a caller's buffer.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_CALLER_BUFFER_H
#define QXZ_PLATFORM_POSIX_MACHINE_CALLER_BUFFER_H

#include <string>

#include "platform/win32.h"

namespace qxz::posix
{

// When the text and its terminating zero fit into cchBuffer characters, copies
// them and returns the text's length; otherwise leaves the buffer alone and
// returns the size needed, terminating zero included.
DWORD CopyToCallerBuffer(const std::string& sText, LPSTR pszBuffer, DWORD cchBuffer);

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_CALLER_BUFFER_H
