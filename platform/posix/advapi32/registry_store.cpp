#include "platform/posix/advapi32/registry_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "platform/posix/machine/atomic_file.h"
#include "platform/posix/machine/layer_state.h"
#include "platform/posix/machine/lock_holder.h"
#include "platform/posix/machine/machine_root.h"
#include "platform/posix/machine/system_calls.h"
#include "regtext/reg_text.h"

namespace qxz::posix
{

namespace
{

constexpr char kRegistryFileName[] = "registry.reg";
constexpr char kLockFileName[] = "registry.lock";

// A fresh installation: the spooler's local ports and its local port monitor.
constexpr char kFreshRegistry[] =
    "REGEDIT4\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Ports]\n"
    "\"COM1:\"=\"9600,n,8,1\"\n"
    "\"COM2:\"=\"9600,n,8,1\"\n"
    "\"COM3:\"=\"9600,n,8,1\"\n"
    "\"COM4:\"=\"9600,n,8,1\"\n"
    "\"FILE:\"=\"\"\n"
    "\"LPT1:\"=\"\"\n"
    "\"LPT2:\"=\"\"\n"
    "\"LPT3:\"=\"\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Local Port]\n"
    "\"Driver\"=\"localspl.dll\"\n";

// How long a call waits for the registry's lock: a writer stopped (or hung)
// while it holds the lock must not stop every other process for good.
constexpr unsigned long kDefaultLockWaitMs = 30000;
constexpr char kLockWaitVariable[] = "QXZ_REGISTRY_LOCK_TIMEOUT_MS";

unsigned long LockWaitMs()
{
    const char* pszWait = getenv(kLockWaitVariable);
    if (pszWait == nullptr || pszWait[0] < '0' || pszWait[0] > '9')
        return kDefaultLockWaitMs;
    return strtoul(pszWait, nullptr, 10);
}

// The holder of the lock that a wait of this process last gave up on. A
// holder that does not let go within a whole wait is stuck (stopped, or
// hung): a later call that finds the same process holding the lock fails at
// once, so that a run waits for one stuck holder once, not once per call.
struct StuckHolder
{
    std::mutex mutex;
    bool fKnown = false;
    ProcessIdentity tHolder{};
};

StuckHolder& LastStuckHolder()
{
    return LayerState<StuckHolder>();
}

bool IsStuckHolder(int fd)
{
    ProcessIdentity tHolder;
    if (!WholeFileLockHolder(fd, &tHolder))
        return false;
    StuckHolder& tStuck = LastStuckHolder();
    std::lock_guard<std::mutex> lock(tStuck.mutex);
    return tStuck.fKnown && SameProcess(tStuck.tHolder, tHolder);
}

void RememberStuckHolder(int fd)
{
    ProcessIdentity tHolder;
    const bool fKnown = WholeFileLockHolder(fd, &tHolder);
    StuckHolder& tStuck = LastStuckHolder();
    std::lock_guard<std::mutex> lock(tStuck.mutex);
    tStuck.fKnown = fKnown;
    tStuck.tHolder = tHolder;
}

// Takes the lock without blocking, again and again, waiting a little longer
// each time, until the wait is over. The error once it is over: another
// process holds the lock on the registry file, which is what
// ERROR_LOCK_VIOLATION says (ERROR_TIMEOUT would hide who is in the way).
LONG TakeLockWithin(int fd, unsigned long ulWaitMs)
{
    const DWORD dwStart = GetTickCount();
    DWORD dwPauseMs = 1;
    for (bool fFirst = true;; fFirst = false)
    {
        if (SysFlock(fd, LOCK_EX | LOCK_NB) == 0)
            return ERROR_SUCCESS;
        if (errno != EWOULDBLOCK)
            return ERROR_CANTOPEN;
        if (fFirst && IsStuckHolder(fd))
            return ERROR_LOCK_VIOLATION;
        const DWORD dwWaited = GetTickCount() - dwStart;
        if (dwWaited >= ulWaitMs)
        {
            RememberStuckHolder(fd);
            return ERROR_LOCK_VIOLATION;
        }
        Sleep(std::min<DWORD>(dwPauseMs, static_cast<DWORD>(ulWaitMs - dwWaited)));
        dwPauseMs = std::min<DWORD>(dwPauseMs * 2, 32);
    }
}

// Holds the registry's lock file locked for the life of the object: the
// lock of the writers, which readers never take. The holder first removes
// the copies of the registry that killed writers left aside.
class RegistryLock
{
public:
    RegistryLock()
    {
        if (MachineRoot().empty())
            return;
        m_fd = SysOpen(MachineFile(kLockFileName).c_str(), O_RDWR | O_CREAT, 0666);
        if (m_fd < 0)
            return;
        m_lError = TakeLockWithin(m_fd, LockWaitMs());
        if (m_lError != ERROR_SUCCESS)
        {
            SysClose(m_fd);
            m_fd = -1;
            return;
        }
        RemoveStaleAsideFiles(RegistryFilePath());
    }
    ~RegistryLock()
    {
        if (m_fd >= 0)
            SysClose(m_fd);
    }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;

