// The runtime's streams and descriptors over the layer's files: _fsopen,
// _open_osfhandle, _fdopen and _close.
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "platform/posix/kernel32/file_handles.h"
#include "platform/posix/machine/faults.h"
#include "platform/posix/machine/paths.h"
#include "platform/posix/machine/system_calls.h"

using namespace qxz::posix;

namespace
{

// Every later write goes to the end of the file, wherever others wrote.
bool WritesAtTheEnd(int fd)
{
    const int nStatusFlags = SysFcntl(fd, F_GETFL);
    return nStatusFlags != -1 && SysFcntl(fd, F_SETFL, nStatusFlags | O_APPEND) != -1;
}

// A runtime stream over a descriptor whose data moves through the layer's
// system calls, so that a failing write or flush of a stream can be
// injected and traced like any other call, by the file's name. The stream
// owns the descriptor.
struct StreamCookie
{
    int fd;
    std::string sPath;
};

ssize_t StreamRead(void* pCookie, char* pBuffer, size_t cb)
{
    return SysRead(static_cast<StreamCookie*>(pCookie)->fd, pBuffer, cb);
}

// The count written; less than asked (0 at worst, never negative) marks the
// stream's error, and the runtime drops what it could not write.
ssize_t StreamWrite(void* pCookie, const char* pBuffer, size_t cb)
{
    const StreamCookie& tCookie = *static_cast<StreamCookie*>(pCookie);
    size_t cbDone = 0;
    while (cbDone < cb)
    {
        const ssize_t cbWritten = SysWrite(tCookie.fd, pBuffer + cbDone, cb - cbDone, tCookie.sPath.c_str());
        if (cbWritten <= 0)
            break;
        cbDone += static_cast<size_t>(cbWritten);
    }
    return static_cast<ssize_t>(cbDone);
}

int StreamSeek(void* pCookie, off64_t* pnOffset, int nWhence)
{
    const off_t nPosition = SysLseek(static_cast<StreamCookie*>(pCookie)->fd, *pnOffset, nWhence);
    if (nPosition < 0)
        return -1;
    *pnOffset = nPosition;
    return 0;
}

int StreamClose(void* pCookie)
{
    std::unique_ptr<StreamCookie> pOwned(static_cast<StreamCookie*>(pCookie));
    return SysClose(pOwned->fd);
}

FILE* StreamOnDescriptor(int fd, const char* pszMode)
{
    static const cookie_io_functions_t kStreamFunctions = {StreamRead, StreamWrite, StreamSeek, StreamClose};
    auto pCookie = std::make_unique<StreamCookie>(StreamCookie{fd, DescriptorPath(fd)});
    FILE* pStream = fopencookie(pCookie.get(), pszMode, kStreamFunctions);
    if (pStream != nullptr)
        pCookie.release();
    return pStream;
}

// open(2) flags and the fdopen mode for a runtime mode such as "w", "a+", "rb".
bool StreamFlags(const char* pszMode, int* pnFlags, char* pszPosixMode)
{
    const bool fUpdate = strchr(pszMode, '+') != nullptr;
    int nFlags;
    switch (pszMode[0])
    {
        case 'r': nFlags = fUpdate ? O_RDWR : O_RDONLY; break;
        case 'w': nFlags = (fUpdate ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC; break;
        case 'a': nFlags = (fUpdate ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND; break;
        default: return false;
    }
    *pnFlags = nFlags;
    pszPosixMode[0] = pszMode[0];
    pszPosixMode[1] = fUpdate ? '+' : '\0';
    pszPosixMode[2] = '\0';
    return true;
}

} // namespace

extern "C" {

// Streams are always shared here: POSIX has no share modes, and a stream is
// not a handle that the share check could see.
FILE* _fsopen(const char* filename, const char* mode, int /*shflag*/)
{
    if (ErrnoCallFaulted("_fsopen", filename))
        return nullptr;
    int nFlags = 0;
    char szPosixMode[3];
    if (filename == nullptr || mode == nullptr || !StreamFlags(mode, &nFlags, szPosixMode))
    {
        errno = EINVAL;
        return nullptr;
    }
    std::string sPath;
    DWORD dwError = ERROR_SUCCESS;
    if (!ToPosixPath(filename, &sPath, &dwError))
    {
        errno = ENOENT;
        return nullptr;
    }
    const int fd = SysOpen(sPath.c_str(), nFlags, 0666);
    if (fd < 0)
        return nullptr;
    FILE* pStream = StreamOnDescriptor(fd, szPosixMode);
    if (pStream == nullptr)
    {
        const int nErrno = errno;
        SysClose(fd);
        errno = nErrno;
    }
    return pStream;
}

// The descriptor takes the handle's file over and the handle is closed: as
// on Windows, closing the descriptor (or its stream) closes the file. Like a
// stream, a descriptor is not seen by the share check. Streams never
// translate line ends here, so only _O_APPEND counts among the flags.
int _open_osfhandle(intptr_t osfhandle, int flags)
{
    if (ErrnoCallFaulted("_open_osfhandle", nullptr))
        return -1;
    const HANDLE hFile = reinterpret_cast<HANDLE>(osfhandle);
    const int fd = FileDescriptor(hFile);
    if (fd < 0)
    {
        errno = EBADF;
        return -1;
    }
    if ((flags & _O_APPEND) != 0 && !WritesAtTheEnd(fd))
        return -1;
    return TakeFileDescriptor(hFile);
}

FILE* _fdopen(int fd, const char* mode)
{
    if (ErrnoCallFaulted("_fdopen", nullptr))
        return nullptr;
    if (fd < 0 || SysFcntl(fd, F_GETFD, 0) == -1)
    {
        errno = EBADF;
        return nullptr;
    }
    return StreamOnDescriptor(fd, mode);
}

int _close(int fd)
{
    return SysClose(fd);
}

} // extern "C"
