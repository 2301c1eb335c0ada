// What the runtime's descriptors need of the files that CreateFileA opens.
#ifndef QXZ_PLATFORM_POSIX_KERNEL32_FILE_HANDLES_H
#define QXZ_PLATFORM_POSIX_KERNEL32_FILE_HANDLES_H

#include "platform/win32.h"

namespace qxz::posix
{

// The descriptor of a file handle; -1, with ERROR_INVALID_HANDLE as the last
// error, when the handle is no open file.
int FileDescriptor(HANDLE hFile);

// Hands the descriptor of a file handle over to the caller, who closes it,
// and closes the handle; -1 as FileDescriptor.
int TakeFileDescriptor(HANDLE hFile);

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_KERNEL32_FILE_HANDLES_H
