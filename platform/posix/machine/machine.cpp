// The emulated machine's core: root directory, path mapping, handles, the
// thread's last error, fault injection and the system-call table.
#include "platform/posix/machine/machine.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "platform/posix/machine/call_steps.h"
#include "platform/posix/machine/process_identity.h"

namespace qxz::posix
{

namespace
{

thread_local DWORD t_dwLastError = 0;

// ---- Machine root -----------------------------------------------------------

// The layer's state lives in function-local statics: programs may call the
// layer from their own static initialisers, before this file's globals
// would be constructed, and from their exit-time destructors (a log closing
// its stream), so the state is made once and never destroyed.
struct RootState
{
    std::mutex mutex;
    std::string sRoot;
    bool fKnown = false;
};
RootState& Root()
{
    static RootState& s_State = *new RootState;
    return s_State;
}

bool MakeDirectories(const std::string& sPath)
{
    std::string sPartial;
    size_t nStart = 0;
    while (nStart <= sPath.size())
    {
        size_t nSlash = sPath.find('/', nStart);
        if (nSlash == std::string::npos)
            nSlash = sPath.size();
        sPartial = sPath.substr(0, nSlash);
        if (!sPartial.empty() && SysMkdir(sPartial.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
        nStart = nSlash + 1;
    }
    struct stat tStat;
    return stat(sPath.c_str(), &tStat) == 0 && S_ISDIR(tStat.st_mode);
}

std::string DefaultRoot()
{
    const char* pszState = getenv("XDG_STATE_HOME");
    if (pszState != nullptr && pszState[0] == '/')
        return std::string(pszState) + "/qxz-machine";
    const char* pszHome = getenv("HOME");
    if (pszHome != nullptr && pszHome[0] == '/')
        return std::string(pszHome) + "/.local/state/qxz-machine";
    return "/tmp/qxz-machine-" + std::to_string(getuid());
}

std::string AbsolutePath(const std::string& sPath)
{
    if (!sPath.empty() && sPath[0] == '/')
        return sPath;
    char szCwd[4096];
    if (getcwd(szCwd, sizeof szCwd) == nullptr)
        return sPath;
    return std::string(szCwd) + "/" + sPath;
}

// ---- Paths ------------------------------------------------------------------

// Finds an entry of a directory by name ignoring ASCII case, as Windows file
// systems do; the exact name wins when it exists.
std::string ResolveComponent(const std::string& sDirectory, const std::string& sName)
{
    std::string sExact = sDirectory + "/" + sName;
    struct stat tStat;
    if (lstat(sExact.c_str(), &tStat) == 0)
        return sExact;
    DIR* pDir = opendir(sDirectory.empty() ? "/" : sDirectory.c_str());
    if (pDir == nullptr)
        return sExact;
    std::string sFound = sExact;
    while (struct dirent* pEntry = readdir(pDir))
    {
        if (strcasecmp(pEntry->d_name, sName.c_str()) == 0)
        {
            sFound = sDirectory + "/" + pEntry->d_name;
            break;
        }
    }
    closedir(pDir);
    return sFound;
}

// Joins the components of a Windows path below a POSIX base, resolving each
// one without regard to case; "." and ".." are resolved textually as
// Windows does before the file system sees the path.
std::string MapComponents(const std::string& sBase, const std::string& sRest)
{
    std::vector<std::string> vComponents;
    size_t nStart = 0;
    while (nStart <= sRest.size())
    {
        size_t nEnd = sRest.find_first_of("\\/", nStart);
        if (nEnd == std::string::npos)
            nEnd = sRest.size();
        std::string sPart = sRest.substr(nStart, nEnd - nStart);
        if (sPart == "..")
        {
            if (!vComponents.empty())
                vComponents.pop_back();
        }
        else if (!sPart.empty() && sPart != ".")
        {
            vComponents.push_back(sPart);
        }
        nStart = nEnd + 1;
    }
    std::string sPath = sBase == "/" ? "" : sBase;
    for (const std::string& sPart : vComponents)
        sPath = ResolveComponent(sPath, sPart);
    // A trailing separator stays: it tells callers that a directory is meant.
    bool fTrailing = !sRest.empty() && (sRest.back() == '\\' || sRest.back() == '/');
    if (sPath.empty())
        return "/";
    if (fTrailing)
        sPath += "/";
    return sPath;
}

// ---- Faults -------------------------------------------------------------------

struct FaultRule
{
    std::string sCall;
    std::string sName; // empty: any
    unsigned nOrdinal; // 0: every call
    DWORD dwCode;
    unsigned nSeen;
};

struct FaultState
{
    std::mutex mutex;
    std::string sSpec;
    std::vector<FaultRule> vRules;
};
FaultState& Faults()
{
    static FaultState& s_State = *new FaultState;
    return s_State;
}

void ParseFaults(const std::string& sSpec, std::vector<FaultRule>* pvRules)
{
    pvRules->clear();
    size_t nStart = 0;
    while (nStart < sSpec.size())
    {
        size_t nEnd = sSpec.find(';', nStart);
        if (nEnd == std::string::npos)
            nEnd = sSpec.size();
        std::string sEntry = sSpec.substr(nStart, nEnd - nStart);
        nStart = nEnd + 1;
        size_t nEquals = sEntry.rfind('=');
        if (nEquals == std::string::npos || nEquals == 0)
            continue;
        FaultRule tRule{sEntry.substr(0, nEquals), "", 0,
                        static_cast<DWORD>(strtoul(sEntry.c_str() + nEquals + 1, nullptr, 0)), 0};
        size_t nHash = tRule.sCall.rfind('#');
        if (nHash != std::string::npos)
        {
            tRule.nOrdinal = static_cast<unsigned>(strtoul(tRule.sCall.c_str() + nHash + 1, nullptr, 10));
            tRule.sCall.erase(nHash);
        }
        size_t nAt = tRule.sCall.find('@');
        if (nAt != std::string::npos)
        {
            tRule.sName = tRule.sCall.substr(nAt + 1);
            tRule.sCall.erase(nAt);
        }
        pvRules->push_back(tRule);
    }
}

// A rule's name matches ignoring case; a final '*' matches any rest, so that
// one rule reaches every file of a directory.
bool NameMatches(const std::string& sRuleName, const char* pszName)
{
    if (pszName == nullptr)
        return false;
    if (sRuleName.back() != '*')
        return strcasecmp(sRuleName.c_str(), pszName) == 0;
    return strncasecmp(sRuleName.c_str(), pszName, sRuleName.size() - 1) == 0;
}

// With QXZ_TRACE_CALLS naming a file, every call that consults the faults is
// appended to it ("CALL<tab>NAME"), so a test can list the calls of a run and
// then make each of them fail in turn.
void TraceCall(const char* pszCall, const char* pszName)
{
    const char* pszTrace = getenv("QXZ_TRACE_CALLS");
    if (pszTrace == nullptr || pszTrace[0] == '\0')
        return;
    FILE* pFile = fopen(pszTrace, "a");
    if (pFile == nullptr)
        return;
    fprintf(pFile, "%s\t%s\n", pszCall, pszName != nullptr ? pszName : "");
    fclose(pFile);
}

// ---- Handles ----------------------------------------------------------------

struct HandleTable
{
    std::mutex mutex;
    std::map<uintptr_t, std::unique_ptr<HandleObject>> mapHandles;
    uintptr_t nNextHandle = 0x1000;
};
HandleTable& Handles()
{
    static HandleTable s_Table;
    return s_Table;
}

} // namespace

const std::string& MachineRoot()
{
    RootState& tState = Root();
    std::lock_guard<std::mutex> lock(tState.mutex);
    if (!tState.fKnown)
    {
        const char* pszRoot = getenv("QXZ_MACHINE_ROOT");
        std::string sRoot = AbsolutePath(pszRoot != nullptr && pszRoot[0] != '\0' ? pszRoot : DefaultRoot());
        while (sRoot.size() > 1 && sRoot.back() == '/')
            sRoot.pop_back();
        tState.sRoot = MakeDirectories(sRoot + "/drive_c/WINDOWS/SYSTEM32") ? sRoot : std::string();
        tState.fKnown = true;
    }
    return tState.sRoot;
}

void ResetMachineRootForTests()
{
    RootState& tState = Root();
    std::lock_guard<std::mutex> lock(tState.mutex);
    tState.fKnown = false;
    tState.sRoot.clear();
}

std::string MachineFile(const char* pszName)
{
    return MachineRoot() + "/" + pszName;
}

bool ToPosixPath(const char* pszWindowsPath, std::string* psPosixPath, DWORD* pdwError)
{
    if (pszWindowsPath == nullptr || pszWindowsPath[0] == '\0')
    {
        *pdwError = ERROR_PATH_NOT_FOUND;
        return false;
    }
    std::string sPath(pszWindowsPath);
    if (sPath.size() >= 2 && sPath[1] == ':')
    {
        char chDrive = static_cast<char>(sPath[0] & ~0x20);
        if (chDrive == 'C')
        {
            if (MachineRoot().empty())
            {
                *pdwError = ERROR_PATH_NOT_FOUND;
                return false;
            }
            *psPosixPath = MapComponents(MachineRoot() + "/drive_c", sPath.substr(2));
            return true;
        }
        if (chDrive == 'Z')
        {
            *psPosixPath = MapComponents("/", sPath.substr(2));
            return true;
        }
        *pdwError = ERROR_PATH_NOT_FOUND;
        return false;
    }
    if (sPath.size() >= 2 && (sPath[0] == '\\' || sPath[0] == '/') && (sPath[1] == '\\' || sPath[1] == '/'))
    {
        *pdwError = ERROR_BAD_NETPATH; // no network shares on this machine
        return false;
    }
    if (sPath[0] == '\\' || sPath[0] == '/')
    { // the root of the current drive, which is Z:
        *psPosixPath = MapComponents("/", sPath);
        return true;
    }
    for (char& ch : sPath)
    {
        if (ch == '\\')
            ch = '/';
    }
    *psPosixPath = sPath;
    return true;
}

std::string ToWindowsPath(const std::string& sPosixPath)
{
    std::string sWindows;
    if (!sPosixPath.empty() && sPosixPath[0] == '/')
    {
        const std::string sDriveC = MachineRoot().empty() ? std::string() : MachineRoot() + "/drive_c";
        if (!sDriveC.empty() && sPosixPath.compare(0, sDriveC.size(), sDriveC) == 0 &&
            (sPosixPath.size() == sDriveC.size() || sPosixPath[sDriveC.size()] == '/'))
        {
            sWindows = "C:" + sPosixPath.substr(sDriveC.size());
            if (sWindows.size() == 2)
                sWindows += '\\';
        }
        else
        {
            sWindows = "Z:" + sPosixPath;
        }
    }
    else
    {
        sWindows = sPosixPath;
    }
    for (char& ch : sWindows)
    {
        if (ch == '/')
            ch = '\\';
    }
    return sWindows;
}

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

bool FaultInjected(const char* pszCall, const char* pszName, DWORD* pdwCode)
{
    TraceCall(pszCall, pszName);
    const char* pszSpec = getenv("QXZ_FAULTS");
    if (pszSpec == nullptr || pszSpec[0] == '\0')
        return false;
    FaultState& tState = Faults();
    std::lock_guard<std::mutex> lock(tState.mutex);
    if (tState.sSpec != pszSpec)
    {
        tState.sSpec = pszSpec;
        ParseFaults(tState.sSpec, &tState.vRules);
    }
    for (FaultRule& tRule : tState.vRules)
    {
        if (tRule.sCall != pszCall)
            continue;
        if (!tRule.sName.empty() && !NameMatches(tRule.sName, pszName))
            continue;
        ++tRule.nSeen;
        if (tRule.nOrdinal != 0 && tRule.nSeen != tRule.nOrdinal)
            continue;
        *pdwCode = tRule.dwCode;
        return true;
    }
    return false;
}

bool ErrnoCallFaulted(const char* pszCall, const char* pszName)
{
    DWORD dwCode = 0;
    if (!FaultInjected(pszCall, pszName, &dwCode))
        return false;
    errno = static_cast<int>(dwCode);
    return true;
}

// ---- System calls -------------------------------------------------------------

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
};

// The one table of the layer's system calls: a fault is injected into one
// of them by its name here, and a test lists them from it.
constexpr SystemCallEntry kSystemCalls[] = {
    {SystemCall::Open, "open"},           {SystemCall::Close, "close"},         {SystemCall::Read, "read"},
    {SystemCall::Write, "write"},         {SystemCall::Fsync, "fsync"},         {SystemCall::Rename, "rename"},
    {SystemCall::Unlink, "unlink"},       {SystemCall::Mkdir, "mkdir"},         {SystemCall::Rmdir, "rmdir"},
    {SystemCall::Chmod, "chmod"},         {SystemCall::Link, "link"},           {SystemCall::Flock, "flock"},
    {SystemCall::Ftruncate, "ftruncate"}, {SystemCall::Fallocate, "fallocate"}, {SystemCall::Mmap, "mmap"},
    {SystemCall::Futimens, "futimens"},   {SystemCall::Lseek, "lseek"},         {SystemCall::Fcntl, "fcntl"},
    {SystemCall::Fstat, "fstat"},
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

// True (with errno set) when a fault is injected into this system call.
bool SysFault(SystemCall eCall, const char* pszName)
{
    return ErrnoCallFaulted(kSystemCalls[static_cast<size_t>(eCall)].pszName, pszName);
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
    if (SysFault(SystemCall::Open, pszPath))
        return -1;
    return open(pszPath, nFlags | O_CLOEXEC, nMode);
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
    if (SysFault(SystemCall::Read, nullptr))
        return -1;
    return read(fd, pBuffer, cb);
}

ssize_t SysWrite(int fd, const void* pBuffer, size_t cb, const char* pszPath)
{
    if (SysFault(SystemCall::Write, pszPath))
        return -1;
    return write(fd, pBuffer, cb);
}

int SysFsync(int fd)
{
    if (SysFault(SystemCall::Fsync, nullptr))
        return -1;
    return fsync(fd);
}

int SysRename(const char* pszFrom, const char* pszTo)
{
    if (SysFault(SystemCall::Rename, pszTo))
        return -1;
    return rename(pszFrom, pszTo);
}

int SysUnlink(const char* pszPath)
{
    if (SysFault(SystemCall::Unlink, pszPath))
        return -1;
    return unlink(pszPath);
}

int SysMkdir(const char* pszPath, mode_t nMode)
{
    if (SysFault(SystemCall::Mkdir, pszPath))
        return -1;
    return mkdir(pszPath, nMode);
}

int SysRmdir(const char* pszPath)
{
    if (SysFault(SystemCall::Rmdir, pszPath))
        return -1;
    return rmdir(pszPath);
}

int SysChmod(const char* pszPath, mode_t nMode)
{
    if (SysFault(SystemCall::Chmod, pszPath))
        return -1;
    return chmod(pszPath, nMode);
}

int SysLink(const char* pszExisting, const char* pszNew)
{
    if (SysFault(SystemCall::Link, pszNew))
        return -1;
    return link(pszExisting, pszNew);
}

int SysFlock(int fd, int nOperation)
{
    if (SysFault(SystemCall::Flock, nullptr))
        return -1;
    int nResult;
    do
    {
        nResult = flock(fd, nOperation);
    } while (nResult != 0 && errno == EINTR);
    return nResult;
}

int SysFtruncate(int fd, off_t cb)
{
    if (SysFault(SystemCall::Ftruncate, nullptr))
        return -1;
    return ftruncate(fd, cb);
}

int SysFallocate(int fd, off_t cb)
{
    if (SysFault(SystemCall::Fallocate, nullptr))
        return -1;
    int nError;
    do
    {
        nError = posix_fallocate(fd, 0, cb);
    } while (nError == EINTR);
    if (nError == 0)
        return 0;
    errno = nError; // posix_fallocate returns its error instead of setting errno
    return -1;
}

void* SysMmap(size_t cb, int nProt, int nFlags, int fd)
{
    if (SysFault(SystemCall::Mmap, nullptr))
        return MAP_FAILED;
    return mmap(nullptr, cb, nProt, nFlags, fd, 0);
}

int SysFutimens(int fd, const struct timespec atTimes[2])
{
    if (SysFault(SystemCall::Futimens, nullptr))
        return -1;
    return futimens(fd, atTimes);
}

off_t SysLseek(int fd, off_t nOffset, int nWhence)
{
    if (SysFault(SystemCall::Lseek, nullptr))
        return -1;
    return lseek(fd, nOffset, nWhence);
}

int SysFcntl(int fd, int nCommand, int nArgument)
{
    if (SysFault(SystemCall::Fcntl, nullptr))
        return -1;
    return fcntl(fd, nCommand, nArgument);
}

int SysFcntl(int fd, int nCommand, struct flock* pLock)
{
    if (SysFault(SystemCall::Fcntl, nullptr))
        return -1;
    return fcntl(fd, nCommand, pLock);
}

int SysFstat(int fd, struct stat* pStat)
{
    if (SysFault(SystemCall::Fstat, nullptr))
        return -1;
    return fstat(fd, pStat);
}

bool ReadWholeFile(const std::string& sPath, std::string* psContent)
{
    int fd = SysOpen(sPath.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    std::string sContent;
    char achBuffer[65536];
    for (;;)
    {
        ssize_t cbRead = SysRead(fd, achBuffer, sizeof achBuffer);
        if (cbRead < 0)
        {
            if (errno == EINTR)
                continue;
            int nErrno = errno;
            SysClose(fd);
            errno = nErrno;
            return false;
        }
        if (cbRead == 0)
            break;
        sContent.append(achBuffer, static_cast<size_t>(cbRead));
    }
    SysClose(fd);
    psContent->swap(sContent);
    return true;
}

namespace
{

bool WriteAll(int fd, const std::string& sContent)
{
    size_t cbDone = 0;
    while (cbDone < sContent.size())
    {
        ssize_t cbWritten = SysWrite(fd, sContent.data() + cbDone, sContent.size() - cbDone);
        if (cbWritten < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        cbDone += static_cast<size_t>(cbWritten);
    }
    return true;
}

std::string AsidePrefix(const std::string& sPath)
{
    return sPath + ".new.";
}

} // namespace

bool ReplaceFileAtomically(const std::string& sPath, const std::string& sContent)
{
    const std::string sAside = AsidePrefix(sPath) + std::to_string(getpid());
    int fd = SysOpen(sAside.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0)
        return false;
    // The space first: a full disk fails here, before a byte is written.
    bool fWritten = (sContent.empty() || SysFallocate(fd, static_cast<off_t>(sContent.size())) == 0) &&
                    WriteAll(fd, sContent) && SysFsync(fd) == 0;
    int nErrno = errno;
    if (SysClose(fd) != 0 && fWritten)
    {
        fWritten = false;
        nErrno = errno;
    }
    if (!fWritten || SysRename(sAside.c_str(), sPath.c_str()) != 0)
    {
        if (fWritten)
            nErrno = errno;
        SysUnlink(sAside.c_str());
        errno = nErrno;
        return false;
    }
    // Make the rename itself durable.
    size_t nSlash = sPath.rfind('/');
    std::string sDirectory = nSlash == std::string::npos ? "." : sPath.substr(0, nSlash == 0 ? 1 : nSlash);
    int fdDirectory = SysOpen(sDirectory.c_str(), O_RDONLY | O_DIRECTORY);
    if (fdDirectory >= 0)
    {
        SysFsync(fdDirectory);
        SysClose(fdDirectory);
    }
    return true;
}

int RemoveStaleAsideFiles(const std::string& sPath)
{
    const size_t nSlash = sPath.rfind('/');
    const std::string sDirectory = nSlash == std::string::npos ? "." : sPath.substr(0, nSlash == 0 ? 1 : nSlash);
    const std::string sPrefix = AsidePrefix(sPath.substr(nSlash + 1));
    DIR* pDir = opendir(sDirectory.c_str());
    if (pDir == nullptr)
        return 0;
    std::vector<std::string> vStale;
    while (const struct dirent* pEntry = readdir(pDir))
    {
        const std::string sName = pEntry->d_name;
        if (sName.compare(0, sPrefix.size(), sPrefix) != 0)
            continue;
        const std::string sPid = sName.substr(sPrefix.size());
        if (sPid.empty() || sPid.size() > 9 || sPid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string sAside = sDirectory + "/" + sName;
        struct stat tStat;
        if (lstat(sAside.c_str(), &tStat) != 0)
            continue;
        if (!IsProcessRunningSince(static_cast<int32_t>(std::stoi(sPid)), tStat.st_mtim))
            vStale.push_back(sAside);
    }
    closedir(pDir);
    int nRemoved = 0;
    for (const std::string& sAside : vStale)
        nRemoved += SysUnlink(sAside.c_str()) == 0 ? 1 : 0;
    return nRemoved;
}

// ---- Handles ----------------------------------------------------------------

HANDLE NewHandle(std::unique_ptr<HandleObject> pObject)
{
    HandleTable& tTable = Handles();
    std::lock_guard<std::mutex> lock(tTable.mutex);
    uintptr_t nHandle = tTable.nNextHandle;
    tTable.nNextHandle += 4;
    tTable.mapHandles.emplace(nHandle, std::move(pObject));
    return reinterpret_cast<HANDLE>(nHandle);
}

HandleObject* LookupHandle(HANDLE hObject)
{
    HandleTable& tTable = Handles();
    std::lock_guard<std::mutex> lock(tTable.mutex);
    auto it = tTable.mapHandles.find(reinterpret_cast<uintptr_t>(hObject));
    return it == tTable.mapHandles.end() ? nullptr : it->second.get();
}

HandleObject* LookupHandle(HANDLE hObject, HandleKind eKind)
{
    HandleObject* pObject = LookupHandle(hObject);
    return pObject != nullptr && pObject->Kind() == eKind ? pObject : nullptr;
}

bool ReleaseHandle(HANDLE hObject)
{
    std::unique_ptr<HandleObject> pObject;
    {
        HandleTable& tTable = Handles();
        std::lock_guard<std::mutex> lock(tTable.mutex);
        auto it = tTable.mapHandles.find(reinterpret_cast<uintptr_t>(hObject));
        if (it == tTable.mapHandles.end())
            return false;
        pObject = std::move(it->second);
        tTable.mapHandles.erase(it);
    }
    // Destroyed outside the lock: closing a thread or process handle may wait.
    pObject.reset();
    return true;
}

} // namespace qxz::posix

// ---- Win32 calls of the core ----------------------------------------------------

using namespace qxz::posix;

extern "C" {

DWORD WINAPI GetLastError(void)
{
    return t_dwLastError;
}

void WINAPI SetLastError(DWORD dwErrCode)
{
    t_dwLastError = dwErrCode;
}

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    if (CallFaulted("CloseHandle", nullptr))
        return FALSE;
    if (!ReleaseHandle(hObject))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetCurrentProcessId(void)
{
    return static_cast<DWORD>(getpid());
}

DWORD WINAPI GetTickCount(void)
{
    struct timespec tNow;
    clock_gettime(CLOCK_MONOTONIC, &tNow);
    return static_cast<DWORD>(static_cast<uint64_t>(tNow.tv_sec) * 1000u +
                              static_cast<uint64_t>(tNow.tv_nsec) / 1000000u);
}

void WINAPI Sleep(DWORD dwMilliseconds)
{
    struct timespec tDelay;
    tDelay.tv_sec = static_cast<time_t>(dwMilliseconds / 1000u);
    tDelay.tv_nsec = static_cast<long>(dwMilliseconds % 1000u) * 1000000L;
    while (nanosleep(&tDelay, &tDelay) != 0 && errno == EINTR)
    {
    }
}

} // extern "C"
