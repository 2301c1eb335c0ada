#include "platform/posix/machine/file_status.h"

#include <cerrno>

#include "platform/posix/machine/last_error.h"
#include "platform/posix/machine/paths.h"

namespace qxz::posix
{

namespace
{

constexpr uint64_t kTicksPerSecond = 10000000u;
constexpr uint64_t kSecondsFrom1601To1970 = 11644473600u;

bool IsDirectory(const std::string& sPosixPath)
{
    struct stat tStat;
    return stat(sPosixPath.c_str(), &tStat) == 0 && S_ISDIR(tStat.st_mode);
}

} // namespace

FILETIME FileTimeFromTimespec(const struct timespec& tTime)
{
    // Times before 1601 cannot be told; they read as the earliest time.
    const int64_t nSeconds = static_cast<int64_t>(tTime.tv_sec) + static_cast<int64_t>(kSecondsFrom1601To1970);
    const uint64_t nTicks =
        nSeconds < 0 ? 0
                     : static_cast<uint64_t>(nSeconds) * kTicksPerSecond + static_cast<uint64_t>(tTime.tv_nsec) / 100u;
    FILETIME ftTime;
    ftTime.dwLowDateTime = static_cast<DWORD>(nTicks);
    ftTime.dwHighDateTime = static_cast<DWORD>(nTicks >> 32);
    return ftTime;
}

struct timespec TimespecFromFileTime(const FILETIME& ftTime)
{
    const uint64_t nTicks = (static_cast<uint64_t>(ftTime.dwHighDateTime) << 32) | ftTime.dwLowDateTime;
    struct timespec tTime;
    tTime.tv_sec = static_cast<time_t>(static_cast<int64_t>(nTicks / kTicksPerSecond) -
                                       static_cast<int64_t>(kSecondsFrom1601To1970));
    tTime.tv_nsec = static_cast<long>(nTicks % kTicksPerSecond) * 100;
    return tTime;
}

void FileTimesFromStat(const struct stat& tStat, FILETIME* pftCreation, FILETIME* pftLastAccess, FILETIME* pftLastWrite)
{
    if (pftCreation != nullptr)
        *pftCreation = FileTimeFromTimespec(tStat.st_mtim);
    // Windows counts a write as an access; a host file system that moves
    // the access time only on reads would show a file just written as unused.
    if (pftLastAccess != nullptr)
    {
        const bool fWrittenLater =
            tStat.st_mtim.tv_sec > tStat.st_atim.tv_sec ||
            (tStat.st_mtim.tv_sec == tStat.st_atim.tv_sec && tStat.st_mtim.tv_nsec > tStat.st_atim.tv_nsec);
        *pftLastAccess = FileTimeFromTimespec(fWrittenLater ? tStat.st_mtim : tStat.st_atim);
    }
    if (pftLastWrite != nullptr)
        *pftLastWrite = FileTimeFromTimespec(tStat.st_mtim);
}

DWORD AttributesFromStat(const struct stat& tStat)
{
    DWORD dwAttributes = S_ISDIR(tStat.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if ((tStat.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        dwAttributes |= FILE_ATTRIBUTE_READONLY;
    return dwAttributes;
}

DWORD ErrorFromPathErrno(int nErrno, const std::string& sPosixPath)
{
    if (nErrno != ENOENT)
        return ErrorFromErrno(nErrno);
    return IsDirectory(ParentDirectory(sPosixPath)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

} // namespace qxz::posix
