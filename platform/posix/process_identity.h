// Which process holds something, told apart from a later process that gets
// the same process id.
#ifndef QXZ_PLATFORM_POSIX_PROCESS_IDENTITY_H
#define QXZ_PLATFORM_POSIX_PROCESS_IDENTITY_H

#include <cstdint>

namespace qxz::posix {

struct ProcessIdentity {
  int32_t nPid;
  uint64_t nStartTime;  // clock ticks after boot; 0 when unknown
};

ProcessIdentity CurrentProcessIdentity();

// False once the process has ended (a zombie has ended too) or its id has
// passed to another process.
bool IsProcessRunning(const ProcessIdentity& tProcess);

}  // namespace qxz::posix

#endif  // QXZ_PLATFORM_POSIX_PROCESS_IDENTITY_H