    // ERROR_SUCCESS while the lock is held, else why it is not.
    LONG Error() const
    {
        return m_lError;
    }

private:
    int m_fd = -1;
    LONG m_lError = ERROR_CANTOPEN;
};

enum class LoadResult
{
    Loaded,
    Missing,
    Failed
};

// Loads the registry file into *pTop; on failure *plError says why.
LoadResult LoadRegistry(RegistryKey* pTop, LONG* plError)
{
    std::string sText;
    if (!ReadWholeFile(RegistryFilePath(), &sText))
    {
        if (errno == ENOENT)
            return LoadResult::Missing;
        *plError = ERROR_CANTREAD;
        return LoadResult::Failed;
    }
    RegTextKeys keys;
    std::string sError;
    if (!ParseRegText(sText, &keys, &sError) || !BuildRegistryTree(keys, pTop, &sError))
    {
        *plError = ERROR_BADDB;
        return LoadResult::Failed;
    }
    return LoadResult::Loaded;
}

void LoadFreshRegistry(RegistryKey* pTop)
{
    RegTextKeys keys;
    std::string sError;
    ParseRegText(kFreshRegistry, &keys, &sError);
    BuildRegistryTree(keys, pTop, &sError);
}

bool SaveRegistry(const RegistryKey& top)
{
    return ReplaceFileAtomically(RegistryFilePath(), FormatRegText(RegistryTreeAsText(top)));
}

// Which version of the registry file a parsed tree came from. Every change
// replaces the file by a new one, so a file that still has the same
// identity, size and times holds the same text.
struct FileVersion
{
    std::string sPath;
    dev_t nDevice = 0;
    ino_t nInode = 0;
    off_t cbSize = 0;
    timespec tModified{};
    timespec tChanged{};

    bool operator==(const FileVersion& other) const
    {
        return sPath == other.sPath && nDevice == other.nDevice && nInode == other.nInode && cbSize == other.cbSize &&
               tModified.tv_sec == other.tModified.tv_sec && tModified.tv_nsec == other.tModified.tv_nsec &&
               tChanged.tv_sec == other.tChanged.tv_sec && tChanged.tv_nsec == other.tChanged.tv_nsec;
    }
};

bool CurrentFileVersion(const std::string& sPath, FileVersion* pVersion)
{
    struct stat tStat;
    if (stat(sPath.c_str(), &tStat) != 0)
        return false;
    *pVersion = FileVersion{sPath, tStat.st_dev, tStat.st_ino, tStat.st_size, tStat.st_mtim, tStat.st_ctim};
    return true;
}

// The tree last read, so that a run of reads (a key's values enumerated
// one by one) parses the file once instead of once per call.
struct ReadCache
{
    std::mutex mutex;
    FileVersion version;
    std::unique_ptr<RegistryKey> pTop;
};

ReadCache& LastRead()
{
    return LayerState<ReadCache>();
}

} // namespace

std::string RegistryFilePath()
{
    return MachineFile(kRegistryFileName);
}

LONG ReadRegistry(const std::function<LONG(RegistryKey* pTop)>& fnRead)
{
    {
        // No lock: every change replaces the file whole, so the file read is
        // always one writer's complete text. The version is looked at before
        // the file is opened, so a cached tree is never older than its
        // version says.
        ReadCache& cache = LastRead();
        std::lock_guard<std::mutex> cacheLock(cache.mutex);
        FileVersion version;
        if (CurrentFileVersion(RegistryFilePath(), &version) && cache.pTop && version == cache.version)
        {
            return fnRead(cache.pTop.get());
        }
        auto pTop = std::make_unique<RegistryKey>();
        LONG lError = ERROR_SUCCESS;
        switch (LoadRegistry(pTop.get(), &lError))
        {
            case LoadResult::Loaded:
                cache.version = version;
                cache.pTop = std::move(pTop);
                return fnRead(cache.pTop.get());
            case LoadResult::Failed: return lError;
            case LoadResult::Missing: break;
        }
    }
    // The first use of a machine writes its fresh registry.
    return ChangeRegistry([&](RegistryKey* pTop, bool*) { return fnRead(pTop); });
}

LONG ChangeRegistry(const std::function<LONG(RegistryKey* pTop, bool* pfChanged)>& fnChange)
{
    RegistryLock lock;
    if (lock.Error() != ERROR_SUCCESS)
        return lock.Error();
    RegistryKey top;
    LONG lError = ERROR_SUCCESS;
    LoadResult eLoad = LoadRegistry(&top, &lError);
    if (eLoad == LoadResult::Failed)
        return lError;
    if (eLoad == LoadResult::Missing)
    {
        LoadFreshRegistry(&top);
        if (!SaveRegistry(top))
            return ERROR_CANTWRITE;
    }
    bool fChanged = false;
    LONG lResult = fnChange(&top, &fChanged);
    if (lResult == ERROR_SUCCESS && fChanged && !SaveRegistry(top))
        return ERROR_CANTWRITE;
    return lResult;
}

LONG FlushRegistry()
{
    for (const std::string& sPath : {RegistryFilePath(), MachineRoot()})
    {
        int fd = SysOpen(sPath.c_str(), O_RDONLY);
        if (fd < 0)
            return errno == ENOENT ? ERROR_SUCCESS : ERROR_CANTWRITE;
        bool fSynced = SysFsync(fd) == 0;
        SysClose(fd);
        if (!fSynced)
            return ERROR_CANTWRITE;
    }
    return ERROR_SUCCESS;
}

} // namespace qxz::posix
