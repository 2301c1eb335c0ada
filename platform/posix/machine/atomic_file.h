// Whole files of the machine's state: read at once, replaced atomically
// (written aside, then renamed over), and the copies that killed writers
// left aside removed.
#ifndef QXZ_PLATFORM_POSIX_MACHINE_ATOMIC_FILE_H
#define QXZ_PLATFORM_POSIX_MACHINE_ATOMIC_FILE_H

#include <string>

namespace qxz::posix
{

// Reads a whole file; false with errno set on failure.
bool ReadWholeFile(const std::string& sPath, std::string* psContent);
// Writes a whole file aside ("<sPath>.new.<pid>"), fsyncs it and renames it
// over sPath.
bool ReplaceFileAtomically(const std::string& sPath, const std::string& sContent);
// Removes the copies of sPath that writers killed in mid-write left aside:
// those of a process that has ended, or that started only after the copy
// was last written (its id has passed on). Call it holding the lock that
// the writers of sPath hold, so that no copy is still being written.
// Returns how many it removed.
int RemoveStaleAsideFiles(const std::string& sPath);

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_MACHINE_ATOMIC_FILE_H
