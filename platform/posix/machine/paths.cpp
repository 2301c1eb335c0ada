#include "platform/posix/machine/paths.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/posix/machine/machine_root.h"

namespace qxz::posix
{

namespace
{

// Finds an entry of a directory by name ignoring ASCII case, as Windows file
// systems do; the exact name wins when it exists.
std::string ResolveComponent(const std::string& sDirectory, const std::string& sName)
{
    std::string sExact = sDirectory + "/" + sName;
    struct stat tStat;
    if (lstat(sExact.c_str(), &tStat) == 0)
        return sExact;
    DIR* pDir = opendir(sDirectory.empty() ? "/" : sDirectory.c_str());
    if (pDir == nullptr)
        return sExact;
    std::string sFound = sExact;
    while (struct dirent* pEntry = readdir(pDir))
    {
        if (strcasecmp(pEntry->d_name, sName.c_str()) == 0)
        {
            sFound = sDirectory + "/" + pEntry->d_name;
            break;
        }
    }
    closedir(pDir);
    return sFound;
}

// Joins the components of a Windows path below a POSIX base, resolving each
// one without regard to case; "." and ".." are resolved textually as
// Windows does before the file system sees the path.
std::string MapComponents(const std::string& sBase, const std::string& sRest)
{
    std::vector<std::string> vComponents;
    size_t nStart = 0;
    while (nStart <= sRest.size())
    {
        size_t nEnd = sRest.find_first_of("\\/", nStart);
        if (nEnd == std::string::npos)
            nEnd = sRest.size();
        std::string sPart = sRest.substr(nStart, nEnd - nStart);
        if (sPart == "..")
        {
            if (!vComponents.empty())
                vComponents.pop_back();
        }
        else if (!sPart.empty() && sPart != ".")
        {
            vComponents.push_back(sPart);
        }
        nStart = nEnd + 1;
    }
    std::string sPath = sBase == "/" ? "" : sBase;
    for (const std::string& sPart : vComponents)
        sPath = ResolveComponent(sPath, sPart);
    // A trailing separator stays: it tells callers that a directory is meant.
    bool fTrailing = !sRest.empty() && (sRest.back() == '\\' || sRest.back() == '/');
    if (sPath.empty())
        return "/";
    if (fTrailing)
        sPath += "/";
    return sPath;
}

} // namespace

bool ToPosixPath(const char* pszWindowsPath, std::string* psPosixPath, DWORD* pdwError)
{
    if (pszWindowsPath == nullptr || pszWindowsPath[0] == '\0')
    {
        *pdwError = ERROR_PATH_NOT_FOUND;
        return false;
    }
    std::string sPath(pszWindowsPath);
    if (sPath.size() >= 2 && sPath[1] == ':')
    {
        char chDrive = static_cast<char>(sPath[0] & ~0x20);
        if (chDrive == 'C')
        {
            if (MachineRoot().empty())
            {
                *pdwError = ERROR_PATH_NOT_FOUND;
                return false;
            }
            *psPosixPath = MapComponents(MachineRoot() + "/drive_c", sPath.substr(2));
            return true;
        }
        if (chDrive == 'Z')
        {
            *psPosixPath = MapComponents("/", sPath.substr(2));
            return true;
        }
        *pdwError = ERROR_PATH_NOT_FOUND;
        return false;
    }
    if (sPath.size() >= 2 && (sPath[0] == '\\' || sPath[0] == '/') && (sPath[1] == '\\' || sPath[1] == '/'))
    {
        *pdwError = ERROR_BAD_NETPATH; // no network shares on this machine
        return false;
    }
    if (sPath[0] == '\\' || sPath[0] == '/')
    { // the root of the current drive, which is Z:
        *psPosixPath = MapComponents("/", sPath);
        return true;
    }
    for (char& ch : sPath)
    {
        if (ch == '\\')
            ch = '/';
    }
    *psPosixPath = sPath;
    return true;
}

std::string ToWindowsPath(const std::string& sPosixPath)
{
    std::string sWindows;
    if (!sPosixPath.empty() && sPosixPath[0] == '/')
    {
        const std::string sDriveC = MachineRoot().empty() ? std::string() : MachineRoot() + "/drive_c";
        if (!sDriveC.empty() && sPosixPath.compare(0, sDriveC.size(), sDriveC) == 0 &&
            (sPosixPath.size() == sDriveC.size() || sPosixPath[sDriveC.size()] == '/'))
        {
            sWindows = "C:" + sPosixPath.substr(sDriveC.size());
            if (sWindows.size() == 2)
                sWindows += '\\';
        }
        else
        {
            sWindows = "Z:" + sPosixPath;
        }
    }
    else
    {
        sWindows = sPosixPath;
    }
    for (char& ch : sWindows)
    {
        if (ch == '/')
            ch = '\\';
    }
    return sWindows;
}

// The file's host path, as the system knows the descriptor.
std::string DescriptorPath(int fd)
{
    char szPath[4096];
    const ssize_t cch = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), szPath, sizeof szPath);
    return cch > 0 && static_cast<size_t>(cch) < sizeof szPath ? std::string(szPath, static_cast<size_t>(cch)) : "";
}

std::string ParentDirectory(std::string sPosixPath)
{
    while (sPosixPath.size() > 1 && sPosixPath.back() == '/')
        sPosixPath.pop_back();
    const size_t nSlash = sPosixPath.rfind('/');
    if (nSlash == std::string::npos)
        return ".";
    return nSlash == 0 ? "/" : sPosixPath.substr(0, nSlash);
}

} // namespace qxz::posix
