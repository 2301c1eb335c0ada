// The emulated registry on disk: one .reg text file in the machine root,
// shared by every process of the machine.
//
// A change loads the file under an exclusive lock on a lock file beside it
// and replaces the whole file atomically, so no write is lost. A read takes
// no lock: it reads whichever whole file is there, so no reader sees half a
// write and none waits for a writer. A file that cannot be read or parsed is
// reported, never replaced. A machine without a registry file gets the
// registry of a fresh installation on first use.
//
// The errors of the file itself: ERROR_CANTOPEN when the lock cannot be
// taken, ERROR_LOCK_VIOLATION when another process has held it for the
// whole wait (30 s, or QXZ_REGISTRY_LOCK_TIMEOUT_MS) or is the holder that a
// wait of this process gave up on before (it waits for a stuck holder once),
// ERROR_CANTREAD when the file cannot be read, ERROR_BADDB when it is not
// .reg text of the registry's roots, ERROR_CANTWRITE when a change cannot be
// written.
#ifndef QXZ_PLATFORM_POSIX_ADVAPI32_REGISTRY_STORE_H
#define QXZ_PLATFORM_POSIX_ADVAPI32_REGISTRY_STORE_H

#include <functional>

#include "platform/posix/advapi32/registry_tree.h"
#include "platform/win32.h"

namespace qxz::posix
{

// The registry file's path inside the machine root.
std::string RegistryFilePath();

// Runs fnRead on the registry and returns its result, or the error that
// kept the registry from being read.
LONG ReadRegistry(const std::function<LONG(RegistryKey* pTop)>& fnRead);

// Runs fnChange on the registry; when it returns ERROR_SUCCESS and says that
// it changed something, the changed registry replaces the file
// (ERROR_CANTWRITE when that fails).
LONG ChangeRegistry(const std::function<LONG(RegistryKey* pTop, bool* pfChanged)>& fnChange);

// Makes the registry file and its directory entry durable.
LONG FlushRegistry();

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_ADVAPI32_REGISTRY_STORE_H
