// The defence against names planted in a shared temporary directory: what
// may stand under a log's name and still be written.
#ifndef QXZ_LOG_LOG_ENTRY_H
#define QXZ_LOG_LOG_ENTRY_H

#include <string>

#include "platform/win32.h"

namespace qxz::log
{

// Opens a link or other reparse point itself instead of what it points to,
// and a directory at all, so that either can be recognised.
constexpr DWORD kOpenEntryItself = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;

// Where the files of a name's directory resolve to, ending with a
// backslash; empty when the system does not tell.
std::string ResolvedDirectory(const std::string& sFileName);

// Whether the open handle has an ordinary file at the name: a file on disk,
// no link of any kind, no directory, resolving to the name's own directory.
bool IsOrdinaryFile(HANDLE hFile, const BY_HANDLE_FILE_INFORMATION& tInfo, const std::string& sResolvedDirectory,
                    const std::string& sFileName);

// Whether the handle has an ordinary file, and then what it is (ptSeen may
// be null); the handle is closed.
bool IsOrdinaryFileClosing(HANDLE hFile, const std::string& sResolvedDirectory, const std::string& sFileName,
                           BY_HANDLE_FILE_INFORMATION* ptSeen);

// Whether the name holds something other than an ordinary file, as an open
// without data access sees it: such an open meets no share mode, so a link
// held open elsewhere shows as well.
bool HoldsOtherThanOrdinaryFile(const std::string& sName, const std::string& sResolvedDirectory);

} // namespace qxz::log

#endif // QXZ_LOG_LOG_ENTRY_H
