#include "pin/pin_install.h"

#include "log/log_check.h"
#include "pdi/pdi_names.h"
#include "pdi/pdi_utils.h"
#include "pin/pin_names.h"
#include "pin/pin_pathname.h"
#include "platform/win32.h"
#include "qxzglue/qxzglue_names.h"
#include "qxzglue/qxzglue_registry.h"
#include "qxzglue/qxzglue_utils.h"

static const char s_szSourcePath[] = "..\\pin_install.cpp";

// How long the Pin waits for the installer's mutex.
static const DWORD s_dwPreloadInstallerTimeout = 180000;
static const DWORD s_dwInstallerTimeout = 1000;
// "pintimeout" tells the others the long wait, in seconds.
static const DWORD s_dwPreloadInstallerTimeoutSeconds = s_dwPreloadInstallerTimeout / 1000;

// Every registry access of the pre-install is to HKEY_LOCAL_MACHINE and has
// the registry's own failures logged. These forms say so once, and keep the
// checks, whose text the log shows, as short as they read in the log.
namespace
{
bool RegGetStringValue(const CQxCiString& sPath, const CQxCiString& sValueName, CQxCiString* psValueData)
{
    return ::RegGetStringValue(sPath, sValueName, psValueData, true, HKEY_LOCAL_MACHINE);
}

bool RegSetStringValue(const CQxCiString& sPath, const CQxCiString& sValueName, const CQxCiString& sValueData)
{
    return ::RegSetStringValue(sPath, sValueName, sValueData, true, HKEY_LOCAL_MACHINE);
}

bool RegSetDwordValue(const CQxCiString& sPath, const CQxCiString& sValueName, DWORD dwValueData)
{
    return ::RegSetDwordValue(sPath, sValueName, dwValueData, true, HKEY_LOCAL_MACHINE);
}
}  // namespace

// ---- Hand-off with Glue and the installer ---------------------------------------

// The wait for the installer's mutex. Only the running preload installer
// gets the long wait, and the others learn of it before it begins.
static bool ChooseWaitTimeout(const CQxCiString& sRegKeyGlueDriver, InstallType eInstallType,
                              DWORD* pdwTimeout)
{
    if (QX_FAILS(eInstallType == InstallType_Unknown))
        return false;

    if (eInstallType == InstallType_PreloadInstaller)
    {
        // A failed write is logged by the registry and does not stop the wait.
        RegSetDwordValue(sRegKeyGlueDriver, g_sRegVnPinTimeout, s_dwPreloadInstallerTimeoutSeconds);
        *pdwTimeout = s_dwPreloadInstallerTimeout;
    }
    else
    {
        *pdwTimeout = s_dwInstallerTimeout;
    }
    return true;
}

// Runs once the installer's mutex is ours. A missing override is logged by
// the read and leaves "languagedir" as it was.
static bool CopyLanguageOverride(const CQxCiString& sRegKeyGlueDriver)
{
    CQxCiString sOverrideLanguage;
    RegGetStringValue(g_sRegKeyGlue, g_sRegVnOverrideLanguage, &sOverrideLanguage);
    if (sOverrideLanguage.empty())
        return true;

    if (QX_FAILS(RegSetStringValue( sRegKeyGlueDriver, g_sSwitchLanguageDir, sOverrideLanguage ) == false))
        return false;
    return true;
}

// The steps of ConvertParameters after the driver name check. Each handle is
// handed to the caller as soon as it is opened, so that the caller's
// clean-up runs on every path.
static bool HandOffToInstaller(const CQxCiString& sDriverName, HANDLE* phEventGlueRan,
                               HANDLE* phMutexInstallerInitializing)
{
    // Glue learns first that the Pin runs, before anything can fail.
    const HANDLE hEventGlueRan = CreateEventA(nullptr, TRUE, FALSE, g_sEventGlueRan.c_str());
    *phEventGlueRan = hEventGlueRan;
    if (QX_FAILS(hEventGlueRan == 0))
        return false;
    if (QX_FAILS(SetEvent( hEventGlueRan ) == FALSE))
        return false;

    const CQxCiString sRegKeyGlueDriver = g_sRegKeyGlue + "\\" + sDriverName;
    CQxCiString sGluePath;
    if (QX_FAILS(RegGetStringValue( sRegKeyGlueDriver, g_sRegVnGluePath, &sGluePath ) == false))
        return false;
    if (QX_FAILS(IsFilePresent( sGluePath ) == false))
        return false;

    InstallType eInstallType = InstallType_Unknown;
    if (QX_FAILS(GetInstallType( sGluePath, &eInstallType ) == false))
        return false;
    DWORD dwTimeout = 0;
    if (!ChooseWaitTimeout(sRegKeyGlueDriver, eInstallType, &dwTimeout))
        return false;

    // Created with initial ownership and then waited on: when the Pin
    // creates the mutex it holds it twice, and after the one release below
    // keeps it until it exits. The installer relies on that.
    const HANDLE hMutexInstallerInitializing =
        CreateMutexA(nullptr, TRUE, g_sMutexInstallationInitializing.c_str());
    *phMutexInstallerInitializing = hMutexInstallerInitializing;
    if (QX_FAILS(hMutexInstallerInitializing == 0))
        return false;

    const DWORD dwWaitResult = WaitForSingleObject(hMutexInstallerInitializing, dwTimeout);
    if (QX_FAILS(dwWaitResult == WAIT_FAILED))
        return false;
    if (QX_FAILS(dwWaitResult == WAIT_ABANDONED))
        return false;
    if (QX_FAILS(dwWaitResult == WAIT_TIMEOUT))
        return false;
    if (QX_FAILS(dwWaitResult != WAIT_OBJECT_0))
        return false;

    return CopyLanguageOverride(sRegKeyGlueDriver);
}

