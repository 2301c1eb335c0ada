// What kind of installation the Pin is part of, told from the preload path,
// the installer's event and the Glue key's flags.
#ifndef QXZ_PDI_PDI_UTILS_H
#define QXZ_PDI_PDI_UTILS_H

#include "text/qx_ci_string.h"

// The kinds of installation. The values are fixed; InstallType_Unknown is
// only the start value that callers give their variable.
enum InstallType
{
    InstallType_Preload = 0,             // preload path, no installer running, not asked to run it
    InstallType_PreloadRunInstaller = 1, // preload path, no installer running, "RunPreloadInstaller" is "true"
    InstallType_PreloadInstaller = 2,    // preload path, and the running installer has signalled its event
    InstallType_Other = 3,               // any other Glue path, or an installer that has not signalled
    InstallType_Unknown = 4
};

// Decides the install type for the Glue path of a driver. On success one of
// the values 0 to 3 is stored through peType; on failure nothing is stored
// and the reason has been logged.
bool GetInstallType(const CQxCiString& sGluePath, InstallType* peType);

#endif // QXZ_PDI_PDI_UTILS_H
