#include "platform/posix/machine/machine_root.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/posix/machine/layer_state.h"
#include "platform/posix/machine/system_calls.h"

namespace qxz::posix
{

namespace
{

struct RootState
{
    std::mutex mutex;
    std::string sRoot;
    bool fKnown = false;
};
RootState& Root()
{
    return LayerState<RootState>();
}

bool MakeDirectories(const std::string& sPath)
{
    std::string sPartial;
    size_t nStart = 0;
    while (nStart <= sPath.size())
    {
        size_t nSlash = sPath.find('/', nStart);
        if (nSlash == std::string::npos)
            nSlash = sPath.size();
        sPartial = sPath.substr(0, nSlash);
        if (!sPartial.empty() && SysMkdir(sPartial.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
        nStart = nSlash + 1;
    }
    struct stat tStat;
    return stat(sPath.c_str(), &tStat) == 0 && S_ISDIR(tStat.st_mode);
}

std::string DefaultRoot()
{
    const char* pszState = getenv("XDG_STATE_HOME");
    if (pszState != nullptr && pszState[0] == '/')
        return std::string(pszState) + "/qxz-machine";
    const char* pszHome = getenv("HOME");
    if (pszHome != nullptr && pszHome[0] == '/')
        return std::string(pszHome) + "/.local/state/qxz-machine";
    return "/tmp/qxz-machine-" + std::to_string(getuid());
}

std::string AbsolutePath(const std::string& sPath)
{
    if (!sPath.empty() && sPath[0] == '/')
        return sPath;
    char szCwd[4096];
    if (getcwd(szCwd, sizeof szCwd) == nullptr)
        return sPath;
    return std::string(szCwd) + "/" + sPath;
}

} // namespace

const std::string& MachineRoot()
{
    RootState& tState = Root();
    std::lock_guard<std::mutex> lock(tState.mutex);
    if (!tState.fKnown)
    {
        const char* pszRoot = getenv("QXZ_MACHINE_ROOT");
        std::string sRoot = AbsolutePath(pszRoot != nullptr && pszRoot[0] != '\0' ? pszRoot : DefaultRoot());
        while (sRoot.size() > 1 && sRoot.back() == '/')
            sRoot.pop_back();
        tState.sRoot = MakeDirectories(sRoot + "/drive_c/WINDOWS/SYSTEM32") ? sRoot : std::string();
        tState.fKnown = true;
    }
    return tState.sRoot;
}

void ResetMachineRootForTests()
{
    RootState& tState = Root();
    std::lock_guard<std::mutex> lock(tState.mutex);
    tState.fKnown = false;
    tState.sRoot.clear();
}

std::string MachineFile(const char* pszName)
{
    return MachineRoot() + "/" + pszName;
}

} // namespace qxz::posix
