// Symbolic links, FIFOs and sockets planted on the host, to see what the
// program does with them. Only the emulated machine can have them here: under Wine a Windows
// program cannot make one (CreateSymbolicLinkA reports success and makes
// nothing), and Wine follows host links even when asked to open the link
// itself, so a test that needs them is skipped there.
#ifndef QXZ_TESTS_SUPPORT_HOST_LINKS_H
#define QXZ_TESTS_SUPPORT_HOST_LINKS_H

#include <string>

#include "platform/win32.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/posix/machine/paths.h"
#endif

namespace qxz::test
{

constexpr const char* kNoSymbolicLinks =
    "Wine makes no symbolic link for a Windows program and follows host links even with "
    "FILE_FLAG_OPEN_REPARSE_POINT";

// Makes sLink (a Windows path) a symbolic link to sTarget: a Windows path,
// or a name relative to the link's directory, which need not exist. False
// where no link can be made.
inline bool MakeSymbolicLink([[maybe_unused]] const std::string& sLink, [[maybe_unused]] const std::string& sTarget)
{
#ifdef _WIN32
    return false;
#else
    std::string sPosixLink;
    std::string sPosixTarget;
    DWORD dwError = ERROR_SUCCESS;
    return qxz::posix::ToPosixPath(sLink.c_str(), &sPosixLink, &dwError) &&
           qxz::posix::ToPosixPath(sTarget.c_str(), &sPosixTarget, &dwError) &&
           symlink(sPosixTarget.c_str(), sPosixLink.c_str()) == 0;
#endif
}

// Makes sPath (a Windows path) a FIFO, or, with fSocket, a listening Unix
// socket's name (the socket itself is closed; the name stays). False where
// neither can be made.
inline bool MakeSpecialFile([[maybe_unused]] const std::string& sPath, [[maybe_unused]] bool fSocket)
{
#ifdef _WIN32
    return false;
#else
    std::string sPosixPath;
    DWORD dwError = ERROR_SUCCESS;
    if (!qxz::posix::ToPosixPath(sPath.c_str(), &sPosixPath, &dwError))
        return false;
    if (!fSocket)
        return mkfifo(sPosixPath.c_str(), 0666) == 0;
    sockaddr_un tAddress{};
    tAddress.sun_family = AF_UNIX;
    if (sPosixPath.size() >= sizeof tAddress.sun_path)
        return false;
    sPosixPath.copy(tAddress.sun_path, sPosixPath.size());
    const int fdSocket = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fdSocket < 0)
        return false;
    const bool fBound = bind(fdSocket, reinterpret_cast<const sockaddr*>(&tAddress), sizeof tAddress) == 0;
    close(fdSocket);
    return fBound;
#endif
}

} // namespace qxz::test

#endif // QXZ_TESTS_SUPPORT_HOST_LINKS_H
