// WaitForSingleObject, and the time limit that every kind of wait shares.
#include <cstdint>

#include "platform/posix/machine/call_steps.h"
#include "platform/posix/machine/handles.h"
#include "platform/posix/machine/waitable.h"

namespace qxz::posix
{

namespace
{

constexpr long kNanosecondsPerSecond = 1000000000L;

} // namespace

WaitDeadline::WaitDeadline(DWORD dwMilliseconds) : m_fInfinite(dwMilliseconds == INFINITE), m_tEnd{}
{
    clock_gettime(CLOCK_MONOTONIC, &m_tEnd);
    if (m_fInfinite)
        return;
    m_tEnd.tv_sec += static_cast<time_t>(dwMilliseconds / 1000u);
    m_tEnd.tv_nsec += static_cast<long>(dwMilliseconds % 1000u) * 1000000L;
    if (m_tEnd.tv_nsec >= kNanosecondsPerSecond)
    {
        m_tEnd.tv_sec += 1;
        m_tEnd.tv_nsec -= kNanosecondsPerSecond;
    }
}

bool WaitDeadline::Remaining(timespec* ptLeft) const
{
    timespec tNow;
    clock_gettime(CLOCK_MONOTONIC, &tNow);
    int64_t nLeft =
        (static_cast<int64_t>(m_tEnd.tv_sec) - tNow.tv_sec) * kNanosecondsPerSecond + (m_tEnd.tv_nsec - tNow.tv_nsec);
    if (nLeft <= 0)
    {
        *ptLeft = timespec{};
        return false;
    }
    ptLeft->tv_sec = static_cast<time_t>(nLeft / kNanosecondsPerSecond);
    ptLeft->tv_nsec = static_cast<long>(nLeft % kNanosecondsPerSecond);
    return true;
}

} // namespace qxz::posix

using namespace qxz::posix;

extern "C" {

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    if (CallFaulted("WaitForSingleObject", nullptr))
        return WAIT_FAILED;
    const WaitDeadline tDeadline(dwMilliseconds);
    // INVALID_HANDLE_VALUE is the pseudo-handle of the current process, which
    // cannot end while it waits for itself: the wait times out, as on Windows.
    if (hHandle == INVALID_HANDLE_VALUE)
    {
        if (tDeadline.IsInfinite())
        {
            for (;;)
                Sleep(INFINITE);
        }
        timespec tLeft;
        while (tDeadline.Remaining(&tLeft))
            nanosleep(&tLeft, nullptr);
        return WAIT_TIMEOUT;
    }
    auto* pObject = dynamic_cast<WaitableObject*>(LookupHandle(hHandle));
    if (pObject == nullptr)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return pObject->Wait(tDeadline);
}

} // extern "C"
