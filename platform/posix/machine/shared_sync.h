// The synchronisation state of a named event or mutex, as it lies in memory
// shared by every process of the machine, and the operations on it.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_SHARED_SYNC_H
#define QXZ_PLATFORM_POSIX_MACHINE_SHARED_SYNC_H

#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "platform/posix/machine/waitable.h"

namespace qxz::posix
{

// A Windows mutex: a process-shared, robust, recursive pthread mutex. Robust,
// so that the kernel marks it when its owner thread ends without releasing
// it and the next waiter learns that it was abandoned.
struct SharedMutex
{
    pthread_mutex_t tMutex;
};

// A Windows event: one state word that waiters sleep on with a futex. A
// futex, not a process-shared condition variable: a process killed while it
// waits leaves a condition variable unusable for the others.
struct SharedEvent
{
    std::atomic<uint32_t> nSignalled;
    uint32_t fManualReset;
};

void InitSharedMutex(SharedMutex* pMutex);
// WAIT_OBJECT_0 (owned, once more if already owned), WAIT_ABANDONED (owned,
// after an owner that ended without releasing it), WAIT_TIMEOUT, or
// WAIT_FAILED with the last error set.
DWORD WaitSharedMutex(SharedMutex* pMutex, const WaitDeadline& tDeadline);
// False when the calling thread does not own the mutex.
bool ReleaseSharedMutex(SharedMutex* pMutex);
// Gives the mutex up for good when no live thread but the caller owns it:
// true when it is then unowned and its memory may be used again.
bool DiscardSharedMutex(SharedMutex* pMutex);

void InitSharedEvent(SharedEvent* pEvent, bool fManualReset, bool fSignalled);
void SetSharedEvent(SharedEvent* pEvent);
void ResetSharedEvent(SharedEvent* pEvent);
// WAIT_OBJECT_0 (an auto-reset event is reset by the wait that it ends) or
// WAIT_TIMEOUT.
DWORD WaitSharedEvent(SharedEvent* pEvent, const WaitDeadline& tDeadline);

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_SHARED_SYNC_H
