// Which process holds something, told apart from a later process that gets
// the same process id.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_PROCESS_IDENTITY_H
#define QXZ_PLATFORM_POSIX_MACHINE_PROCESS_IDENTITY_H

#include <time.h>

#include <cstdint>

namespace qxz::posix
{

struct ProcessIdentity
{
    int32_t nPid;
    uint64_t nStartTime; // clock ticks after boot; 0 when unknown
};

ProcessIdentity CurrentProcessIdentity();

bool SameProcess(const ProcessIdentity& tA, const ProcessIdentity& tB);

// The identity of the running process nPid; false when it has ended or
// cannot be told.
bool RunningProcessIdentity(int32_t nPid, ProcessIdentity* ptProcess);

// False once the process has ended (a zombie has ended too) or its id has
// passed to another process.
bool IsProcessRunning(const ProcessIdentity& tProcess);

// Whether the process nPid is running and had started by tWhen (wall-clock
// time), so that it may have done what happened then. True when it cannot
// be told.
bool IsProcessRunningSince(int32_t nPid, const struct timespec& tWhen);

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_PROCESS_IDENTITY_H
