// Objects that WaitForSingleObject can wait on, and the time limit of a wait.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_WAITABLE_H
#define QXZ_PLATFORM_POSIX_MACHINE_WAITABLE_H

#include <time.h>

#include "platform/posix/machine/handles.h"

namespace qxz::posix
{

// The end of a wait of dwMilliseconds from now, on the monotonic clock, so
// that a change of the wall clock neither shortens nor stretches a wait.
class WaitDeadline
{
public:
    explicit WaitDeadline(DWORD dwMilliseconds);

    bool IsInfinite() const
    {
        return m_fInfinite;
    }
    // The deadline as an absolute CLOCK_MONOTONIC time.
    const timespec& Absolute() const
    {
        return m_tEnd;
    }
    // Time left, zero once the deadline has passed. False when it has passed.
    bool Remaining(timespec* ptLeft) const;

private:
    bool m_fInfinite;
    timespec m_tEnd;
};

class WaitableObject : public HandleObject
{
public:
    using HandleObject::HandleObject;
    // WAIT_OBJECT_0, WAIT_ABANDONED or WAIT_TIMEOUT; WAIT_FAILED with the last
    // error set.
    virtual DWORD Wait(const WaitDeadline& tDeadline) = 0;
};

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_WAITABLE_H
