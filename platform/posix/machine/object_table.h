// The machine's table of kernel objects (events and mutexes): a file in the
// machine root that every process maps shared. An object lives while some
// process holds a handle to it; one pool of holders, shared by every object,
// counts each process's handles to each object, and the counts of processes
// that have ended are dropped whenever the table is used, so that a crashed
// process keeps nothing alive. It holds 1,024 objects and 4,096 holders.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_OBJECT_TABLE_H
#define QXZ_PLATFORM_POSIX_MACHINE_OBJECT_TABLE_H

#include <cstdint>
#include <functional>
#include <string>

#include "platform/posix/machine/shared_sync.h"

namespace qxz::posix
{

enum class ObjectKind : uint32_t
{
    Event = 1,
    Mutex = 2
};

struct ObjectState
{
    SharedMutex tMutex;
    SharedEvent tEvent;
};

struct TableMemory;

class ObjectTable
{
public:
    // The table of the current machine root, mapped once per process. Null
    // with the last error set when it cannot be opened.
    static ObjectTable* OfMachine();

    enum class Outcome
    {
        Created,
        Opened,
        NotFound,
        OtherKind,
        Full
    };

    // Takes a handle's reference to the object of that kind and name (an
    // empty name is an unnamed object, which is always new). A missing object
    // is created when fCreate, its state set by fnInit while no other thread
    // can see it yet. Full when no slot or no holder is left.
    Outcome Acquire(ObjectKind eKind, const std::string& sName, bool fCreate,
                    const std::function<void(ObjectState*)>& fnInit, uint32_t* pnSlot);

    // Gives a handle's reference back; the object goes when it was the last.
    void Release(uint32_t nSlot);

    ObjectState* State(uint32_t nSlot);

private:
    explicit ObjectTable(TableMemory* pMemory) : m_pMemory(pMemory)
    {
    }

    TableMemory* m_pMemory;
};

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_OBJECT_TABLE_H
