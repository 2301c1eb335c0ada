// The shared table of kernel objects.
#include "platform/posix/machine/object_table.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/posix/machine/host_files.h"
#include "platform/posix/machine/last_error.h"
#include "platform/posix/machine/layer_state.h"
#include "platform/posix/machine/machine_root.h"
#include "platform/posix/machine/process_identity.h"
#include "platform/posix/machine/system_calls.h"

namespace qxz::posix
{

namespace
{

// The layout is in the name, so that a program built with another layout
// never maps this one.
constexpr char kTableFileName[] = "kernel-objects-v2";
constexpr uint64_t kTableMagic = 0x324a424f4b5a5851; // "QXZKOBJ2"
// Named objects at once, and handles of processes to them: one pool of
// holders for every object, so that one object may be held by a thousand
// processes without every slot reserving room for as many. About 420 KiB
// on the disk, taken before the table is mapped.
constexpr size_t kSlotCount = 1024;
constexpr size_t kHolderCount = 4096;
constexpr size_t kBootIdSize = 40;

} // namespace

enum class SlotState : uint32_t
{
    Free = 0,
    Live = 1,
    Deleted = 2
};

// The handles that one process holds to one object; free when it holds none.
struct ObjectHolder
{
    ProcessIdentity tProcess;
    uint32_t nSlot;
    uint32_t nHandles;
};

// A Deleted slot has lost its name and its last handle while a live thread
// still owns its mutex; it is free again once that thread lets go.
struct ObjectSlot
{
    SlotState eState;
    ObjectKind eKind;
    char szName[MAX_PATH + 1];
    ObjectState tState;
};

struct TableMemory
{
    uint64_t nMagic;
    // The table of an earlier boot is started afresh: the processes that
    // held its objects are gone without the kernel having released anything.
    char szBootId[kBootIdSize];
    pthread_mutex_t tLock;
    ObjectSlot aSlots[kSlotCount];
    ObjectHolder aHolders[kHolderCount];
};

namespace
{

std::string CurrentBootId()
{
    std::string sText;
    if (!ReadHostFile("/proc/sys/kernel/random/boot_id", kBootIdSize - 1, &sText))
        return std::string();
    return sText.substr(0, strcspn(sText.c_str(), "\n"));
}

void InitRobustLock(pthread_mutex_t* pLock)
{
    pthread_mutexattr_t tAttributes;
    pthread_mutexattr_init(&tAttributes);
    pthread_mutexattr_setpshared(&tAttributes, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&tAttributes, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(pLock, &tAttributes);
    pthread_mutexattr_destroy(&tAttributes);
}

// Called under the file lock, before any other process can use the table.
void StartTableIfStale(TableMemory* pMemory)
{
    const std::string sBootId = CurrentBootId();
    if (pMemory->nMagic == kTableMagic &&
        sBootId == std::string(pMemory->szBootId, strnlen(pMemory->szBootId, kBootIdSize)))
    {
        return;
    }
    memset(static_cast<void*>(pMemory), 0, sizeof *pMemory);
    memcpy(pMemory->szBootId, sBootId.data(), std::min(sBootId.size(), kBootIdSize - 1));
    InitRobustLock(&pMemory->tLock);
    pMemory->nMagic = kTableMagic;
}

TableMemory* MapTable(const std::string& sPath)
{
    int fd = SysOpen(sPath.c_str(), O_RDWR | O_CREAT, 0666);
    if (fd < 0)
        return nullptr;
    void* pMapped = MAP_FAILED;
    if (SysFlock(fd, LOCK_EX) == 0)
    {
        // The table's pages are taken on the disk before it is mapped: a page
        // that a full disk cannot supply would kill the process at its first
        // touch, where now the call that needs the table fails.
        if (SysFallocate(fd, sizeof(TableMemory)) == 0)
        {
            pMapped = SysMmap(sizeof(TableMemory), PROT_READ | PROT_WRITE, MAP_SHARED, fd);
            if (pMapped != MAP_FAILED)
                StartTableIfStale(static_cast<TableMemory*>(pMapped));
        }
        int nErrno = errno;
        SysFlock(fd, LOCK_UN);
        errno = nErrno;
    }
    int nErrno = errno;
    SysClose(fd);
    errno = nErrno;
    return pMapped == MAP_FAILED ? nullptr : static_cast<TableMemory*>(pMapped);
}

class TableLock
{
public:
    explicit TableLock(TableMemory* pMemory) : m_pLock(&pMemory->tLock)
    {
        // A process that died while it held the lock may have left one slot
        // half written; the table as a whole is still usable.
        if (pthread_mutex_lock(m_pLock) == EOWNERDEAD)
            pthread_mutex_consistent(m_pLock);
    }
    ~TableLock()
    {
        pthread_mutex_unlock(m_pLock);
    }
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;

private:
    pthread_mutex_t* m_pLock;
};

uint32_t SlotIndex(const TableMemory* pMemory, const ObjectSlot* pSlot)
{
    return static_cast<uint32_t>(pSlot - pMemory->aSlots);
}

bool SlotHeld(const TableMemory* pMemory, uint32_t nSlot)
{
    for (const ObjectHolder& tHolder : pMemory->aHolders)
    {
        if (tHolder.nHandles != 0 && tHolder.nSlot == nSlot)
            return true;
    }
    return false;
}

// The holder of this process's handles to a slot, or null.
ObjectHolder* FindHolder(TableMemory* pMemory, uint32_t nSlot, const ProcessIdentity& tSelf)
{
    for (ObjectHolder& tHolder : pMemory->aHolders)
    {
        if (tHolder.nHandles != 0 && tHolder.nSlot == nSlot && SameProcess(tHolder.tProcess, tSelf))
            return &tHolder;
    }
    return nullptr;
}

ObjectHolder* FindFreeHolder(TableMemory* pMemory)
{
    for (ObjectHolder& tHolder : pMemory->aHolders)
    {
        if (tHolder.nHandles == 0)
            return &tHolder;
    }
    return nullptr;
}

void AddHandle(ObjectHolder* pHolder, uint32_t nSlot, const ProcessIdentity& tSelf)
{
    if (pHolder->nHandles == 0)
    {
        pHolder->tProcess = tSelf;
        pHolder->nSlot = nSlot;
    }
    ++pHolder->nHandles;
}

void RetireSlot(ObjectSlot* pSlot)
{
    pSlot->szName[0] = '\0';
    bool fMutexHeld = pSlot->eKind == ObjectKind::Mutex && !DiscardSharedMutex(&pSlot->tState.tMutex);
    pSlot->eState = fMutexHeld ? SlotState::Deleted : SlotState::Free;
}

// Drops the handles of processes that have ended, deletes the objects that
// were left without one, and frees deleted mutexes that nobody owns now.
void DropEndedProcesses(TableMemory* pMemory, const ProcessIdentity& tSelf)
{
    for (ObjectSlot& tSlot : pMemory->aSlots)
    {
        if (tSlot.eState == SlotState::Deleted && DiscardSharedMutex(&tSlot.tState.tMutex))
            tSlot.eState = SlotState::Free;
    }
    for (ObjectHolder& tHolder : pMemory->aHolders)
    {
        if (tHolder.nHandles == 0 || SameProcess(tHolder.tProcess, tSelf) || IsProcessRunning(tHolder.tProcess))
            continue;
        tHolder.nHandles = 0;
        if (tHolder.nSlot < kSlotCount)
        {
            ObjectSlot& tSlot = pMemory->aSlots[tHolder.nSlot];
            if (tSlot.eState == SlotState::Live && !SlotHeld(pMemory, tHolder.nSlot))
                RetireSlot(&tSlot);
        }
    }
}

ObjectSlot* FindNamed(TableMemory* pMemory, const std::string& sName)
{
    for (ObjectSlot& tSlot : pMemory->aSlots)
    {
        if (tSlot.eState == SlotState::Live && strnlen(tSlot.szName, sizeof tSlot.szName) == sName.size() &&
            memcmp(tSlot.szName, sName.data(), sName.size()) == 0)
        {
            return &tSlot;
        }
    }
    return nullptr;
}

ObjectSlot* FindFree(TableMemory* pMemory)
{
    for (ObjectSlot& tSlot : pMemory->aSlots)
    {
        if (tSlot.eState == SlotState::Free)
            return &tSlot;
    }
    return nullptr;
}

struct Tables
{
    std::mutex mutex;
    std::map<std::string, std::unique_ptr<ObjectTable>> mapTables;
};
// Handles still open at exit give their references back through it.
Tables& AllTables()
{
    return LayerState<Tables>();
}

} // namespace

ObjectTable* ObjectTable::OfMachine()
{
    const std::string& sRoot = MachineRoot();
    if (sRoot.empty())
    {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    Tables& tTables = AllTables();
    std::lock_guard<std::mutex> lock(tTables.mutex);
    auto it = tTables.mapTables.find(sRoot);
    if (it != tTables.mapTables.end())
        return it->second.get();
    // Mapped once per process and never unmapped: a thread that owns a mutex
    // keeps its address on the kernel's list of robust mutexes.
    TableMemory* pMemory = MapTable(MachineFile(kTableFileName));
    if (pMemory == nullptr)
    {
        SetLastError(ErrorFromErrno(errno));
        return nullptr;
    }
    std::unique_ptr<ObjectTable> pTable(new ObjectTable(pMemory));
    ObjectTable* pResult = pTable.get();
    tTables.mapTables.emplace(sRoot, std::move(pTable));
    return pResult;
}

ObjectTable::Outcome ObjectTable::Acquire(ObjectKind eKind, const std::string& sName, bool fCreate,
                                          const std::function<void(ObjectState*)>& fnInit, uint32_t* pnSlot)
{
    const ProcessIdentity tSelf = CurrentProcessIdentity();
    TableLock lock(m_pMemory);
    DropEndedProcesses(m_pMemory, tSelf);
    ObjectSlot* pSlot = sName.empty() ? nullptr : FindNamed(m_pMemory, sName);
    if (pSlot != nullptr)
    {
        if (pSlot->eKind != eKind)
            return Outcome::OtherKind;
        const uint32_t nSlot = SlotIndex(m_pMemory, pSlot);
        ObjectHolder* pHolder = FindHolder(m_pMemory, nSlot, tSelf);
        if (pHolder == nullptr)
            pHolder = FindFreeHolder(m_pMemory);
        if (pHolder == nullptr)
            return Outcome::Full;
        AddHandle(pHolder, nSlot, tSelf);
        *pnSlot = nSlot;
        return Outcome::Opened;
    }
    if (!fCreate)
        return Outcome::NotFound;
    pSlot = FindFree(m_pMemory);
    ObjectHolder* pHolder = pSlot == nullptr ? nullptr : FindFreeHolder(m_pMemory);
    if (pHolder == nullptr || sName.size() >= sizeof pSlot->szName)
        return Outcome::Full;
    memset(static_cast<void*>(pSlot), 0, sizeof *pSlot);
    pSlot->eKind = eKind;
    memcpy(pSlot->szName, sName.c_str(), sName.size() + 1);
    fnInit(&pSlot->tState);
    const uint32_t nSlot = SlotIndex(m_pMemory, pSlot);
    AddHandle(pHolder, nSlot, tSelf);
    pSlot->eState = SlotState::Live;
    *pnSlot = nSlot;
    return Outcome::Created;
}

void ObjectTable::Release(uint32_t nSlot)
{
    const ProcessIdentity tSelf = CurrentProcessIdentity();
    TableLock lock(m_pMemory);
    ObjectHolder* pHolder = FindHolder(m_pMemory, nSlot, tSelf);
    if (pHolder != nullptr && --pHolder->nHandles == 0 && !SlotHeld(m_pMemory, nSlot))
        RetireSlot(&m_pMemory->aSlots[nSlot]);
    DropEndedProcesses(m_pMemory, tSelf);
}

ObjectState* ObjectTable::State(uint32_t nSlot)
{
    return &m_pMemory->aSlots[nSlot].tState;
}

} // namespace qxz::posix
