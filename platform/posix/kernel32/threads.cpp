// CreateThread over pthreads; a thread handle is signalled once the thread
// has exited.
#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/posix/machine/call_steps.h"
#include "platform/posix/machine/handles.h"
#include "platform/posix/machine/waitable.h"

using namespace qxz::posix;

namespace
{

struct ThreadState
{
    std::mutex tMutex;
    std::condition_variable tChanged;
    pid_t nThreadId = 0;
    bool fRoutineReturned = false;
};

struct ThreadStart
{
    LPTHREAD_START_ROUTINE pfnRoutine;
    LPVOID pParameter;
    std::shared_ptr<ThreadState> pState;
};

void* RunThread(void* pStartArgument)
{
    std::unique_ptr<ThreadStart> pStart(static_cast<ThreadStart*>(pStartArgument));
    ThreadState& tState = *pStart->pState;
    {
        std::lock_guard<std::mutex> lock(tState.tMutex);
        tState.nThreadId = gettid();
    }
    tState.tChanged.notify_all();
    pStart->pfnRoutine(pStart->pParameter);
    {
        std::lock_guard<std::mutex> lock(tState.tMutex);
        tState.fRoutineReturned = true;
    }
    tState.tChanged.notify_all();
    return nullptr;
}

class ThreadHandle : public WaitableObject
{
public:
    ThreadHandle(pthread_t tThread, std::shared_ptr<ThreadState> pState)
        : WaitableObject(HandleKind::Thread), m_tThread(tThread), m_pState(std::move(pState))
    {
    }

    // A thread that still runs goes on without its handle.
    ~ThreadHandle() override
    {
        std::lock_guard<std::mutex> lock(m_pState->tMutex);
        if (m_fJoined)
            return;
        if (m_pState->fRoutineReturned)
        {
            pthread_join(m_tThread, nullptr);
        }
        else
        {
            pthread_detach(m_tThread);
        }
    }

    DWORD Wait(const WaitDeadline& tDeadline) override
    {
        std::unique_lock<std::mutex> lock(m_pState->tMutex);
        while (!m_pState->fRoutineReturned)
        {
            if (tDeadline.IsInfinite())
            {
                m_pState->tChanged.wait(lock);
                continue;
            }
            timespec tLeft;
            if (!tDeadline.Remaining(&tLeft))
                return WAIT_TIMEOUT;
            m_pState->tChanged.wait_for(lock,
                                        std::chrono::seconds(tLeft.tv_sec) + std::chrono::nanoseconds(tLeft.tv_nsec));
        }
        // The routine has returned; the exit follows at once. Only once the
        // thread has exited has the kernel abandoned the mutexes it owned, which
        // a waiter on the thread may look at next.
        if (!m_fJoined)
        {
            pthread_join(m_tThread, nullptr);
            m_fJoined = true;
        }
        return WAIT_OBJECT_0;
    }

private:
    pthread_t m_tThread;
    std::shared_ptr<ThreadState> m_pState;
    bool m_fJoined = false; // guarded by the state's mutex
};

} // namespace

extern "C" {

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, size_t dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                           LPDWORD lpThreadId)
{
    (void)lpThreadAttributes;
    if (CallFaulted("CreateThread", nullptr))
        return nullptr;
    if (lpStartAddress == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if ((dwCreationFlags & CREATE_SUSPENDED) != 0)
    {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    auto pState = std::make_shared<ThreadState>();
    auto pStart = std::make_unique<ThreadStart>(ThreadStart{lpStartAddress, lpParameter, pState});
    pthread_attr_t tAttributes;
    pthread_attr_init(&tAttributes);
    // The size asks for at least that much stack; the default is larger than
    // what Windows gives a thread.
    size_t cbDefaultStack = 0;
    pthread_attr_getstacksize(&tAttributes, &cbDefaultStack);
    if (dwStackSize > cbDefaultStack)
        pthread_attr_setstacksize(&tAttributes, dwStackSize);
    pthread_t tThread;
    const int nResult = pthread_create(&tThread, &tAttributes, RunThread, pStart.get());
    pthread_attr_destroy(&tAttributes);
    if (nResult != 0)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    pStart.release(); // the thread owns it now
    pid_t nThreadId;
    {
        std::unique_lock<std::mutex> lock(pState->tMutex);
        pState->tChanged.wait(lock, [&] { return pState->nThreadId != 0; });
        nThreadId = pState->nThreadId;
    }
    if (lpThreadId != nullptr)
        *lpThreadId = static_cast<DWORD>(nThreadId);
    return NewHandle(std::make_unique<ThreadHandle>(tThread, std::move(pState)));
}

} // extern "C"
