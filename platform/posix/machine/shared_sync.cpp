// Mutex and event operations on shared memory.
#include "platform/posix/machine/shared_sync.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/posix/machine/last_error.h"

namespace qxz::posix
{

namespace
{

static_assert(std::atomic<uint32_t>::is_always_lock_free, "the event word is shared between processes");
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t), "the event word is a futex");

uint32_t* FutexWord(SharedEvent* pEvent)
{
    return reinterpret_cast<uint32_t*>(&pEvent->nSignalled);
}

// Sleeps while the event word is 0, at most ptTimeout (null: no limit). Wakes
// early on a signal or a change of the word; the caller looks again.
void FutexWaitWhileUnsignalled(SharedEvent* pEvent, const timespec* ptTimeout)
{
    syscall(SYS_futex, FutexWord(pEvent), FUTEX_WAIT, 0u, ptTimeout, nullptr, 0);
}

void FutexWakeAll(SharedEvent* pEvent)
{
    syscall(SYS_futex, FutexWord(pEvent), FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

} // namespace

void InitSharedMutex(SharedMutex* pMutex)
{
    pthread_mutexattr_t tAttributes;
    pthread_mutexattr_init(&tAttributes);
    pthread_mutexattr_setpshared(&tAttributes, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&tAttributes, PTHREAD_MUTEX_ROBUST);
    pthread_mutexattr_settype(&tAttributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&pMutex->tMutex, &tAttributes);
    pthread_mutexattr_destroy(&tAttributes);
}

DWORD WaitSharedMutex(SharedMutex* pMutex, const WaitDeadline& tDeadline)
{
    int nResult;
    timespec tLeft;
    if (tDeadline.IsInfinite())
    {
        nResult = pthread_mutex_lock(&pMutex->tMutex);
    }
    else if (!tDeadline.Remaining(&tLeft))
    {
        nResult = pthread_mutex_trylock(&pMutex->tMutex);
    }
    else
    {
        nResult = pthread_mutex_clocklock(&pMutex->tMutex, CLOCK_MONOTONIC, &tDeadline.Absolute());
    }
    switch (nResult)
    {
        case 0: return WAIT_OBJECT_0;
        case EOWNERDEAD:
            // The waiter owns it now; what the mutex guards is the owners' business.
            pthread_mutex_consistent(&pMutex->tMutex);
            return WAIT_ABANDONED;
        case EBUSY:
        case ETIMEDOUT: return WAIT_TIMEOUT;
        default: SetLastError(ErrorFromErrno(nResult)); return WAIT_FAILED;
    }
}

bool ReleaseSharedMutex(SharedMutex* pMutex)
{
    return pthread_mutex_unlock(&pMutex->tMutex) == 0;
}

bool DiscardSharedMutex(SharedMutex* pMutex)
{
    // An owner that deletes its mutex gives up every count of it, as Windows
    // abandons a mutex that is deleted while owned.
    bool fWasOwner = false;
    while (pthread_mutex_unlock(&pMutex->tMutex) == 0)
        fWasOwner = true;
    if (fWasOwner)
        return true;
    int nResult = pthread_mutex_trylock(&pMutex->tMutex);
    if (nResult == EOWNERDEAD)
    {
        pthread_mutex_consistent(&pMutex->tMutex);
        nResult = 0;
    }
    if (nResult != 0)
        return false; // a live thread owns it still
    pthread_mutex_unlock(&pMutex->tMutex);
    return true;
}

void InitSharedEvent(SharedEvent* pEvent, bool fManualReset, bool fSignalled)
{
    pEvent->fManualReset = fManualReset ? 1u : 0u;
    pEvent->nSignalled.store(fSignalled ? 1u : 0u);
}

void SetSharedEvent(SharedEvent* pEvent)
{
    pEvent->nSignalled.store(1u);
    FutexWakeAll(pEvent);
}

void ResetSharedEvent(SharedEvent* pEvent)
{
    pEvent->nSignalled.store(0u);
}

DWORD WaitSharedEvent(SharedEvent* pEvent, const WaitDeadline& tDeadline)
{
    for (;;)
    {
        uint32_t nSignalled = pEvent->nSignalled.load();
        if (nSignalled != 0)
        {
            // Of the waiters that see an auto-reset event signalled, the one that
            // resets it is the one that the signal releases.
            if (pEvent->fManualReset != 0 || pEvent->nSignalled.compare_exchange_strong(nSignalled, 0u))
            {
                return WAIT_OBJECT_0;
            }
            continue;
        }
        if (tDeadline.IsInfinite())
        {
            FutexWaitWhileUnsignalled(pEvent, nullptr);
            continue;
        }
        timespec tLeft;
        if (!tDeadline.Remaining(&tLeft))
            return WAIT_TIMEOUT;
        FutexWaitWhileUnsignalled(pEvent, &tLeft);
    }
}

} // namespace qxz::posix
