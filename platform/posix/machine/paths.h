// Paths between their Windows form and the host's: C: is the machine's
// drive_c, Z: the host's root, components matched without regard to case.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_PATHS_H
#define QXZ_PLATFORM_POSIX_MACHINE_PATHS_H

#include <string>

#include "platform/win32.h"

namespace qxz::posix
{

// Maps a Windows path ("C:\x\y", "Z:\tmp\f", "c:/x", a relative "x\y") to a
// POSIX path. C: is <root>/drive_c, Z: is /. A relative path stays relative
// with its backslashes turned into slashes. Returns false (and an error code
// in *pdwError) for a path it cannot map (another drive, empty).
bool ToPosixPath(const char* pszWindowsPath, std::string* psPosixPath, DWORD* pdwError);

// Maps an absolute POSIX path to its Windows form: below <root>/drive_c as
// "C:\...", anything else as "Z:\..."; a relative path gets its slashes
// turned into backslashes.
std::string ToWindowsPath(const std::string& sPosixPath);

// The host path of the file open as fd, as the system resolved it when it
// was opened; empty when it cannot be told.
std::string DescriptorPath(int fd);

// The directory that holds a POSIX path: "." for a bare name, "/" for a
// name in the root; trailing slashes of the path do not count.
std::string ParentDirectory(std::string sPosixPath);

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_PATHS_H
