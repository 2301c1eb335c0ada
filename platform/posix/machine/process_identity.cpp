// Process identities from /proc/PID/stat: its state and its start time.
#include "platform/posix/machine/process_identity.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace qxz::posix
{

namespace
{

struct ProcessStat
{
    char chState;
    uint64_t nStartTime;
};

enum class StatResult
{
    Read,
    Gone,
    Unknown
};

StatResult ReadProcessStat(int32_t nPid, ProcessStat* ptStat)
{
    const std::string sPath = "/proc/" + std::to_string(nPid) + "/stat";
    // The host's, not the machine's: outside the machine's table of calls.
    int fd = ::open(sPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ESRCH ? StatResult::Gone : StatResult::Unknown;
    char achText[1024];
    ssize_t cbRead;
    do
    {
        cbRead = ::read(fd, achText, sizeof achText - 1);
    } while (cbRead < 0 && errno == EINTR);
    ::close(fd);
    if (cbRead <= 0)
        return cbRead < 0 && errno == ESRCH ? StatResult::Gone : StatResult::Unknown;
    achText[cbRead] = '\0';
    // The command name in parentheses may hold anything; the fields after
    // its last ')' are the state (field 3) and, 19 fields on, the start time
    // (field 22).
    const char* pszFields = strrchr(achText, ')');
    if (pszFields == nullptr || pszFields[1] != ' ' || pszFields[2] == '\0')
        return StatResult::Unknown;
    ptStat->chState = pszFields[2];
    const char* psz = pszFields + 2;
    for (int nField = 3; nField < 22; ++nField)
    {
        psz = strchr(psz, ' ');
        if (psz == nullptr)
            return StatResult::Unknown;
        ++psz;
    }
    ptStat->nStartTime = strtoull(psz, nullptr, 10);
    return StatResult::Read;
}

} // namespace

ProcessIdentity CurrentProcessIdentity()
{
    ProcessIdentity tProcess{static_cast<int32_t>(getpid()), 0};
    ProcessStat tStat;
    if (ReadProcessStat(tProcess.nPid, &tStat) == StatResult::Read)
        tProcess.nStartTime = tStat.nStartTime;
    return tProcess;
}

bool IsProcessRunning(const ProcessIdentity& tProcess)
{
    ProcessStat tStat;
    switch (ReadProcessStat(tProcess.nPid, &tStat))
    {
        case StatResult::Gone: return false;
        case StatResult::Unknown: return true; // cannot tell: keep what it holds
        case StatResult::Read: break;
    }
    if (tStat.chState == 'Z' || tStat.chState == 'X')
        return false;
    return tProcess.nStartTime == 0 || tStat.nStartTime == tProcess.nStartTime;
}

bool IsProcessRunningSince(int32_t nPid, const struct timespec& tWhen)
{
    ProcessStat tStat;
    switch (ReadProcessStat(nPid, &tStat))
    {
        case StatResult::Gone: return false;
        case StatResult::Unknown: return true;
        case StatResult::Read: break;
    }
    if (tStat.chState == 'Z' || tStat.chState == 'X')
        return false;
    // The start is counted in clock ticks after boot; boot was as long before
    // now on the wall clock as the boot clock says.
    struct timespec tNow;
    struct timespec tUp;
    const long nTicks = sysconf(_SC_CLK_TCK);
    if (nTicks <= 0 || clock_gettime(CLOCK_REALTIME, &tNow) != 0 || clock_gettime(CLOCK_BOOTTIME, &tUp) != 0)
        return true;
    const double dStarted = static_cast<double>(tNow.tv_sec - tUp.tv_sec) +
                            static_cast<double>(tNow.tv_nsec - tUp.tv_nsec) / 1e9 +
                            static_cast<double>(tStat.nStartTime) / static_cast<double>(nTicks);
    // A second of slack for the rounding of the two clocks and the ticks.
    return dStarted <= static_cast<double>(tWhen.tv_sec) + static_cast<double>(tWhen.tv_nsec) / 1e9 + 1.0;
}

} // namespace qxz::posix
