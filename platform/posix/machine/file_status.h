// What the Win32 file calls report about a file, made from what POSIX says:
// times, attributes and the error for a path that is not there.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_FILE_STATUS_H
#define QXZ_PLATFORM_POSIX_MACHINE_FILE_STATUS_H

#include <sys/stat.h>
#include <time.h>

#include <string>

#include "platform/win32.h"

namespace qxz::posix
{

// 100-nanosecond ticks since 1601-01-01 (UTC).
FILETIME FileTimeFromTimespec(const struct timespec& tTime);
struct timespec TimespecFromFileTime(const FILETIME& ftTime);

// Times as Windows reports them. There is no birth time to rely on, so the
// creation time is the last write time; the last access is never earlier
// than the last write.
void FileTimesFromStat(const struct stat& tStat, FILETIME* pftCreation, FILETIME* pftLastAccess,
                       FILETIME* pftLastWrite);

// FILE_ATTRIBUTE_* bits: directory, read-only (no write bit at all) and, for
// any other file, archive.
DWORD AttributesFromStat(const struct stat& tStat);

// Win32 error for a failed operation on a path: a missing name in an existing
// directory is ERROR_FILE_NOT_FOUND, a missing directory on the way is
// ERROR_PATH_NOT_FOUND.
DWORD ErrorFromPathErrno(int nErrno, const std::string& sPosixPath);

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_FILE_STATUS_H
