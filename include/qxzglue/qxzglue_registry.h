// The program's only access to the registry. Each operation opens or creates
// its key by path below hkRoot, does one thing and closes the key again, and
// logs its own failures, so callers only test the result. fLogFailure adds a
// line with the registry's result code whenever a registry function fails.
#ifndef QXZ_QXZGLUE_QXZGLUE_REGISTRY_H
#define QXZ_QXZGLUE_QXZGLUE_REGISTRY_H

#include "platform/win32.h"
#include "text/qx_ci_string.h"

// Reads a REG_SZ value; *psValueData is left alone on failure. A missing
// value is logged only through fLogFailure.
bool RegGetStringValue(const CQxCiString& sPath, const CQxCiString& sValueName, CQxCiString* psValueData,
                       bool fLogFailure, HKEY hkRoot);

// Writes a non-empty REG_SZ value, creating the key and every missing key
// above it, and flushes the key.
bool RegSetStringValue(const CQxCiString& sPath, const CQxCiString& sValueName, const CQxCiString& sValueData,
                       bool fLogFailure, HKEY hkRoot);

// Writes a REG_DWORD value like RegSetStringValue.
bool RegSetDwordValue(const CQxCiString& sPath, const CQxCiString& sValueName, DWORD dwValueData, bool fLogFailure,
                      HKEY hkRoot);

#endif // QXZ_QXZGLUE_QXZGLUE_REGISTRY_H
