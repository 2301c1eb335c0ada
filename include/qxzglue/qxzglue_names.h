// The names that the installer family shares: registry keys and value names,
// command-line switches, sibling file names and a few further words.
//
// Every constant has internal linkage, so each module that includes this
// header builds its own copies, in the order written here, before the entry
// runs. A composite is built from the constants above it, never from another
// module's copy, which keeps start-up independent of the order in which
// modules are initialised.
//
// Most of these names are not used by the Pin; they are the vocabulary of the
// Glue key and of the command line that the whole family speaks.
#ifndef QXZ_QXZGLUE_QXZGLUE_NAMES_H
#define QXZ_QXZGLUE_QXZGLUE_NAMES_H

#include "text/qx_ci_string.h"

// Registry keys, below HKEY_LOCAL_MACHINE, and the co-installer's status value.
static const CQxCiString g_sRegKeySoftware = "SOFTWARE";
static const CQxCiString g_sRegKeyVorquelle = g_sRegKeySoftware + "\\Vorquelle";
static const CQxCiString g_sRegKeyQxz = g_sRegKeyVorquelle + "\\QXZ";
static const CQxCiString g_sRegKeyGlue = g_sRegKeyQxz + "\\Glue";
static const CQxCiString g_sRegKeyCoInstaller = g_sRegKeyGlue + "\\CoInstaller";
static const CQxCiString g_sRegVnStatusCode = "StatusCode";

// Registry value names.
static const CQxCiString g_sRegVnCmdLine = "CmdLine";
static const CQxCiString g_sRegVnGluePath = "GluePath";
static const CQxCiString g_sRegVnGlueName = "GlueName";
static const CQxCiString g_sRegVnProduct = "Product";
static const CQxCiString g_sRegVnPort = "Port";
static const CQxCiString g_sRegVnPrinterFriendlyName = "PrinterFriendlyName";
static const CQxCiString g_sRegVnInfID = "InfID";
static const CQxCiString g_sRegVnPinTimeout = "pintimeout";
static const CQxCiString g_sRegVnGhoulTimeout = "ghoultimeout";

// Command-line switches. The same words name values under a driver's Glue
// key, where Glue may leave a parameter instead of passing it as a switch.
static const CQxCiString g_sSwitchPrinterDriver = "printerdriver";
static const CQxCiString g_sSwitchProduct = "product";
static const CQxCiString g_sSwitchPort = "port";
static const CQxCiString g_sSwitchPinPathname = "pinpathname";
static const CQxCiString g_sSwitchGhoulPathname = "ghoulpathname";
static const CQxCiString g_sSwitchPdiPathname = "pdipathname";
static const CQxCiString g_sSwitchRunPin = "runpin";
static const CQxCiString g_sSwitchRunGhoul = "runghoul";
static const CQxCiString g_sSwitchRunPdi = "runpdi";
static const CQxCiString g_sSwitchLanguagePath = "languagepath";
static const CQxCiString g_sSwitchLanguageDir = "languagedir";
static const CQxCiString g_sSwitchDriversDir = "driversdir";
static const CQxCiString g_sSwitchOsPath = "ospath";
static const CQxCiString g_sSwitchOsDir = "osdir";
static const CQxCiString g_sSwitchInfPath = "infpath";
static const CQxCiString g_sSwitchInfPathname = "infpathname";
static const CQxCiString g_sSwitchCoRunPin = "corunpin";
static const CQxCiString g_sSwitchCoRunPdi = "corunpdi";
static const CQxCiString g_sSwitchUninstall = "uninstall";
static const CQxCiString g_sSwitchPduPathname = "pdupathname";
static const CQxCiString g_sSwitchRunPdu = "runpdu";
static const CQxCiString g_sSwitchInfCleanup = "infcleanup";
static const CQxCiString g_sSwitchRegistryCleanup = "registrycleanup";
static const CQxCiString g_sSwitchDriverFilesCleanup = "driverfilescleanup";
static const CQxCiString g_sSwitchScrubberPathname = "scrubberpathname";
static const CQxCiString g_sSwitchServiceRunning = "servicerunning";
static const CQxCiString g_sSwitchQxRegistry = "qxregistry";
static const CQxCiString g_sSwitchStatusCode = "statuscode";

// Sibling programs and libraries of the family: a six-letter stem, the
// release number and the extension.
static const CQxCiString g_sFileVersion = "14";
static const CQxCiString g_sGlueDll = "qxzglu" + g_sFileVersion + ".dll";
static const CQxCiString g_sCoInstallerDll = g_sGlueDll;
static const CQxCiString g_sPduExe = "qxzpdu" + g_sFileVersion + ".exe";
static const CQxCiString g_sUninstallerExe = g_sPduExe;
static const CQxCiString g_sScrubberExe = "qxzscr" + g_sFileVersion + ".exe";
static const CQxCiString g_sServiceExe = "qxzsvc" + g_sFileVersion + ".exe";
static const CQxCiString g_sStatusMonitorExe = "qxzstm" + g_sFileVersion + ".exe";
static const CQxCiString g_sDriverUiDll = "qxzdui" + g_sFileVersion + ".dll";
static const CQxCiString g_sRenderDll = "qxzrnd" + g_sFileVersion + ".dll";
static const CQxCiString g_sResourceDll = "qxzres" + g_sFileVersion + ".dll";
static const CQxCiString g_sLanguageMonitorDll = "qxzlmn" + g_sFileVersion + ".dll";
static const CQxCiString g_sPortMonitorDll = "qxzpmn" + g_sFileVersion + ".dll";
static const CQxCiString g_sPrintProcessorDll = "qxzppr" + g_sFileVersion + ".dll";

// Further words: folder names of the driver tree and the Windows families.
static const CQxCiString g_sUtil = "util";
static const CQxCiString g_sCommon = "common";
static const CQxCiString g_sDrivers = "drivers";
static const CQxCiString g_sWin9xMe = "Win9x_ME";
static const CQxCiString g_sWinNt = "Win_NT";
static const CQxCiString g_sWin2kXp = "Win2K_XP";

#endif // QXZ_QXZGLUE_QXZGLUE_NAMES_H
