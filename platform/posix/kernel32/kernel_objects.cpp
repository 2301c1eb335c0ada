// Named and unnamed events and mutexes: CreateEventA, OpenEventA, SetEvent,
// ResetEvent, CreateMutexA, OpenMutexA, ReleaseMutex. The objects live in
// the machine's shared object table; a handle holds one reference to one.
#include <functional>
#include <memory>
#include <string>

#include "platform/posix/machine/call_steps.h"
#include "platform/posix/machine/handles.h"
#include "platform/posix/machine/object_names.h"
#include "platform/posix/machine/object_table.h"
#include "platform/posix/machine/waitable.h"

using namespace qxz::posix;

namespace
{

class SharedObjectHandle : public WaitableObject
{
public:
    SharedObjectHandle(HandleKind eKind, ObjectTable* pTable, uint32_t nSlot)
        : WaitableObject(eKind), m_pTable(pTable), m_nSlot(nSlot)
    {
    }
    ~SharedObjectHandle() override
    {
        m_pTable->Release(m_nSlot);
    }

    ObjectState* State() const
    {
        return m_pTable->State(m_nSlot);
    }

private:
    ObjectTable* m_pTable;
    uint32_t m_nSlot;
};

class EventHandle : public SharedObjectHandle
{
public:
    EventHandle(ObjectTable* pTable, uint32_t nSlot) : SharedObjectHandle(HandleKind::Event, pTable, nSlot)
    {
    }
    DWORD Wait(const WaitDeadline& tDeadline) override
    {
        return WaitSharedEvent(&State()->tEvent, tDeadline);
    }
};

class MutexHandle : public SharedObjectHandle
{
public:
    MutexHandle(ObjectTable* pTable, uint32_t nSlot) : SharedObjectHandle(HandleKind::Mutex, pTable, nSlot)
    {
    }
    DWORD Wait(const WaitDeadline& tDeadline) override
    {
        return WaitSharedMutex(&State()->tMutex, tDeadline);
    }
};

ObjectKind KindOf(HandleKind eKind)
{
    return eKind == HandleKind::Event ? ObjectKind::Event : ObjectKind::Mutex;
}

std::unique_ptr<HandleObject> NewObjectHandle(HandleKind eKind, ObjectTable* pTable, uint32_t nSlot)
{
    if (eKind == HandleKind::Event)
        return std::make_unique<EventHandle>(pTable, nSlot);
    return std::make_unique<MutexHandle>(pTable, nSlot);
}

// What Create and Open share. Create makes an unnamed object for no name (or
// an empty one) and reports in the last error whether a named one existed;
// Open leaves the last error alone when it succeeds.
HANDLE CreateOrOpen(const char* pszCall, HandleKind eKind, LPCSTR lpName, bool fCreate,
                    const std::function<void(ObjectState*)>& fnInit)
{
    if (CallFaulted(pszCall, lpName))
        return nullptr;
    std::string sKey;
    if (lpName == nullptr || lpName[0] == '\0')
    {
        if (!fCreate)
        {
            // No name is a bad argument; an empty one names the directory of
            // objects, which is not an object of this kind.
            SetLastError(lpName == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
            return nullptr;
        }
    }
    else
    {
        DWORD dwError = ERROR_SUCCESS;
        if (!ObjectNameKey(lpName, &sKey, &dwError))
        {
            SetLastError(dwError);
            return nullptr;
        }
    }
    ObjectTable* pTable = ObjectTable::OfMachine();
    if (pTable == nullptr)
        return nullptr;
    uint32_t nSlot = 0;
    switch (pTable->Acquire(KindOf(eKind), sKey, fCreate, fnInit, &nSlot))
    {
        case ObjectTable::Outcome::Created: SetLastError(ERROR_SUCCESS); break;
        case ObjectTable::Outcome::Opened:
            if (fCreate)
                SetLastError(ERROR_ALREADY_EXISTS);
            break;
        case ObjectTable::Outcome::NotFound: SetLastError(ERROR_FILE_NOT_FOUND); return nullptr;
        case ObjectTable::Outcome::OtherKind: SetLastError(ERROR_INVALID_HANDLE); return nullptr;
        case ObjectTable::Outcome::Full: SetLastError(ERROR_NO_SYSTEM_RESOURCES); return nullptr;
    }
    return NewHandle(NewObjectHandle(eKind, pTable, nSlot));
}

template <typename Handle>
Handle* LookupObject(HANDLE hObject, HandleKind eKind)
{
    Handle* pObject = static_cast<Handle*>(LookupHandle(hObject, eKind));
    if (pObject == nullptr)
        SetLastError(ERROR_INVALID_HANDLE);
    return pObject;
}

} // namespace

extern "C" {

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                           LPCSTR lpName)
{
    (void)lpEventAttributes; // handles are not inherited here
    return CreateOrOpen("CreateEventA", HandleKind::Event, lpName, true, [&](ObjectState* pState) {
        InitSharedEvent(&pState->tEvent, bManualReset != FALSE, bInitialState != FALSE);
    });
}

HANDLE WINAPI OpenEventA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName)
{
    (void)dwDesiredAccess; // every handle has every right
    (void)bInheritHandle;
    return CreateOrOpen("OpenEventA", HandleKind::Event, lpName, false, nullptr);
}

BOOL WINAPI SetEvent(HANDLE hEvent)
{
    if (CallFaulted("SetEvent", nullptr))
        return FALSE;
    auto* pEvent = LookupObject<EventHandle>(hEvent, HandleKind::Event);
    if (pEvent == nullptr)
        return FALSE;
    SetSharedEvent(&pEvent->State()->tEvent);
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent)
{
    if (CallFaulted("ResetEvent", nullptr))
        return FALSE;
    auto* pEvent = LookupObject<EventHandle>(hEvent, HandleKind::Event);
    if (pEvent == nullptr)
        return FALSE;
    ResetSharedEvent(&pEvent->State()->tEvent);
    return TRUE;
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName)
{
    (void)lpMutexAttributes;
    // Ownership is taken only by the call that creates the mutex, before any
    // other thread can see it.
    return CreateOrOpen("CreateMutexA", HandleKind::Mutex, lpName, true, [&](ObjectState* pState) {
        InitSharedMutex(&pState->tMutex);
        if (bInitialOwner)
            WaitSharedMutex(&pState->tMutex, WaitDeadline(0));
    });
}

HANDLE WINAPI OpenMutexA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName)
{
    (void)dwDesiredAccess;
    (void)bInheritHandle;
    return CreateOrOpen("OpenMutexA", HandleKind::Mutex, lpName, false, nullptr);
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex)
{
    if (CallFaulted("ReleaseMutex", nullptr))
        return FALSE;
    auto* pMutex = LookupObject<MutexHandle>(hMutex, HandleKind::Mutex);
    if (pMutex == nullptr)
        return FALSE;
    if (!ReleaseSharedMutex(&pMutex->State()->tMutex))
    {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}

} // extern "C"
