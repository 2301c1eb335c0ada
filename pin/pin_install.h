// The pre-install: the hand-off with Glue and the installer, then the
// registration of the Pin and its siblings in the driver's Glue key.
#ifndef QXZ_PIN_PIN_INSTALL_H
#define QXZ_PIN_PIN_INSTALL_H

#include "text/qx_ci_string.h"

// The whole pre-install for one driver; true when every step succeeded.
bool PreInstall(const CQxCiString& sDriverName);

// The steps of PreInstall, declared here so that each can be tested alone.

// Signals Glue, checks the driver's Glue path, waits for the installer's
// mutex and copies the language override into the driver's key.
bool ConvertParameters(const CQxCiString& sDriverName);

// Writes "pinpathname", "pdipathname" and "ghoulpathname" respectively.
bool RegisterPin(const CQxCiString& sDriverName);
bool RegisterPdi(const CQxCiString& sDriverName);
bool RegisterGhoul(const CQxCiString& sDriverName);

#endif // QXZ_PIN_PIN_INSTALL_H
