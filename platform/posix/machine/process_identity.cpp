// Process identities from /proc/PID/stat: its state and its start time.
#include "platform/posix/machine/process_identity.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/machine/host_files.h"

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
    std::string sText;
    if (!ReadHostFile(sPath.c_str(), 1023, &sText))
        return errno == ENOENT || errno == ESRCH ? StatResult::Gone : StatResult::Unknown;
    if (sText.empty())
        return StatResult::Unknown;
    // The command name in parentheses may hold anything; the fields after
    // its last ')' are the state (field 3) and, 19 fields on, the start time
    // (field 22).
    const char* pszFields = strrchr(sText.c_str(), ')');
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

bool SameProcess(const ProcessIdentity& tA, const ProcessIdentity& tB)
{
    return tA.nPid == tB.nPid && tA.nStartTime == tB.nStartTime;
}

bool RunningProcessIdentity(int32_t nPid, ProcessIdentity* ptProcess)
{
    ProcessStat tStat;
    if (ReadProcessStat(nPid, &tStat) != StatResult::Read || tStat.chState == 'Z' || tStat.chState == 'X')
        return false;
    *ptProcess = ProcessIdentity{nPid, tStat.nStartTime};
    return true;
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
