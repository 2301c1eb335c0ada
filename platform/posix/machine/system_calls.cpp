#include "platform/posix/machine/system_calls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/machine/faults.h"

namespace qxz::posix
{

namespace
{

enum class SystemCall : size_t
{
    Open,
    Close,
    Read,
    Write,
    Fsync,
    Rename,
    Unlink,
    Mkdir,
    Rmdir,
    Chmod,
    Link,
    Flock,
    Ftruncate,
    Fallocate,
    Mmap,
    Futimens,
    Lseek,
    Fcntl,
    Fstat,
};

struct SystemCallEntry
{
    SystemCall eCall;
    const char* pszName;
    // A signal may end the call early with EINTR, and the call is then made
    // again: no caller sees EINTR. Not close, whose descriptor is gone
    // either way.
    bool fRestarted;
};

// The one table of the layer's system calls: a fault is injected into one
// of them by its name here, and a test lists them from it.
constexpr SystemCallEntry kSystemCalls[] = {
    {SystemCall::Open, "open", true},           {SystemCall::Close, "close", false},
    {SystemCall::Read, "read", true},           {SystemCall::Write, "write", true},
    {SystemCall::Fsync, "fsync", true},         {SystemCall::Rename, "rename", false},
    {SystemCall::Unlink, "unlink", false},      {SystemCall::Mkdir, "mkdir", false},
    {SystemCall::Rmdir, "rmdir", false},        {SystemCall::Chmod, "chmod", false},
    {SystemCall::Link, "link", false},          {SystemCall::Flock, "flock", true},
    {SystemCall::Ftruncate, "ftruncate", true}, {SystemCall::Fallocate, "fallocate", true},
    {SystemCall::Mmap, "mmap", false},          {SystemCall::Futimens, "futimens", false},
    {SystemCall::Lseek, "lseek", false},        {SystemCall::Fcntl, "fcntl", true},
    {SystemCall::Fstat, "fstat", false},
};

constexpr bool EveryCallInItsPlace()
{
    for (size_t i = 0; i < sizeof kSystemCalls / sizeof kSystemCalls[0]; ++i)
    {
        if (static_cast<size_t>(kSystemCalls[i].eCall) != i)
            return false;
    }
    return true;
}
static_assert(EveryCallInItsPlace() &&
                  sizeof kSystemCalls / sizeof kSystemCalls[0] == static_cast<size_t>(SystemCall::Fstat) + 1,
              "the table holds every system call once, in the order of SystemCall");

const SystemCallEntry& EntryOf(SystemCall eCall)
{
    return kSystemCalls[static_cast<size_t>(eCall)];
}

// True (with errno set) when a fault is injected into this system call.
bool SysFault(SystemCall eCall, const char* pszName)
{
    return ErrnoCallFaulted(EntryOf(eCall).pszName, pszName);
}

// A call of the table that fails with -1 and errno: the injected fault
// first, then the call itself, made again while a signal interrupts it.
template <typename Call>
auto Made(SystemCall eCall, const char* pszName, Call fnCall) -> decltype(fnCall())
{
    if (SysFault(eCall, pszName))
        return -1;
    decltype(fnCall()) nResult;
    do
    {
        nResult = fnCall();
    } while (nResult == -1 && errno == EINTR && EntryOf(eCall).fRestarted);
    return nResult;
}

} // namespace

std::vector<std::string> SystemCallNames()
{
    std::vector<std::string> vNames;
    for (const SystemCallEntry& tEntry : kSystemCalls)
        vNames.emplace_back(tEntry.pszName);
    return vNames;
}

int SysOpen(const char* pszPath, int nFlags, mode_t nMode)
{
    return Made(SystemCall::Open, pszPath, [&] { return open(pszPath, nFlags | O_CLOEXEC, nMode); });
}

int SysClose(int fd)
{
    if (SysFault(SystemCall::Close, nullptr))
    {
        close(fd); // the descriptor is gone either way, as with a real failing close
        return -1;
    }
    return close(fd);
}

ssize_t SysRead(int fd, void* pBuffer, size_t cb)
{
    return Made(SystemCall::Read, nullptr, [&] { return read(fd, pBuffer, cb); });
}

ssize_t SysWrite(int fd, const void* pBuffer, size_t cb, const char* pszPath)
{
    return Made(SystemCall::Write, pszPath, [&] { return write(fd, pBuffer, cb); });
}

int SysFsync(int fd)
{
    return Made(SystemCall::Fsync, nullptr, [&] { return fsync(fd); });
}

int SysRename(const char* pszFrom, const char* pszTo)
{
    return Made(SystemCall::Rename, pszTo, [&] { return rename(pszFrom, pszTo); });
}

int SysUnlink(const char* pszPath)
{
    return Made(SystemCall::Unlink, pszPath, [&] { return unlink(pszPath); });
}

int SysMkdir(const char* pszPath, mode_t nMode)
{
    return Made(SystemCall::Mkdir, pszPath, [&] { return mkdir(pszPath, nMode); });
}

int SysRmdir(const char* pszPath)
{
    return Made(SystemCall::Rmdir, pszPath, [&] { return rmdir(pszPath); });
}

int SysChmod(const char* pszPath, mode_t nMode)
{
    return Made(SystemCall::Chmod, pszPath, [&] { return chmod(pszPath, nMode); });
}

int SysLink(const char* pszExisting, const char* pszNew)
{
    return Made(SystemCall::Link, pszNew, [&] { return link(pszExisting, pszNew); });
}

int SysFlock(int fd, int nOperation)
{
    return Made(SystemCall::Flock, nullptr, [&] { return flock(fd, nOperation); });
}

int SysFtruncate(int fd, off_t cb)
{
    return Made(SystemCall::Ftruncate, nullptr, [&] { return ftruncate(fd, cb); });
}

int SysFallocate(int fd, off_t cb)
{
    return Made(SystemCall::Fallocate, nullptr, [&] {
        const int nError = posix_fallocate(fd, 0, cb);
        if (nError == 0)
            return 0;
        errno = nError; // posix_fallocate returns its error instead of setting errno
        return -1;
    });
}

void* SysMmap(size_t cb, int nProt, int nFlags, int fd)
{
    if (SysFault(SystemCall::Mmap, nullptr))
        return MAP_FAILED;
    return mmap(nullptr, cb, nProt, nFlags, fd, 0);
}

int SysFutimens(int fd, const struct timespec atTimes[2])
{
    return Made(SystemCall::Futimens, nullptr, [&] { return futimens(fd, atTimes); });
}

off_t SysLseek(int fd, off_t nOffset, int nWhence)
{
    return Made(SystemCall::Lseek, nullptr, [&] { return lseek(fd, nOffset, nWhence); });
}

int SysFcntl(int fd, int nCommand, int nArgument)
{
    return Made(SystemCall::Fcntl, nullptr, [&] { return fcntl(fd, nCommand, nArgument); });
}

int SysFcntl(int fd, int nCommand, struct flock* pLock)
{
    return Made(SystemCall::Fcntl, nullptr, [&] { return fcntl(fd, nCommand, pLock); });
}

int SysFstat(int fd, struct stat* pStat)
{
    return Made(SystemCall::Fstat, nullptr, [&] { return fstat(fd, pStat); });
}

} // namespace qxz::posix
