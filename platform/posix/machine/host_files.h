// Files of the host, not of the machine (/proc): read outside the machine's
// table of calls, so that no fault of the machine's calls reaches them.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_HOST_FILES_H
#define QXZ_PLATFORM_POSIX_MACHINE_HOST_FILES_H

#include <cstddef>
#include <string>

namespace qxz::posix
{

// The first cbMost bytes of a host file (all of them when it is shorter);
// false with errno set when it cannot be opened or read.
bool ReadHostFile(const char* pszPath, size_t cbMost, std::string* psText);

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_HOST_FILES_H
