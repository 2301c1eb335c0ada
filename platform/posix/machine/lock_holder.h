// Which process holds a whole-file lock (flock) on a file, as the host's
// table of locks tells it.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_LOCK_HOLDER_H
#define QXZ_PLATFORM_POSIX_MACHINE_LOCK_HOLDER_H

#include "platform/posix/machine/process_identity.h"

namespace qxz::posix
{

// The running process that holds a whole-file lock on the file open as fd;
// false when none is listed or it cannot be told (no /proc/locks).
bool WholeFileLockHolder(int fd, ProcessIdentity* ptHolder);

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_LOCK_HOLDER_H
