// The handles of kernel objects as one process sees them.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_HANDLES_H
#define QXZ_PLATFORM_POSIX_MACHINE_HANDLES_H

#include <memory>

#include "platform/win32.h"

namespace qxz::posix
{

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

#endif // QXZ_PLATFORM_POSIX_MACHINE_HANDLES_H
