#include "platform/posix/machine/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/posix/machine/paths.h"
#include "platform/posix/machine/process_identity.h"
#include "platform/posix/machine/system_calls.h"

namespace qxz::posix
{

bool ReadWholeFile(const std::string& sPath, std::string* psContent)
{
    int fd = SysOpen(sPath.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    std::string sContent;
    char achBuffer[65536];
    for (;;)
    {
        ssize_t cbRead = SysRead(fd, achBuffer, sizeof achBuffer);
        if (cbRead < 0)
        {
            int nErrno = errno;
            SysClose(fd);
            errno = nErrno;
            return false;
        }
        if (cbRead == 0)
            break;
        sContent.append(achBuffer, static_cast<size_t>(cbRead));
    }
    SysClose(fd);
    psContent->swap(sContent);
    return true;
}

namespace
{

bool WriteAll(int fd, const std::string& sContent)
{
    size_t cbDone = 0;
    while (cbDone < sContent.size())
    {
        ssize_t cbWritten = SysWrite(fd, sContent.data() + cbDone, sContent.size() - cbDone);
        if (cbWritten < 0)
            return false;
        cbDone += static_cast<size_t>(cbWritten);
    }
    return true;
}

std::string AsidePrefix(const std::string& sPath)
{
    return sPath + ".new.";
}

} // namespace

bool ReplaceFileAtomically(const std::string& sPath, const std::string& sContent)
{
    const std::string sAside = AsidePrefix(sPath) + std::to_string(getpid());
    int fd = SysOpen(sAside.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0)
        return false;
    // The space first: a full disk fails here, before a byte is written.
    bool fWritten = (sContent.empty() || SysFallocate(fd, static_cast<off_t>(sContent.size())) == 0) &&
                    WriteAll(fd, sContent) && SysFsync(fd) == 0;
    int nErrno = errno;
    if (SysClose(fd) != 0 && fWritten)
    {
        fWritten = false;
        nErrno = errno;
    }
    if (!fWritten || SysRename(sAside.c_str(), sPath.c_str()) != 0)
    {
        if (fWritten)
            nErrno = errno;
        SysUnlink(sAside.c_str());
        errno = nErrno;
        return false;
    }
    // Make the rename itself durable.
    int fdDirectory = SysOpen(ParentDirectory(sPath).c_str(), O_RDONLY | O_DIRECTORY);
    if (fdDirectory >= 0)
    {
        SysFsync(fdDirectory);
        SysClose(fdDirectory);
    }
    return true;
}

int RemoveStaleAsideFiles(const std::string& sPath)
{
    const std::string sDirectory = ParentDirectory(sPath);
    const std::string sPrefix = AsidePrefix(sPath.substr(sPath.rfind('/') + 1));
    DIR* pDir = opendir(sDirectory.c_str());
    if (pDir == nullptr)
        return 0;
    std::vector<std::string> vStale;
    while (const struct dirent* pEntry = readdir(pDir))
    {
        const std::string sName = pEntry->d_name;
        if (sName.compare(0, sPrefix.size(), sPrefix) != 0)
            continue;
        const std::string sPid = sName.substr(sPrefix.size());
        if (sPid.empty() || sPid.size() > 9 || sPid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string sAside = sDirectory + "/" + sName;
        struct stat tStat;
        if (lstat(sAside.c_str(), &tStat) != 0)
            continue;
        if (!IsProcessRunningSince(static_cast<int32_t>(std::stoi(sPid)), tStat.st_mtim))
            vStale.push_back(sAside);
    }
    closedir(pDir);
    int nRemoved = 0;
    for (const std::string& sAside : vStale)
        nRemoved += SysUnlink(sAside.c_str()) == 0 ? 1 : 0;
    return nRemoved;
}

} // namespace qxz::posix
