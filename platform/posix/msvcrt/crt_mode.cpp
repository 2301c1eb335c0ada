#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/win32.h"

extern "C" int _setmode(int fd, int)
{
    // Only asks whether this process has the descriptor: no machine state,
    // outside the machine's table of calls.
    if (::fcntl(fd, F_GETFD) == -1)
    {
        errno = EBADF;
        return -1;
    }
    return _O_BINARY;
}

extern "C" int _isatty(int fd)
{
    return isatty(fd);
}
