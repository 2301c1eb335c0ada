#include "pdi/pdi_utils.h"

#include <cstring>

#include "log/log_check.h"
#include "pdi/pdi_names.h"
#include "platform/win32.h"
#include "qxzglue/qxzglue_names.h"
#include "qxzglue/qxzglue_registry.h"
#include "qxzglue/qxzglue_utils.h"

static const char kSourcePath[] = "..\\..\\pdi\\pdi_utils.cpp";

// A failed shortening of the Glue path is reported under the text of the
// call itself, whether the call returned 0 or a length too long for the
// buffer; the check is not a single expression, so QX_FAILS cannot spell it.
static const char kShortGluePathFailed[] = "GetShortPathName( sFixedGluePath.c_str(), szShortPath, _MAX_PATH ) == 0";

static void AppendBackslashIfMissing(CQxCiString* psPath)
{
    if (!psPath->empty() && (*psPath)[psPath->length() - 1] != '\\')
        psPath->append(1, '\\');
}

// Reduces a doubled trailing backslash to one; a path of at least two
// characters is expected.
static void RemoveDoubledTrailingBackslash(CQxCiString* psPath)
{
    const CQxCiString::size_type nLength = psPath->length();
    if ((*psPath)[nLength - 1] == '\\' && (*psPath)[nLength - 2] == '\\')
        psPath->erase(nLength - 1);
}

// The short (8.3) form of an existing path, ending in a backslash. When the
// short form does not fit the buffer, the call returns the size it would
// need and leaves no path in the buffer, so that counts as a failure too.
static bool GetShortDirectoryPath(const CQxCiString& sLongPath, CQxCiString* psShortPath)
{
    char szShortPath[_MAX_PATH];
    const DWORD dwLength = GetShortPathName(sLongPath.c_str(), szShortPath, _MAX_PATH);
    if (dwLength == 0 || dwLength >= _MAX_PATH)
        return false;

    psShortPath->assign(szShortPath, static_cast<CQxCiString::size_type>(strnlen(szShortPath, dwLength)));
    AppendBackslashIfMissing(psShortPath);
    return true;
}

// On Windows 95, 98 and Me the paths are compared in their short form. The
// preload path need not exist: when it cannot be shortened it is compared
// in its long form.
static bool ShortenPaths(CQxCiString* psFixedGluePath, CQxCiString* psPreloadPath)
{
    if (!GetShortDirectoryPath(*psFixedGluePath, psFixedGluePath))
    {
        g_Log.LogError(0, kSourcePath, __LINE__, kLogCheckFormat, kShortGluePathFailed);
        return false;
    }
    if (!psPreloadPath->empty())
        GetShortDirectoryPath(*psPreloadPath, psPreloadPath);
    return true;
}

// The running installer has created its event: a signalled event says that
// it drives this installation, which must then be the preload one.
static bool DecideWithInstallerEvent(HANDLE hEventInstallerRunning, bool fRegOk, const CQxCiString& sPreloadPath,
                                     const CQxCiString& sFixedGluePath, InstallType* peType)
{
    if (WaitForSingleObject(hEventInstallerRunning, 0) != WAIT_OBJECT_0)
    {
        *peType = InstallType_Other;
        return true;
    }
    if (QX_FAILS(fRegOk == false))
        return false;
    if (QX_FAILS(sPreloadPath != sFixedGluePath))
        return false;

    *peType = InstallType_PreloadInstaller;
    return true;
}

// No installer is running: the Glue key's flag tells whether the preload
// installation is to start it.
static InstallType DecideWithoutInstallerEvent(const CQxCiString& sPreloadPath, const CQxCiString& sFixedGluePath)
{
    if (sPreloadPath != sFixedGluePath)
        return InstallType_Other;

    CQxCiString sRunPreloadInstaller;
    if (RegGetStringValue(g_sRegKeyGlue, g_sRegVnRunPreloadInstaller, &sRunPreloadInstaller, false,
                          HKEY_LOCAL_MACHINE) &&
        sRunPreloadInstaller == "true")
        return InstallType_PreloadRunInstaller;
    return InstallType_Preload;
}

bool GetInstallType(const CQxCiString& sGluePath, InstallType* peType)
{
    if (QX_FAILS(sGluePath.empty()))
        return false;
    if (QX_FAILS(peType == 0))
        return false;

    CQxCiString sFixedGluePath = sGluePath;
    if (QX_FAILS(sFixedGluePath.length() < 2))
        return false;
    RemoveDoubledTrailingBackslash(&sFixedGluePath);

    // A missing preload path is logged by the read and leaves the path
    // empty, which matches no Glue path.
    CQxCiString sPreloadPath;
    const bool fRegOk = RegGetStringValue(g_sRegKeyGlue, g_sRegVnPreloadPath, &sPreloadPath, true, HKEY_LOCAL_MACHINE);
    if (fRegOk)
        AppendBackslashIfMissing(&sPreloadPath);

    if (GetOsClass() <= OsClass_WinMe && !ShortenPaths(&sFixedGluePath, &sPreloadPath))
        return false;

    // The installer creates the event; any failure to open it means absent.
    const HANDLE hEventInstallerRunning = OpenEventA(EVENT_ALL_ACCESS, FALSE, g_sEventInstallerRunning.c_str());
    if (hEventInstallerRunning != 0)
    {
        const bool fResult =
            DecideWithInstallerEvent(hEventInstallerRunning, fRegOk, sPreloadPath, sFixedGluePath, peType);
        CloseHandle(hEventInstallerRunning);
        return fResult;
    }

    *peType = DecideWithoutInstallerEvent(sPreloadPath, sFixedGluePath);
    return true;
}
