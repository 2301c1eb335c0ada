// Internals of the emulated machine shared by the POSIX implementations of
// the Win32 calls: the machine root, path mapping, handles, the last error,
// fault injection and the table of system calls that the layer makes.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_MACHINE_H
#define QXZ_PLATFORM_POSIX_MACHINE_MACHINE_H

#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/win32.h"

struct flock;

namespace qxz::posix
{

// ---- Machine root ---------------------------------------------------------

// Absolute POSIX path of the machine root ($QXZ_MACHINE_ROOT, else a per-user
// state directory). Created on first use with drive_c/WINDOWS/SYSTEM32.
// Empty when it cannot be created.
const std::string& MachineRoot();

// Forget the cached root so that the next call reads QXZ_MACHINE_ROOT again
// (tests switch roots within one process).
void ResetMachineRootForTests();

// A file inside the machine root, such as "registry-hklm.reg".
std::string MachineFile(const char* pszName);

// ---- Paths ------------------------------------------------------------------

// Maps a Windows path ("C:\x\y", "Z:\tmp\f", "c:/x", a relative "x\y") to a
// POSIX path. C: is <root>/drive_c, Z: is /. A relative path stays relative
// with its backslashes turned into slashes. Returns false (and an error code
// in *pdwError) for a path it cannot map (another drive, empty).
bool ToPosixPath(const char* pszWindowsPath, std::string* psPosixPath, DWORD* pdwError);

// Maps an absolute POSIX path to its Windows form: below <root>/drive_c as
// "C:\...", anything else as "Z:\..."; a relative path gets its slashes
// turned into backslashes.
std::string ToWindowsPath(const std::string& sPosixPath);

// Win32 error code for an errno value of a failed file operation.
DWORD ErrorFromErrno(int nErrno);

// ---- Fault injection --------------------------------------------------------
//
// QXZ_FAULTS holds entries separated by ';': CALL[@NAME][#N]=CODE.
//   CALL  a Win32 call ("RegSetValueExA"), a runtime call ("_fsopen") or a
//         system call of the layer (one of SystemCallNames())
//   NAME  only when the call's name argument (value name, key path, object
//         name, file path) equals NAME, ignoring case; a NAME ending in '*'
//         matches every name that begins with the rest
//   N     only the Nth such call in this process (1-based); every call if absent
//   CODE  the Win32 error code to fail with; for a runtime or system call,
//         the errno value
// Returns true and the code when the call is to fail now. With
// QXZ_TRACE_CALLS naming a host file, every consultation is also appended to
// that file as "CALL<tab>NAME", which lists the calls a run makes.
//
// This is the check itself. Each way of reporting a failure has one adapter
// over it: CallFaulted (call_steps.h) sets the last error of a Win32 call,
// the registry's calls return the code (registry.cpp), and ErrnoCallFaulted
// sets errno for the runtime's calls and the system calls below.
bool FaultInjected(const char* pszCall, const char* pszName, DWORD* pdwCode);

// For a call that reports its failure through errno: true, with errno set to
// the injected code, when the call is to fail now.
bool ErrnoCallFaulted(const char* pszCall, const char* pszName);

// ---- System calls -----------------------------------------------------------
//
// Every system call that the layer makes on machine state goes through the
// one table of named calls in machine.cpp, so that a fault can be injected
// below the Win32 level into any of them by name. Each returns what the
// system call returns and sets errno, as the system call does. Queries of a
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

// Reads a whole file; false with errno set on failure.
bool ReadWholeFile(const std::string& sPath, std::string* psContent);
// Writes a whole file aside ("<sPath>.new.<pid>"), fsyncs it and renames it
// over sPath.
bool ReplaceFileAtomically(const std::string& sPath, const std::string& sContent);
// Removes the copies of sPath that writers killed in mid-write left aside:
// those of a process that has ended, or that started only after the copy
// was last written (its id has passed on). Call it holding the lock that
// the writers of sPath hold, so that no copy is still being written.
// Returns how many it removed.
int RemoveStaleAsideFiles(const std::string& sPath);

// ---- Handles ------------------------------------------------------------------

enum class HandleKind
{
    File,
    Find,
    Event,
    Mutex,
    Thread,
    Process
};

// A kernel object as one process sees it; CloseHandle destroys it.
class HandleObject
{
public:
    explicit HandleObject(HandleKind eKind) : m_eKind(eKind)
    {
    }
    virtual ~HandleObject() = default;
    HandleObject(const HandleObject&) = delete;
    HandleObject& operator=(const HandleObject&) = delete;
    HandleKind Kind() const
    {
        return m_eKind;
    }

private:
    HandleKind m_eKind;
};

// Registers an object and returns its handle (never null nor
// INVALID_HANDLE_VALUE).
HANDLE NewHandle(std::unique_ptr<HandleObject> pObject);

// The object behind a handle when it is open and of that kind, else null.
HandleObject* LookupHandle(HANDLE hObject, HandleKind eKind);
HandleObject* LookupHandle(HANDLE hObject);

// Closes a handle; false when it was not open.
bool ReleaseHandle(HANDLE hObject);

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_MACHINE_H
