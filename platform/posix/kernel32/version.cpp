#include "platform/posix/kernel32/version.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/posix/machine/atomic_file.h"
#include "platform/posix/machine/call_steps.h"
#include "platform/posix/machine/last_error.h"
#include "platform/posix/machine/machine_root.h"

namespace qxz::posix
{

namespace
{

constexpr char kVersionFileName[] = "version";

struct MachineVersion
{
    DWORD dwPlatformId;
    DWORD dwMajor;
    DWORD dwMinor;
    DWORD dwBuild;
    const char* pszServicePack;
    WORD wServicePackMajor;
};

// What a current Windows reports to a program without a compatibility
// manifest.
constexpr MachineVersion kDefaultVersion = {VER_PLATFORM_WIN32_NT, 6, 2, 9200, "", 0};

struct NamedVersion
{
    const char* pszName;
    MachineVersion tVersion;
};

constexpr NamedVersion kNamedVersions[] = {
    {"default", kDefaultVersion},
    {"win32s", {VER_PLATFORM_WIN32s, 3, 10, 0, "", 0}},
    {"win95", {VER_PLATFORM_WIN32_WINDOWS, 4, 0, 950, "", 0}},
    {"win98", {VER_PLATFORM_WIN32_WINDOWS, 4, 10, 1998, "", 0}},
    {"winme", {VER_PLATFORM_WIN32_WINDOWS, 4, 90, 3000, "", 0}},
    {"nt351", {VER_PLATFORM_WIN32_NT, 3, 51, 1057, "", 0}},
    {"nt4", {VER_PLATFORM_WIN32_NT, 4, 0, 1381, "Service Pack 6", 6}},
    {"win2k", {VER_PLATFORM_WIN32_NT, 5, 0, 2195, "Service Pack 4", 4}},
    {"winxp", {VER_PLATFORM_WIN32_NT, 5, 1, 2600, "Service Pack 3", 3}},
    {"vista", {VER_PLATFORM_WIN32_NT, 6, 0, 6002, "Service Pack 2", 2}},
    {"win7", {VER_PLATFORM_WIN32_NT, 6, 1, 7601, "Service Pack 1", 1}},
    {"win8", {VER_PLATFORM_WIN32_NT, 6, 2, 9200, "", 0}},
};

// A decimal number at the front of *ppszText, followed by cEnd (or the end of
// the text when cEnd is '\0').
bool TakeNumber(const char** ppszText, char cEnd, DWORD* pdwNumber)
{
    const char* psz = *ppszText;
    DWORD dwNumber = 0;
    if (*psz < '0' || *psz > '9')
        return false;
    for (; *psz >= '0' && *psz <= '9'; ++psz)
    {
        if (dwNumber > 0xFFFF)
            return false;
        dwNumber = dwNumber * 10 + static_cast<DWORD>(*psz - '0');
    }
    if (*psz != cEnd)
        return false;
    *ppszText = cEnd == '\0' ? psz : psz + 1;
    *pdwNumber = dwNumber;
    return true;
}

bool ParseVersionSetting(const std::string& sSetting, MachineVersion* ptVersion)
{
    for (const NamedVersion& tNamed : kNamedVersions)
    {
        if (strcasecmp(tNamed.pszName, sSetting.c_str()) == 0)
        {
            *ptVersion = tNamed.tVersion;
            return true;
        }
    }
    MachineVersion tVersion = {0, 0, 0, 0, "", 0};
    const char* psz = sSetting.c_str();
    if (!TakeNumber(&psz, ':', &tVersion.dwPlatformId) || !TakeNumber(&psz, '.', &tVersion.dwMajor) ||
        !TakeNumber(&psz, '.', &tVersion.dwMinor) || !TakeNumber(&psz, '\0', &tVersion.dwBuild))
    {
        return false;
    }
    *ptVersion = tVersion;
    return true;
}

std::string Trimmed(const std::string& sText)
{
    size_t nStart = sText.find_first_not_of(" \t\r\n");
    if (nStart == std::string::npos)
        return std::string();
    return sText.substr(nStart, sText.find_last_not_of(" \t\r\n") - nStart + 1);
}

DWORD ReadMachineVersion(MachineVersion* ptVersion)
{
    std::string sSetting;
    if (!ReadWholeFile(MachineFile(kVersionFileName), &sSetting))
    {
        if (errno != ENOENT)
            return ErrorFromErrno(errno);
        *ptVersion = kDefaultVersion;
        return ERROR_SUCCESS;
    }
    return ParseVersionSetting(Trimmed(sSetting), ptVersion) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

// Windows 95, 98 and Me keep their major and minor version in the high word
// of the build number.
DWORD ReportedBuildNumber(const MachineVersion& tVersion)
{
    if (tVersion.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS)
        return tVersion.dwBuild;
    return (tVersion.dwMajor & 0xFF) << 24 | (tVersion.dwMinor & 0xFF) << 16 | (tVersion.dwBuild & 0xFFFF);
}

} // namespace

DWORD SetMachineVersion(const std::string& sSetting)
{
    MachineVersion tVersion;
    if (!ParseVersionSetting(sSetting, &tVersion))
        return ERROR_INVALID_PARAMETER;
    if (MachineRoot().empty())
        return ERROR_PATH_NOT_FOUND;
    if (!ReplaceFileAtomically(MachineFile(kVersionFileName), sSetting + "\n"))
        return ErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

} // namespace qxz::posix

using namespace qxz::posix;

extern "C" BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation)
{
    if (CallFaulted("GetVersionExA", nullptr))
        return FALSE;
    if (lpVersionInformation == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD cbRecord = lpVersionInformation->dwOSVersionInfoSize;
    if (cbRecord != sizeof(OSVERSIONINFOA) && cbRecord != sizeof(OSVERSIONINFOEXA))
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    MachineVersion tVersion;
    const DWORD dwError = ReadMachineVersion(&tVersion);
    if (dwError != ERROR_SUCCESS)
    {
        SetLastError(dwError);
        return FALSE;
    }
    lpVersionInformation->dwMajorVersion = tVersion.dwMajor;
    lpVersionInformation->dwMinorVersion = tVersion.dwMinor;
    lpVersionInformation->dwBuildNumber = ReportedBuildNumber(tVersion);
    lpVersionInformation->dwPlatformId = tVersion.dwPlatformId;
    snprintf(lpVersionInformation->szCSDVersion, sizeof lpVersionInformation->szCSDVersion, "%s",
             tVersion.pszServicePack);
    if (cbRecord == sizeof(OSVERSIONINFOEXA))
    {
        auto* ptExtended = reinterpret_cast<LPOSVERSIONINFOEXA>(lpVersionInformation);
        ptExtended->wServicePackMajor = tVersion.wServicePackMajor;
        ptExtended->wServicePackMinor = 0;
        ptExtended->wSuiteMask = 0;
        ptExtended->wProductType = tVersion.dwPlatformId == VER_PLATFORM_WIN32_NT ? VER_NT_WORKSTATION : 0;
        ptExtended->wReserved = 0;
    }
    return TRUE;
}
