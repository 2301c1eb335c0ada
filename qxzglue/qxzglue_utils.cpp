#include "qxzglue/qxzglue_utils.h"

#include "log/log_check.h"
#include "platform/win32.h"
#include "qxzglue/qxzglue_names.h"
#include "qxzglue/qxzglue_registry.h"

static const char kSourcePath[] = "..\\..\\qxzglue\\qxzglue_utils.cpp";

bool FindCmdLineVar(const CQxCiString& sCmdLine, const CQxCiString& sKey, CQxCiString* psValue)
{
    if (QX_FAILS(sCmdLine.empty()))
        return false;
    if (QX_FAILS(sKey.empty()))
        return false;
    if (QX_FAILS(psValue == 0))
        return false;

    // An absent switch is for the caller to judge, so it is not logged.
    CQxCiString::size_type isCmdLine = sCmdLine.find(sKey + '=');
    if (isCmdLine == CQxCiString::npos)
        return false;

    isCmdLine += sKey.length() + 1;
    if (QX_FAILS(isCmdLine >= sCmdLine.length()))
        return false;
    isCmdLine = sCmdLine.find_first_not_of(' ', isCmdLine);
    if (QX_FAILS(isCmdLine == CQxCiString::npos))
        return false;

    CQxCiString sValue = sCmdLine.substr(isCmdLine);
    CQxCiString::size_type isValue = sValue.find('=');
    if (isValue != CQxCiString::npos)
    {
        // Another switch follows: the value ends at the "-" that introduces
        // it, which is the last "-" before its "=".
        sValue.erase(isValue);
        isValue = sValue.rfind('-');
        if (QX_FAILS(isValue == CQxCiString::npos))
            return false;
        sValue.erase(isValue);

        isValue = sValue.find_last_not_of(' ');
        if (isValue != CQxCiString::npos)
            sValue.erase(isValue + 1);
    }

    *psValue = sValue;
    return true;
}

bool GetDriverParameter(const CQxCiString& sCmdLine, const CQxCiString& sDriverName, const CQxCiString& sParameterName,
                        CQxCiString* psParameterValue)
{
    CQxCiString sParameterValue;

    if (QX_FAILS(sParameterName.empty()))
        return false;
    if (QX_FAILS(psParameterValue == 0))
        return false;

    // The command line overrides what Glue left in the driver's key.
    if (!FindCmdLineVar(sCmdLine, sParameterName, &sParameterValue))
    {
        if (QX_FAILS(sDriverName.empty()))
            return false;
        const CQxCiString sRegKeyGlueDriver = RegKeyGlueDriver(sDriverName);
        if (!RegGetStringValue(sRegKeyGlueDriver, sParameterName, &sParameterValue, false, HKEY_LOCAL_MACHINE))
            return false;
    }

    if (QX_FAILS(sParameterValue.empty()))
        return false;

    *psParameterValue = sParameterValue;
    return true;
}

bool IsDriverParameterSet(const CQxCiString& sCmdLine, const CQxCiString& sDriverName,
                          const CQxCiString& sParameterName)
{
    CQxCiString sParameterValue;
    return GetDriverParameter(sCmdLine, sDriverName, sParameterName, &sParameterValue);
}

bool GetPath(const CQxCiString& sPathname, CQxCiString* psPath)
{
    if (QX_FAILS(sPathname.empty()))
        return false;
    if (QX_FAILS(psPath == 0))
        return false;

    // Only the backslash separates directories; "/" belongs to a name.
    const CQxCiString::size_type isPathname = sPathname.rfind('\\');
    if (QX_FAILS(isPathname == CQxCiString::npos))
        return false;

    *psPath = sPathname.substr(0, isPathname + 1);
    return true;
}

bool IsFilePresent(const CQxCiString& sPathname)
{
    if (sPathname.empty())
        return false;

    // A directory search does not match "dir\" itself, but "dir\*" finds at
    // least its "." entry.
    CQxCiString sPattern = sPathname;
    if (sPattern[sPattern.length() - 1] == '\\')
        sPattern += '*';

    WIN32_FIND_DATAA tFindData;
    const HANDLE hFind = FindFirstFileA(sPattern.c_str(), &tFindData);
    if (hFind == INVALID_HANDLE_VALUE)
        return false;
    FindClose(hFind);
    return true;
}

// The Windows 9x family tells its members apart by the minor version alone.
static OsClass GetWindowsPlatformClass(DWORD dwMinorVersion)
{
    switch (dwMinorVersion)
    {
        case 0: return OsClass_Win95;
        case 10: return OsClass_Win98;
        case 90: return OsClass_WinMe;
        default: return OsClass_Unknown;
    }
}

// Above NT 4 only the minor version decides: 6.0 counts as 2000, 6.1 as XP.
static OsClass GetNtPlatformClass(const OSVERSIONINFOA& tOsVersion)
{
    if (QX_FAILS(tOsVersion.dwMajorVersion < 4))
        return OsClass_Unknown;
    if (tOsVersion.dwMajorVersion == 4)
        return OsClass_WinNt4;
    return tOsVersion.dwMinorVersion == 0 ? OsClass_Win2000 : OsClass_WinXp;
}

OsClass GetOsClass()
{
    OSVERSIONINFOA tOsVersion = {};
    tOsVersion.dwOSVersionInfoSize = sizeof(tOsVersion);

    if (QX_FAILS(GetVersionEx( &tOsVersion ) == 0))
        return OsClass_Unknown;
    if (QX_FAILS((tOsVersion.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) && (tOsVersion.dwPlatformId != VER_PLATFORM_WIN32_NT)))
        return OsClass_Unknown;
    if (tOsVersion.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        return GetWindowsPlatformClass(tOsVersion.dwMinorVersion);
    return GetNtPlatformClass(tOsVersion);
}

CQxCiString RegKeyGlueDriver(const CQxCiString& sDriverName)
{
    return g_sRegKeyGlue + "\\" + sDriverName;
}
