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

static const char kSourcePath[] = "..\\pin_install.cpp";

// How long the Pin waits for the installer's mutex.
static const DWORD kPreloadInstallerTimeout = 180000;
static const DWORD kInstallerTimeout = 1000;
// "pintimeout" tells the others the long wait, in seconds.
static const DWORD kPreloadInstallerTimeoutSeconds = kPreloadInstallerTimeout / 1000;

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
} // namespace

// ---- Hand-off with Glue and the installer ---------------------------------------

bool ConvertParameters(const CQxCiString& sDriverName)
{
    if (QX_FAILS(sDriverName.empty()))
        return false;

    // Everything the clean-up looks at is declared before the first jump to it.
    bool fResult = false;
    HANDLE hEventGlueRan = 0;
    HANDLE hMutexInstallerInitializing = 0;
    const CQxCiString sRegKeyGlueDriver = RegKeyGlueDriver(sDriverName);
    CQxCiString sGluePath;
    InstallType eInstallType = InstallType_Unknown;
    DWORD dwTimeout = 0;
    DWORD dwWaitResult = 0;
    CQxCiString sOverrideLanguage;

    // Glue learns first that the Pin runs, before anything can fail.
    hEventGlueRan = CreateEventA(nullptr, TRUE, FALSE, g_sEventGlueRan.c_str());
    if (QX_FAILS(hEventGlueRan == 0))
        goto Cleanup;
    if (QX_FAILS(SetEvent( hEventGlueRan ) == FALSE))
        goto Cleanup;

    if (QX_FAILS(RegGetStringValue( sRegKeyGlueDriver, g_sRegVnGluePath, &sGluePath ) == false))
        goto Cleanup;
    if (QX_FAILS(IsFilePresent( sGluePath ) == false))
        goto Cleanup;
    if (QX_FAILS(GetInstallType( sGluePath, &eInstallType ) == false))
        goto Cleanup;

    // Only the running preload installer gets the long wait, and the others
    // learn of it before it begins.
    if (QX_FAILS(eInstallType == InstallType_Unknown))
        goto Cleanup;
    if (eInstallType == InstallType_PreloadInstaller)
    {
        // A failed write is logged by the registry and does not stop the wait.
        RegSetDwordValue(sRegKeyGlueDriver, g_sRegVnPinTimeout, kPreloadInstallerTimeoutSeconds);
        dwTimeout = kPreloadInstallerTimeout;
    }
    else
    {
        dwTimeout = kInstallerTimeout;
    }

    // Created with initial ownership and then waited on: when the Pin
    // creates the mutex it holds it twice, and after the one release below
    // keeps it until it exits. The installer relies on that.
    hMutexInstallerInitializing = CreateMutexA(nullptr, TRUE, g_sMutexInstallationInitializing.c_str());
    if (QX_FAILS(hMutexInstallerInitializing == 0))
        goto Cleanup;

    dwWaitResult = WaitForSingleObject(hMutexInstallerInitializing, dwTimeout);
    if (QX_FAILS(dwWaitResult == WAIT_FAILED))
        goto Cleanup;
    if (QX_FAILS(dwWaitResult == WAIT_ABANDONED))
        goto Cleanup;
    if (QX_FAILS(dwWaitResult == WAIT_TIMEOUT))
        goto Cleanup;
    if (QX_FAILS(dwWaitResult != WAIT_OBJECT_0))
        goto Cleanup;

    // A missing override is logged by the read and leaves "languagedir" as
    // it was.
    RegGetStringValue(g_sRegKeyGlue, g_sRegVnOverrideLanguage, &sOverrideLanguage);
    if (!sOverrideLanguage.empty())
    {
        if (QX_FAILS(RegSetStringValue( sRegKeyGlueDriver, g_sSwitchLanguageDir, sOverrideLanguage ) == false))
            goto Cleanup;
    }
    fResult = true;

Cleanup:
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

    const CQxCiString sRegKeyGlueDriver = RegKeyGlueDriver(sDriverName);
    if (QX_FAILS(RegSetStringValue( sRegKeyGlueDriver, g_sSwitchPinPathname, sPinPathname ) == false))
        return false;
    return true;
}

bool RegisterPdi(const CQxCiString& sDriverName)
{
    CQxCiString sPinPathname;
    if (!GetPinPathnameForDriver(sDriverName, &sPinPathname))
        return false;

    // The sibling lies in the Pin's own directory.
    CQxCiString sPdiPathname;
    if (QX_FAILS(GetPath( sPinPathname, &sPdiPathname ) == false))
        return false;
    if (QX_FAILS(sPdiPathname.empty()))
        return false;
    sPdiPathname += g_sPdiExe;

    const CQxCiString sRegKeyGlueDriver = RegKeyGlueDriver(sDriverName);
    if (QX_FAILS(RegSetStringValue( sRegKeyGlueDriver, g_sSwitchPdiPathname, sPdiPathname ) == false))
        return false;
    return true;
}

bool RegisterGhoul(const CQxCiString& sDriverName)
{
    CQxCiString sPinPathname;
    if (!GetPinPathnameForDriver(sDriverName, &sPinPathname))
        return false;

    // The sibling lies in the Pin's own directory.
    CQxCiString sGhoulPathname;
    if (QX_FAILS(GetPath( sPinPathname, &sGhoulPathname ) == false))
        return false;
    if (QX_FAILS(sGhoulPathname.empty()))
        return false;
    sGhoulPathname += g_sGhoulExe;

    const CQxCiString sRegKeyGlueDriver = RegKeyGlueDriver(sDriverName);
    if (QX_FAILS(RegSetStringValue( sRegKeyGlueDriver, g_sSwitchGhoulPathname, sGhoulPathname ) == false))
        return false;
    return true;
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
