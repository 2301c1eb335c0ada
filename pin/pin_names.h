// The file names of the Pin and of its two sibling programs, which are
// installed side by side in one directory.
#ifndef QXZ_PIN_PIN_NAMES_H
#define QXZ_PIN_PIN_NAMES_H

#include "text/qx_ci_string.h"

static const CQxCiString g_sPdiExe = "qxzpdi14.exe";
static const CQxCiString g_sPinExe = "qxzpin14.exe";
static const CQxCiString g_sGhoulExe = "qxzghl14.exe";

#endif // QXZ_PIN_PIN_NAMES_H
