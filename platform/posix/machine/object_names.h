// The names of kernel objects, as Windows checks them.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_OBJECT_NAMES_H
#define QXZ_PLATFORM_POSIX_MACHINE_OBJECT_NAMES_H

#include <string>

#include "platform/win32.h"

namespace qxz::posix
{

// The key under which a named object is kept: "Local\x" is the session's
// "x", "Global\x" a name of its own; names compare with case. False with a
// Win32 error for a name that Windows refuses.
bool ObjectNameKey(const char* pszName, std::string* psKey, DWORD* pdwError);

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_OBJECT_NAMES_H
