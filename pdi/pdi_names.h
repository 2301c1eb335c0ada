// The installer's names: the keys and values that the preload installer
// reads and writes, and the kernel objects through which Glue, the installer
// and the Pin take turns.
//
// Like the library's names, every constant has internal linkage and is built
// in the including module from that module's own copies of its parts.
#ifndef QXZ_PDI_PDI_NAMES_H
#define QXZ_PDI_PDI_NAMES_H

#include "qxzglue/qxzglue_names.h"
#include "text/qx_ci_string.h"

// Registry keys, below HKEY_LOCAL_MACHINE.
static const CQxCiString g_sRegKeyCurrentVersion = g_sRegKeySoftware + "\\Microsoft\\Windows\\CurrentVersion";
static const CQxCiString g_sRegKeyLegacy = g_sRegKeyGlue + "\\Legacy";

// Values of the Glue key that belong to the preload installation.
static const CQxCiString g_sRegVnFactoryPreloaded = "FactoryPreloaded";
static const CQxCiString g_sRegVnPreloadPath = "PreloadPath";
static const CQxCiString g_sRegVnPreloadModels = "PreloadModels";
static const CQxCiString g_sRegVnEregPathname = "EregPathname";
static const CQxCiString g_sRegVnEregedModels = "EregedModels";
static const CQxCiString g_sRegVnRunPreloadInstaller = "RunPreloadInstaller";
static const CQxCiString g_sRegVnPreloadInstallerSwitches = "PreloadInstallerSwitches";
static const CQxCiString g_sRegVnOverrideLanguage = "OverrideLanguage";
static const CQxCiString g_sRegVnDefaultPrinter = "DefaultPrinter";
static const CQxCiString g_sRegVnGlueResult = "GlueResult";

// Named kernel objects. The names are case-sensitive for the object manager,
// so they are used exactly as written here.
static const CQxCiString g_sEventGlueRan = "QXZ_Glue_Ran";
static const CQxCiString g_sNameGlueInstalledDriver = "QXZ_Glue_Installed_Driver";
static const CQxCiString g_sNameGlueFinished = "QXZ_Glue_Finished";
static const CQxCiString g_sEventInstallerRunning = "QXZ_Installer_Running";
static const CQxCiString g_sMutexInstallationInitializing = "QXZ_Installation_Initializing";

// The installer's own program.
static const CQxCiString g_sSetupExe = "setup.exe";

#endif // QXZ_PDI_PDI_NAMES_H
