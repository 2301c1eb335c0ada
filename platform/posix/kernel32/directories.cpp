// Directories and the attributes of a path: CreateDirectoryA,
// RemoveDirectoryA, GetFileAttributesA, SetFileAttributesA.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/machine/call_steps.h"
#include "platform/posix/machine/file_status.h"
#include "platform/posix/machine/last_error.h"
#include "platform/posix/machine/system_calls.h"

using namespace qxz::posix;

extern "C" {

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/)
{
    if (CallFaulted("CreateDirectoryA", lpPathName))
        return FALSE;
    std::string sPath;
    if (!PosixPathOf(lpPathName, &sPath))
        return FALSE;
    if (SysMkdir(sPath.c_str(), 0777) != 0)
    {
        // Only the last level is created: a missing parent is a missing path.
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName)
{
    if (CallFaulted("RemoveDirectoryA", lpPathName))
        return FALSE;
    std::string sPath;
    if (!PosixPathOf(lpPathName, &sPath))
        return FALSE;
    struct stat tStat;
    if (lstat(sPath.c_str(), &tStat) != 0)
    {
        SetLastError(ErrorFromPathErrno(errno, sPath));
        return FALSE;
    }
    if (!S_ISDIR(tStat.st_mode))
    {
        SetLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    if (SysRmdir(sPath.c_str()) != 0)
    {
        SetLastError(ErrorFromPathErrno(errno, sPath));
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName)
{
    if (CallFaulted("GetFileAttributesA", lpFileName))
        return INVALID_FILE_ATTRIBUTES;
    std::string sPath;
    if (!PosixPathOf(lpFileName, &sPath))
        return INVALID_FILE_ATTRIBUTES;
    struct stat tStat;
    if (stat(sPath.c_str(), &tStat) != 0)
    {
        SetLastError(ErrorFromPathErrno(errno, sPath));
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesFromStat(tStat);
}

// Only the read-only attribute means something here: it is kept as the
// file's write permission. On a directory Windows does not enforce it, so it
// is not kept.
BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes)
{
    if (CallFaulted("SetFileAttributesA", lpFileName))
        return FALSE;
    std::string sPath;
    if (!PosixPathOf(lpFileName, &sPath))
        return FALSE;
    struct stat tStat;
    if (stat(sPath.c_str(), &tStat) != 0)
    {
        SetLastError(ErrorFromPathErrno(errno, sPath));
        return FALSE;
    }
    if (S_ISDIR(tStat.st_mode))
        return TRUE;
    const mode_t nWritable = S_IWUSR | S_IWGRP | S_IWOTH;
    const mode_t nMode = (dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? (tStat.st_mode & ~nWritable)
                         : (tStat.st_mode & nWritable) != 0                ? tStat.st_mode
                                                                           : (tStat.st_mode | S_IWUSR);
    if (SysChmod(sPath.c_str(), nMode & 07777) != 0)
    {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

} // extern "C"
