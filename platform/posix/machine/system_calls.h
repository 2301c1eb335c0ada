// The table of system calls that the emulated machine makes on its state.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_SYSTEM_CALLS_H
#define QXZ_PLATFORM_POSIX_MACHINE_SYSTEM_CALLS_H

#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <string>
#include <vector>

struct flock;

namespace qxz::posix
{

// Every system call that the layer makes on machine state goes through the
// one table of named calls in system_calls.cpp, so that a fault can be injected
// below the Win32 level into any of them by name. Each returns what the
// system call returns and sets errno, as the system call does; a call that
// a signal interrupts is made again, so that no caller sees EINTR. Queries of a
// path by name (stat, lstat, readdir) stay outside: they change nothing, and
// mapping a path makes one per component.
int SysOpen(const char* pszPath, int nFlags, mode_t nMode = 0);
int SysClose(int fd);
ssize_t SysRead(int fd, void* pBuffer, size_t cb);
// pszPath, where known, names the file for QXZ_FAULTS and QXZ_TRACE_CALLS.
ssize_t SysWrite(int fd, const void* pBuffer, size_t cb, const char* pszPath = nullptr);
int SysFsync(int fd);
int SysRename(const char* pszFrom, const char* pszTo);
int SysUnlink(const char* pszPath);
int SysMkdir(const char* pszPath, mode_t nMode);
int SysRmdir(const char* pszPath);
int SysChmod(const char* pszPath, mode_t nMode);
int SysLink(const char* pszExisting, const char* pszNew);
int SysFlock(int fd, int nOperation);
int SysFtruncate(int fd, off_t cb);
// Gives the file its first cb bytes on the disk now (posix_fallocate), so
// that a full disk is an error here and not a signal when the file is used
// through a mapping; -1 with errno set (ENOSPC) when it cannot.
int SysFallocate(int fd, off_t cb);
void* SysMmap(size_t cb, int nProt, int nFlags, int fd);
int SysFutimens(int fd, const struct timespec atTimes[2]);
off_t SysLseek(int fd, off_t nOffset, int nWhence);
// F_GETFD, F_GETFL and F_SETFL: the flags of a descriptor and its open file.
int SysFcntl(int fd, int nCommand, int nArgument = 0);
// F_OFD_SETLK: a range lock of an open file.
int SysFcntl(int fd, int nCommand, struct flock* pLock);
int SysFstat(int fd, struct stat* pStat);

// The names of the system calls in the table, in its order: the names that
// QXZ_FAULTS and QXZ_TRACE_CALLS use for them.
std::vector<std::string> SystemCallNames();

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_SYSTEM_CALLS_H