bool ConvertParameters(const CQxCiString& sDriverName)
{
    if (QX_FAILS(sDriverName.empty()))
        return false;

    HANDLE hEventGlueRan = 0;
    HANDLE hMutexInstallerInitializing = 0;
    const bool fResult = HandOffToInstaller(sDriverName, &hEventGlueRan, &hMutexInstallerInitializing);

    // The signal stays set for Glue. The mutex is released once whatever the
    // wait returned; after a failed wait the release fails, unlooked at.
    if (hEventGlueRan != 0)
        CloseHandle(hEventGlueRan);
    if (hMutexInstallerInitializing != 0)
    {
        ReleaseMutex(hMutexInstallerInitializing);
        CloseHandle(hMutexInstallerInitializing);
    }
    return fResult;
}

// ---- Registrations ------------------------------------------------------------

// The first checks of every registration: a driver to register for and a
// Pin path name to register.
static bool GetPinPathnameForDriver(const CQxCiString& sDriverName, CQxCiString* psPinPathname)
{
    if (QX_FAILS(sDriverName.empty()))
        return false;
    const CQxCiString sPinPathname = GetPinPathname();
    if (QX_FAILS(sPinPathname.empty()))
        return false;

    *psPinPathname = sPinPathname;
    return true;
}

bool RegisterPin(const CQxCiString& sDriverName)
{
    CQxCiString sPinPathname;
    if (!GetPinPathnameForDriver(sDriverName, &sPinPathname))
        return false;

    const CQxCiString sRegKeyGlueDriver = g_sRegKeyGlue + "\\" + sDriverName;
    if (QX_FAILS(RegSetStringValue( sRegKeyGlueDriver, g_sSwitchPinPathname, sPinPathname ) == false))
        return false;
    return true;
}

// A sibling program expected in the Pin's own directory. Each sibling's
// failed checks are logged under the names of its own registration, which
// differ from the shared code's, so its texts are given here in full.
struct SiblingProgram
{
    const CQxCiString& sExeName;
    const CQxCiString& sValueName;
    const char* pszGetPathCheck;
    const char* pszPathnameEmptyCheck;
    const char* pszRegSetCheck;
};

static void LogFailedCheck(int32_t nLine, const char* pszConditionText)
{
    g_Log.LogError(0, s_szSourcePath, nLine, "Error --> %s", pszConditionText);
}

static bool RegisterSibling(const CQxCiString& sDriverName, const SiblingProgram& tSibling)
{
    CQxCiString sPinPathname;
    if (!GetPinPathnameForDriver(sDriverName, &sPinPathname))
        return false;

    CQxCiString sSiblingPathname;
    if (!GetPath(sPinPathname, &sSiblingPathname))
    {
        LogFailedCheck(__LINE__, tSibling.pszGetPathCheck);
        return false;
    }
    if (sSiblingPathname.empty())
    {
        LogFailedCheck(__LINE__, tSibling.pszPathnameEmptyCheck);
        return false;
    }
    sSiblingPathname += tSibling.sExeName;

    const CQxCiString sRegKeyGlueDriver = g_sRegKeyGlue + "\\" + sDriverName;
    if (!RegSetStringValue(sRegKeyGlueDriver, tSibling.sValueName, sSiblingPathname))
    {
        LogFailedCheck(__LINE__, tSibling.pszRegSetCheck);
        return false;
    }
    return true;
}

bool RegisterPdi(const CQxCiString& sDriverName)
{
    const SiblingProgram tPdi = {
        g_sPdiExe, g_sSwitchPdiPathname, "GetPath( sPinPathname, &sPdiPathname ) == false",
        "sPdiPathname.empty()",
        "RegSetStringValue( sRegKeyGlueDriver, g_sSwitchPdiPathname, sPdiPathname ) == false"};
    return RegisterSibling(sDriverName, tPdi);
}

bool RegisterGhoul(const CQxCiString& sDriverName)
{
    const SiblingProgram tGhoul = {
        g_sGhoulExe, g_sSwitchGhoulPathname, "GetPath( sPinPathname, &sGhoulPathname ) == false",
        "sGhoulPathname.empty()",
        "RegSetStringValue( sRegKeyGlueDriver, g_sSwitchGhoulPathname, sGhoulPathname ) == false"};
    return RegisterSibling(sDriverName, tGhoul);
}

// ---- The sequence ---------------------------------------------------------------

bool PreInstall(const CQxCiString& sDriverName)
{
    if (QX_FAILS(sDriverName.empty()))
        return false;
    if (QX_FAILS(ConvertParameters( sDriverName ) == false))
        return false;
    if (QX_FAILS(RegisterPin( sDriverName ) == false))
        return false;
    if (QX_FAILS(RegisterPdi( sDriverName ) == false))
        return false;
    if (QX_FAILS(RegisterGhoul( sDriverName ) == false))
        return false;
    if (QX_FAILS(RegSetStringValue( g_sRegKeyGlue + "\\" + sDriverName, g_sSwitchRunGhoul,"true" ) == false))
        return false;
    return true;
}
