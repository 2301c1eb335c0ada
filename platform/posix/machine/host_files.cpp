#include "platform/posix/machine/host_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace qxz::posix
{

bool ReadHostFile(const char* pszPath, size_t cbMost, std::string* psText)
{
    psText->clear();
    const int fd = ::open(pszPath, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char achBuffer[16384];
    while (psText->size() < cbMost)
    {
        const ssize_t cbRead = ::read(fd, achBuffer, std::min(sizeof achBuffer, cbMost - psText->size()));
        if (cbRead < 0 && errno == EINTR)
            continue;
        if (cbRead < 0)
        {
            const int nErrno = errno;
            ::close(fd);
            errno = nErrno;
            return false;
        }
        if (cbRead == 0)
            break;
        psText->append(achBuffer, static_cast<size_t>(cbRead));
    }
    ::close(fd);
    return true;
}

} // namespace qxz::posix
