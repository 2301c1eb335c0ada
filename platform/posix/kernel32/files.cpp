// Files by handle (CreateFileA and the calls on its handles), DeleteFileA
// and CreateHardLinkA, over POSIX descriptors.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/posix/kernel32/file_handles.h"
#include "platform/posix/machine/call_steps.h"
#include "platform/posix/machine/caller_buffer.h"
#include "platform/posix/machine/faults.h"
#include "platform/posix/machine/file_status.h"
#include "platform/posix/machine/handles.h"
#include "platform/posix/machine/last_error.h"
#include "platform/posix/machine/layer_state.h"
#include "platform/posix/machine/paths.h"
#include "platform/posix/machine/system_calls.h"

using namespace qxz::posix;

namespace
{

// A file opened by CreateFileA. Every open file registers itself so that a
// new open can be refused when the share modes do not allow it, as Windows
// does within this process.
class FileObject : public HandleObject
{
public:
    FileObject(int fd, DWORD dwAccess, DWORD dwShareMode, const struct stat& tStat);
    ~FileObject() override;

    int Descriptor() const
    {
        return m_fd;
    }
    // Hands the descriptor over to the caller, who closes it.
    int TakeDescriptor()
    {
        return std::exchange(m_fd, -1);
    }
    bool CanRead() const
    {
        return (m_dwAccess & GENERIC_READ) != 0;
    }
    bool CanWrite() const
    {
        return (m_dwAccess & GENERIC_WRITE) != 0;
    }
    bool CanWriteAttributes() const
    {
        return (m_dwAccess & (GENERIC_WRITE | FILE_WRITE_ATTRIBUTES)) != 0;
    }
    bool IsFile(const struct stat& tStat) const
    {
        return tStat.st_dev == m_nDevice && tStat.st_ino == m_nInode;
    }
    bool DeniesOpen(DWORD dwAccess, DWORD dwShareMode) const;
    bool DeniesDelete() const
    {
        return UsesData(m_dwAccess) && (m_dwShareMode & FILE_SHARE_DELETE) == 0;
    }

