#include "platform/posix/machine/handles.h"

#include <cstdint>
#include <map>
#include <mutex>

#include "platform/posix/machine/call_steps.h"
#include "platform/posix/machine/layer_state.h"

namespace qxz::posix
{

namespace
{

struct HandleTable
{
    std::mutex mutex;
    std::map<uintptr_t, std::unique_ptr<HandleObject>> mapHandles;
    uintptr_t nNextHandle = 0x1000;
};
HandleTable& Handles()
{
    return LayerState<HandleTable>();
}

} // namespace

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

using namespace qxz::posix;

extern "C" {

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

} // extern "C"
