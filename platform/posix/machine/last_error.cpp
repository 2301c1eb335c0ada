#include "platform/posix/machine/last_error.h"

#include <cerrno>

namespace
{

thread_local DWORD t_dwLastError = 0;

} // namespace

namespace qxz::posix
{

DWORD ErrorFromErrno(int nErrno)
{
    switch (nErrno)
    {
        case 0: return ERROR_SUCCESS;
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
        case ELOOP: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR: return ERROR_ACCESS_DENIED;
        case EEXIST: return ERROR_ALREADY_EXISTS;
        case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
        case ENOSPC:
        case EDQUOT: return ERROR_DISK_FULL;
        case EMFILE:
        case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        case EBADF: return ERROR_INVALID_HANDLE;
        case EINVAL: return ERROR_INVALID_PARAMETER;
        case EWOULDBLOCK: return ERROR_SHARING_VIOLATION;
        case EIO: return ERROR_WRITE_FAULT;
        default: return ERROR_ACCESS_DENIED;
    }
}

} // namespace qxz::posix

extern "C" {

DWORD WINAPI GetLastError(void)
{
    return t_dwLastError;
}

void WINAPI SetLastError(DWORD dwErrCode)
{
    t_dwLastError = dwErrCode;
}

} // extern "C"