    static bool UsesData(DWORD dwAccess)
    {
        return (dwAccess & (GENERIC_READ | GENERIC_WRITE)) != 0;
    }

private:
    int m_fd;
    DWORD m_dwAccess;
    DWORD m_dwShareMode;
    dev_t m_nDevice;
    ino_t m_nInode;
};

struct OpenFiles
{
    std::mutex mutex;
    std::vector<const FileObject*> vFiles;
};
OpenFiles& Opened()
{
    return LayerState<OpenFiles>();
}

FileObject::FileObject(int fd, DWORD dwAccess, DWORD dwShareMode, const struct stat& tStat)
    : HandleObject(HandleKind::File), m_fd(fd), m_dwAccess(dwAccess), m_dwShareMode(dwShareMode),
      m_nDevice(tStat.st_dev), m_nInode(tStat.st_ino)
{
    OpenFiles& tOpen = Opened();
    std::lock_guard<std::mutex> lock(tOpen.mutex);
    tOpen.vFiles.push_back(this);
}

FileObject::~FileObject()
{
    {
        OpenFiles& tOpen = Opened();
        std::lock_guard<std::mutex> lock(tOpen.mutex);
        tOpen.vFiles.erase(std::remove(tOpen.vFiles.begin(), tOpen.vFiles.end(), this), tOpen.vFiles.end());
    }
    if (m_fd >= 0)
        SysClose(m_fd);
}

// Windows's share check: each side must allow what the other side does.
bool FileObject::DeniesOpen(DWORD dwAccess, DWORD dwShareMode) const
{
    if (!UsesData(dwAccess) || !UsesData(m_dwAccess))
        return false;
    return ((dwAccess & GENERIC_READ) != 0 && (m_dwShareMode & FILE_SHARE_READ) == 0) ||
           ((dwAccess & GENERIC_WRITE) != 0 && (m_dwShareMode & FILE_SHARE_WRITE) == 0) ||
           (CanRead() && (dwShareMode & FILE_SHARE_READ) == 0) || (CanWrite() && (dwShareMode & FILE_SHARE_WRITE) == 0);
}

template <typename Predicate>
bool AnyOpenFile(const struct stat& tStat, Predicate fnDenies)
{
    OpenFiles& tOpen = Opened();
    std::lock_guard<std::mutex> lock(tOpen.mutex);
    return std::any_of(tOpen.vFiles.begin(), tOpen.vFiles.end(),
                       [&](const FileObject* pFile) { return pFile->IsFile(tStat) && fnDenies(*pFile); });
}

// The file behind a handle; null, with ERROR_INVALID_HANDLE, when there is none.
FileObject* LookupFile(HANDLE hFile)
{
    auto* pFile = static_cast<FileObject*>(LookupHandle(hFile, HandleKind::File));
    if (pFile == nullptr)
        SetLastError(ERROR_INVALID_HANDLE);
    return pFile;
}

bool OpenFlags(DWORD dwAccess, DWORD dwCreationDisposition, int* pnFlags)
{
    int nFlags = (dwAccess & GENERIC_WRITE) == 0 ? O_RDONLY : (dwAccess & GENERIC_READ) != 0 ? O_RDWR : O_WRONLY;
    switch (dwCreationDisposition)
    {
        case CREATE_NEW: nFlags |= O_CREAT | O_EXCL; break;
        case CREATE_ALWAYS: nFlags |= O_CREAT | O_TRUNC; break;
        case OPEN_EXISTING: break;
        case OPEN_ALWAYS: nFlags |= O_CREAT; break;
        case TRUNCATE_EXISTING:
            if ((dwAccess & GENERIC_WRITE) == 0)
                return false;
            nFlags |= O_TRUNC;
            break;
        default: return false;
    }
    *pnFlags = nFlags;
    return true;
}

bool WritesExisting(DWORD dwAccess, DWORD dwCreationDisposition)
{
    return (dwAccess & GENERIC_WRITE) != 0 || dwCreationDisposition == CREATE_ALWAYS ||
           dwCreationDisposition == TRUNCATE_EXISTING;
}

// Why an existing file cannot be opened as asked, or ERROR_SUCCESS. The
// read-only attribute is enforced here because the file system lets the
// superuser write anyway.
DWORD RefusalOfExisting(const struct stat& tStat, DWORD dwAccess, DWORD dwShareMode, DWORD dwCreationDisposition,
                        DWORD dwFlagsAndAttributes)
{
    if (dwCreationDisposition == CREATE_NEW)
        return ERROR_FILE_EXISTS;
    if (S_ISDIR(tStat.st_mode))
    {
        return (dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) != 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    }
    if ((AttributesFromStat(tStat) & FILE_ATTRIBUTE_READONLY) != 0 && WritesExisting(dwAccess, dwCreationDisposition))
    {
        return ERROR_ACCESS_DENIED;
    }
    if (AnyOpenFile(tStat, [&](const FileObject& tOpen) { return tOpen.DeniesOpen(dwAccess, dwShareMode); }))
    {
        return ERROR_SHARING_VIOLATION;
    }
    return ERROR_SUCCESS;
}

// An open never waits: a FIFO or a device planted under a file's name would
// otherwise block it until a peer appears. The descriptor then blocks as an
// ordinary one does.
int OpenWithoutWaiting(const std::string& sPath, int nFlags)
{
    const int fd = SysOpen(sPath.c_str(), nFlags | O_NONBLOCK, 0666);
    if (fd < 0)
        return fd;
    const int nStatusFlags = SysFcntl(fd, F_GETFL);
    if (nStatusFlags == -1 || SysFcntl(fd, F_SETFL, nStatusFlags & ~O_NONBLOCK) == -1)
    {
        const int nErrno = errno;
        SysClose(fd);
        errno = nErrno;
        return -1;
    }
    return fd;
}

// With FILE_FLAG_OPEN_REPARSE_POINT a symbolic link is opened itself, as
// Windows opens a reparse point, never the file it points to. Its
// descriptor serves to describe the link only, so it is never handed out
// for writing: a handle for writing can always be written.
int OpenNoFollow(const std::string& sPath, int nFlags)
{
    const int fd = OpenWithoutWaiting(sPath, nFlags | O_NOFOLLOW);
    if (fd >= 0 || errno != ELOOP || (nFlags & O_ACCMODE) != O_RDONLY)
        return fd;
    return SysOpen(sPath.c_str(), O_PATH | O_NOFOLLOW);
}

// An open that only looks at an existing entry (no data access) opens
// whatever is there, a socket or a device too, without touching it.
bool OnlyDescribes(DWORD dwAccess, DWORD dwCreationDisposition)
{
    return !FileObject::UsesData(dwAccess) && dwCreationDisposition == OPEN_EXISTING;
}

// Other processes see an open through a lock on its open file: shared for an
// open that lets others read or write, exclusive for one that lets nobody
// use the data. The lock is taken without waiting; failing to get it means
// another process holds the file in a way that excludes this open. An open
// that allows deletion lets go of its lock at once, so that DeleteFileA can
// tell by the lock alone whether a holder refuses it. Within the process the
// share check of the open files is exact; across processes this is its
// approximation, which cannot tell reading from writing. ERROR_SUCCESS, or
// why the open is refused.
//
// A file that this open has just made is its own: another process can only
// be looking at it for a moment, which on Windows would have met this open
// and failed. So the lock of a new file is waited for, briefly.
DWORD LockForOthers(int fd, const struct stat& tStat, DWORD dwAccess, DWORD dwShareMode, bool fMadeNow)
{
    if (!FileObject::UsesData(dwAccess) || !S_ISREG(tStat.st_mode))
        return ERROR_SUCCESS;
    const int nLock = (dwShareMode & (FILE_SHARE_READ | FILE_SHARE_WRITE)) == 0 ? LOCK_EX : LOCK_SH;
    constexpr int kNewFileTries = 1000; // a millisecond apart
    for (int nTry = 1; SysFlock(fd, nLock | LOCK_NB) != 0; ++nTry)
    {
        if (errno != EWOULDBLOCK || !fMadeNow || nTry == kNewFileTries)
            return ErrorFromErrno(errno);
        usleep(1000);
    }
    if ((dwShareMode & FILE_SHARE_DELETE) != 0 && SysFlock(fd, LOCK_UN) != 0)
        return ErrorFromErrno(errno);
    struct stat tNow;
    if (SysFstat(fd, &tNow) != 0)
        return ErrorFromErrno(errno);
    // A file deleted under an open is as Windows shows a pending deletion.
    return tNow.st_nlink == 0 ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

// A symbolic link shows as Windows shows a reparse point opened itself:
// with its attribute, and without data.
DWORD HandleAttributes(const struct stat& tStat)
{
    const DWORD dwAttributes = AttributesFromStat(tStat);
    return S_ISLNK(tStat.st_mode) ? dwAttributes | FILE_ATTRIBUTE_REPARSE_POINT : dwAttributes;
}

uint64_t DataSize(const struct stat& tStat)
{
    return S_ISDIR(tStat.st_mode) || S_ISLNK(tStat.st_mode) ? 0 : static_cast<uint64_t>(tStat.st_size);
}

// The first steps of a call that reads what a handle's file is: the
// injected fault, the handle, the file's status. False with the last error
// set when one of them fails.
bool StatusOfHandle(const char* pszCall, HANDLE hFile, struct stat* ptStat)
{
    if (CallFaulted(pszCall, nullptr))
        return false;
    FileObject* pFile = LookupFile(hFile);
    if (pFile == nullptr)
        return false;
    if (SysFstat(pFile->Descriptor(), ptStat) != 0)
    {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

} // namespace

int qxz::posix::FileDescriptor(HANDLE hFile)
{
    const FileObject* pFile = LookupFile(hFile);
    return pFile == nullptr ? -1 : pFile->Descriptor();
}

int qxz::posix::TakeFileDescriptor(HANDLE hFile)
{
    FileObject* pFile = LookupFile(hFile);
    if (pFile == nullptr)
        return -1;
    const int fd = pFile->TakeDescriptor();
    ReleaseHandle(hFile);
    return fd;
}

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/)
{
    if (CallFaulted("CreateFileA", lpFileName))
        return INVALID_HANDLE_VALUE;
    std::string sPath;
    if (!PosixPathOf(lpFileName, &sPath))
        return INVALID_HANDLE_VALUE;
    int nFlags = 0;
    if (!OpenFlags(dwDesiredAccess, dwCreationDisposition, &nFlags))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const bool fOpenLink = (dwFlagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) != 0;
    struct stat tStat;
    const bool fExisted = (fOpenLink ? lstat(sPath.c_str(), &tStat) : stat(sPath.c_str(), &tStat)) == 0;
    if (fExisted)
    {
        const DWORD dwError =
            RefusalOfExisting(tStat, dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes);
        if (dwError != ERROR_SUCCESS)
        {
            SetLastError(dwError);
            return INVALID_HANDLE_VALUE;
        }
        // A directory opened for its attributes and times.
        if (S_ISDIR(tStat.st_mode))
            nFlags = O_RDONLY | O_DIRECTORY;
    }
    int fd;
    if (OnlyDescribes(dwDesiredAccess, dwCreationDisposition))
    {
        fd = SysOpen(sPath.c_str(), O_PATH | (fOpenLink ? O_NOFOLLOW : 0));
    }
    else
    {
        fd = fOpenLink ? OpenNoFollow(sPath, nFlags) : OpenWithoutWaiting(sPath, nFlags);
    }
    if (fd < 0)
    {
        // A link that is to be written itself: refused, as no data is behind it.
        SetLastError(errno == EEXIST  ? ERROR_FILE_EXISTS
                     : errno == ELOOP ? ERROR_ACCESS_DENIED
                                      : ErrorFromPathErrno(errno, sPath));
        return INVALID_HANDLE_VALUE;
    }
    const bool fMadeNow = dwCreationDisposition == CREATE_NEW;
    const DWORD dwError = SysFstat(fd, &tStat) != 0 ? ErrorFromErrno(errno)
                                                    : LockForOthers(fd, tStat, dwDesiredAccess, dwShareMode, fMadeNow);
    if (dwError != ERROR_SUCCESS)
    {
        // A file made by a failed open is not left behind.
        if (fMadeNow)
            SysUnlink(sPath.c_str());
        SetLastError(dwError);
        SysClose(fd);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE hFile = NewHandle(std::make_unique<FileObject>(fd, dwDesiredAccess, dwShareMode, tStat));
    const bool fMayCreate = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
    SetLastError(fMayCreate && fExisted ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return hFile;
}

} // extern "C"

namespace
{

// ReadFile and WriteFile alike: the handle must allow reading or writing
// (fWrite), and all that is asked for moves, short only at the end of a
// file. fnMove moves at most the given count at the given offset into the
// buffer, as read or write do.
template <typename Move>
BOOL TransferAll(const char* pszCall, HANDLE hFile, bool fWrite, const void* pBuffer, DWORD cbWanted, LPDWORD pcbDone,
                 Move fnMove)
{
    if (pcbDone != nullptr)
        *pcbDone = 0;
    if (CallFaulted(pszCall, nullptr))
        return FALSE;
    FileObject* pFile = LookupFile(hFile);
    if (pFile == nullptr)
        return FALSE;
    if (pBuffer == nullptr && cbWanted != 0)
    {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    if (!(fWrite ? pFile->CanWrite() : pFile->CanRead()))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD cbDone = 0;
    while (cbDone < cbWanted)
    {
        const ssize_t cbMoved = fnMove(pFile->Descriptor(), cbDone, cbWanted - cbDone);
        if (cbMoved < 0)
        {
            SetLastError(ErrorFromErrno(errno));
            return FALSE;
        }
        if (cbMoved == 0)
            break;
        cbDone += static_cast<DWORD>(cbMoved);
        if (pcbDone != nullptr)
            *pcbDone = cbDone;
    }
    return TRUE;
}

} // namespace

extern "C" {

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     void* /*lpOverlapped*/)
{
    return TransferAll("ReadFile", hFile, false, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead,
                       [&](int fd, DWORD cbOffset, DWORD cbLeft) {
                           return SysRead(fd, static_cast<char*>(lpBuffer) + cbOffset, cbLeft);
                       });
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      void* /*lpOverlapped*/)
{
    return TransferAll("WriteFile", hFile, true, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten,
                       [&](int fd, DWORD cbOffset, DWORD cbLeft) {
                           return SysWrite(fd, static_cast<const char*>(lpBuffer) + cbOffset, cbLeft);
                       });
}

// The file ends at the handle's position.
BOOL WINAPI SetEndOfFile(HANDLE hFile)
{
    if (CallFaulted("SetEndOfFile", nullptr))
        return FALSE;
    FileObject* pFile = LookupFile(hFile);
    if (pFile == nullptr)
        return FALSE;
    if (!pFile->CanWrite())
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const off_t nPosition = SysLseek(pFile->Descriptor(), 0, SEEK_CUR);
    if (nPosition < 0 || SysFtruncate(pFile->Descriptor(), nPosition) != 0)
    {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                        LPFILETIME lpLastWriteTime)
{
    struct stat tStat;
    if (!StatusOfHandle("GetFileTime", hFile, &tStat))
        return FALSE;
    FileTimesFromStat(tStat, lpCreationTime, lpLastAccessTime, lpLastWriteTime);
    return TRUE;
}

BOOL WINAPI SetFileTime(HANDLE hFile, const FILETIME* /*lpCreationTime*/, const FILETIME* lpLastAccessTime,
                        const FILETIME* lpLastWriteTime)
{
    if (CallFaulted("SetFileTime", nullptr))
        return FALSE;
    FileObject* pFile = LookupFile(hFile);
    if (pFile == nullptr)
        return FALSE;
    if (!pFile->CanWriteAttributes())
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // No time given, zero, or all bits set (Windows: stop updating) leave a
    // time as it is. The file system keeps no creation time to set.
    auto TimeToSet = [](const FILETIME* pftTime) {
        struct timespec tTime;
        const bool fKeep = pftTime == nullptr || (pftTime->dwLowDateTime == 0 && pftTime->dwHighDateTime == 0) ||
                           (pftTime->dwLowDateTime == 0xFFFFFFFF && pftTime->dwHighDateTime == 0xFFFFFFFF);
        if (fKeep)
        {
            tTime.tv_sec = 0;
            tTime.tv_nsec = UTIME_OMIT;
        }
        else
        {
            tTime = TimespecFromFileTime(*pftTime);
        }
        return tTime;
    };
    const struct timespec atTimes[2] = {TimeToSet(lpLastAccessTime), TimeToSet(lpLastWriteTime)};
    if (SysFutimens(pFile->Descriptor(), atTimes) != 0)
    {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation)
{
    struct stat tStat;
    if (!StatusOfHandle("GetFileInformationByHandle", hFile, &tStat))
        return FALSE;
    BY_HANDLE_FILE_INFORMATION tInfo;
    tInfo.dwFileAttributes = HandleAttributes(tStat);
    FileTimesFromStat(tStat, &tInfo.ftCreationTime, &tInfo.ftLastAccessTime, &tInfo.ftLastWriteTime);
    tInfo.dwVolumeSerialNumber = static_cast<DWORD>(tStat.st_dev);
    const uint64_t cbSize = DataSize(tStat);
    tInfo.nFileSizeHigh = static_cast<DWORD>(cbSize >> 32);
    tInfo.nFileSizeLow = static_cast<DWORD>(cbSize);
    // A directory's entries "." and ".." are no names of it on Windows.
    tInfo.nNumberOfLinks = S_ISDIR(tStat.st_mode) ? 1 : static_cast<DWORD>(tStat.st_nlink);
    tInfo.nFileIndexHigh = static_cast<DWORD>(static_cast<uint64_t>(tStat.st_ino) >> 32);
    tInfo.nFileIndexLow = static_cast<DWORD>(tStat.st_ino);
    *lpFileInformation = tInfo;
    return TRUE;
}

LONG WINAPI CompareFileTime(const FILETIME* lpFileTime1, const FILETIME* lpFileTime2)
{
    const uint64_t nTime1 = (static_cast<uint64_t>(lpFileTime1->dwHighDateTime) << 32) | lpFileTime1->dwLowDateTime;
    const uint64_t nTime2 = (static_cast<uint64_t>(lpFileTime2->dwHighDateTime) << 32) | lpFileTime2->dwLowDateTime;
    return nTime1 < nTime2 ? -1 : nTime1 > nTime2 ? 1 : 0;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName)
{
    if (CallFaulted("DeleteFileA", lpFileName))
        return FALSE;
    std::string sPath;
    if (!PosixPathOf(lpFileName, &sPath))
        return FALSE;
    struct stat tStat;
    if (lstat(sPath.c_str(), &tStat) != 0)
    {
        SetLastError(ErrorFromPathErrno(errno, sPath));
        return FALSE;
    }
    if (S_ISDIR(tStat.st_mode) || (AttributesFromStat(tStat) & FILE_ATTRIBUTE_READONLY) != 0)
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (AnyOpenFile(tStat, [](const FileObject& tOpen) { return tOpen.DeniesDelete(); }))
    {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    // Another process that holds the file without allowing its deletion holds
    // its lock (see LockForOthers); the lock is kept while the name goes, so that
    // no open takes the file in between.
    int fdLocked = -1;
    if (S_ISREG(tStat.st_mode))
    {
        fdLocked = SysOpen(sPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
        if (fdLocked >= 0 && SysFlock(fdLocked, LOCK_EX | LOCK_NB) != 0)
        {
            SetLastError(ErrorFromErrno(errno));
            SysClose(fdLocked);
            return FALSE;
        }
    }
    const bool fUnlinked = SysUnlink(sPath.c_str()) == 0;
    const DWORD dwError = fUnlinked ? ERROR_SUCCESS : ErrorFromPathErrno(errno, sPath);
    if (fdLocked >= 0)
        SysClose(fdLocked);
    if (!fUnlinked)
        SetLastError(dwError);
    return fUnlinked ? TRUE : FALSE;
}

// The path of the file a handle has, as the system resolved it when it was
// opened: a link opened through has its target's path. "\\?\" and the
// Windows path; with too small a buffer the size it needs, with its NUL.
DWORD WINAPI GetFinalPathNameByHandleA(HANDLE hFile, LPSTR lpszFilePath, DWORD cchFilePath, DWORD /*dwFlags*/)
{
    if (CallFaulted("GetFinalPathNameByHandleA", nullptr))
        return 0;
    FileObject* pFile = LookupFile(hFile);
    if (pFile == nullptr)
        return 0;
    const std::string sHostPath = DescriptorPath(pFile->Descriptor());
    if (sHostPath.empty() || sHostPath[0] != '/')
    {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    return CopyToCallerBuffer("\\\\?\\" + ToWindowsPath(sHostPath), lpszFilePath, cchFilePath);
}

// A lock on a range of a file, held until the handle (or the descriptor
// that took its file over) is closed; other handles, in this process or
// another, are refused it. The range may lie past the end of the file.
BOOL WINAPI LockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh, DWORD nNumberOfBytesToLockLow,
                     DWORD nNumberOfBytesToLockHigh)
{
    if (CallFaulted("LockFile", nullptr))
        return FALSE;
    FileObject* pFile = LookupFile(hFile);
    if (pFile == nullptr)
        return FALSE;
    const uint64_t nOffset = (static_cast<uint64_t>(dwFileOffsetHigh) << 32) | dwFileOffsetLow;
    const uint64_t cbRange = (static_cast<uint64_t>(nNumberOfBytesToLockHigh) << 32) | nNumberOfBytesToLockLow;
    if (cbRange == 0 || nOffset > static_cast<uint64_t>(INT64_MAX) ||
        cbRange > static_cast<uint64_t>(INT64_MAX) - nOffset)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct flock tLock
    {
    };
    tLock.l_type = pFile->CanWrite() ? F_WRLCK : F_RDLCK;
    tLock.l_whence = SEEK_SET;
    tLock.l_start = static_cast<off_t>(nOffset);
    tLock.l_len = static_cast<off_t>(cbRange);
    if (SysFcntl(pFile->Descriptor(), F_OFD_SETLK, &tLock) != 0)
    {
        SetLastError(errno == EAGAIN || errno == EACCES ? ERROR_LOCK_VIOLATION : ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

// What kind of file a handle has: a FIFO or socket is a pipe, a character
// device a character file, everything else a file on disk.
DWORD WINAPI GetFileType(HANDLE hFile)
{
    struct stat tStat;
    if (!StatusOfHandle("GetFileType", hFile, &tStat))
        return FILE_TYPE_UNKNOWN;
    SetLastError(ERROR_SUCCESS);
    if (S_ISFIFO(tStat.st_mode) || S_ISSOCK(tStat.st_mode))
        return FILE_TYPE_PIPE;
    return S_ISCHR(tStat.st_mode) ? FILE_TYPE_CHAR : FILE_TYPE_DISK;
}

// A second name for an existing file.
BOOL WINAPI CreateHardLinkA(LPCSTR lpFileName, LPCSTR lpExistingFileName,
                            LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/)
{
    if (CallFaulted("CreateHardLinkA", lpFileName))
        return FALSE;
    std::string sPath;
    std::string sExistingPath;
    if (!PosixPathOf(lpFileName, &sPath) || !PosixPathOf(lpExistingFileName, &sExistingPath))
        return FALSE;
    if (SysLink(sExistingPath.c_str(), sPath.c_str()) != 0)
    {
        SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromPathErrno(errno, sExistingPath));
        return FALSE;
    }
    return TRUE;
}

} // extern "C"
