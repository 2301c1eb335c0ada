// The machine root: the one host directory that holds everything the
// emulated machine keeps.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_MACHINE_ROOT_H
#define QXZ_PLATFORM_POSIX_MACHINE_MACHINE_ROOT_H

#include <string>

namespace qxz::posix
{

// Absolute POSIX path of the machine root ($QXZ_MACHINE_ROOT, else a per-user
// state directory). Created on first use with drive_c/WINDOWS/SYSTEM32.
// Empty when it cannot be created.
const std::string& MachineRoot();

// Forget the cached root so that the next call reads QXZ_MACHINE_ROOT again
// (tests switch roots within one process).
void ResetMachineRootForTests();

// A file inside the machine root, such as "registry-hklm.reg".
std::string MachineFile(const char* pszName);

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_MACHINE_ROOT_H
