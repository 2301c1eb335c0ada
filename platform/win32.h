// The one seam between the program and the operating system.
//
// On Windows this is the system's own headers. Elsewhere it is the emulated
// machine's declarations of the Win32 subset that the program and its tools
// call (platform/posix/include/win32_api.h); platform/posix implements them
// over POSIX (see README).
#ifndef QXZ_PLATFORM_WIN32_H
#define QXZ_PLATFORM_WIN32_H

#ifdef _WIN32

#include <windows.h>
#include <winspool.h>
#include <share.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>

#else // POSIX: the emulated machine

#include "platform/posix/include/win32_api.h"

#endif // _WIN32

#endif // QXZ_PLATFORM_WIN32_H
