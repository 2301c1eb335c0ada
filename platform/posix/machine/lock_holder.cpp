// The holder of a whole-file lock, from /proc/locks: one line a lock,
// "1: FLOCK  ADVISORY  WRITE 4242 fe:00:131 0 EOF", a waiter's line marked
// with "->".
#include "platform/posix/machine/lock_holder.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/posix/machine/host_files.h"
#include "platform/posix/machine/system_calls.h"

namespace qxz::posix
{

bool WholeFileLockHolder(int fd, ProcessIdentity* ptHolder)
{
    struct stat tStat;
    if (SysFstat(fd, &tStat) != 0)
        return false;
    std::string sTable;
    if (!ReadHostFile("/proc/locks", SIZE_MAX, &sTable))
        return false;
    size_t nStart = 0;
    while (nStart < sTable.size())
    {
        size_t nEnd = sTable.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = sTable.size();
        const std::string sLine = sTable.substr(nStart, nEnd - nStart);
        nStart = nEnd + 1;
        char szKind[16];
        int nPid = 0;
        unsigned nMajor = 0;
        unsigned nMinor = 0;
        unsigned long long nInode = 0;
        if (sLine.find("->") != std::string::npos ||
            sscanf(sLine.c_str(), "%*u: %15s %*s %*s %d %x:%x:%llu", szKind, &nPid, &nMajor, &nMinor, &nInode) != 5)
        {
            continue;
        }
        if (strcmp(szKind, "FLOCK") == 0 && nMajor == major(tStat.st_dev) && nMinor == minor(tStat.st_dev) &&
            nInode == static_cast<unsigned long long>(tStat.st_ino))
        {
            return RunningProcessIdentity(nPid, ptHolder);
        }
    }
    return false;
}

} // namespace qxz::posix
