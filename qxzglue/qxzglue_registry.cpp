#include "qxzglue/qxzglue_registry.h"

#include <algorithm>
#include <memory>
#include <new>

#include "log/log_check.h"
#include "log/log_texts.h"

static const char kSourcePath[] = "..\\..\\qxzglue\\qxzglue_registry.cpp";

// Reads a REG_SZ value of an open key. *plResult receives the result of the
// registry function that failed; it stays ERROR_SUCCESS when the value was
// read but is unusable.
static bool QueryStringValue(HKEY hKey, const CQxCiString& sValueName, CQxCiString* psValueData, LONG* plResult)
{
    LONG& lResult = *plResult;
    DWORD dwType = REG_NONE;
    DWORD cbData = 0;

    // A missing value is not an error of this operation; fLogFailure tells.
    lResult = RegQueryValueExA(hKey, sValueName.c_str(), 0, &dwType, 0, &cbData);
    if (lResult != ERROR_SUCCESS)
        return false;
    if (QX_FAILS(dwType != REG_SZ))
        return false;
    if (QX_FAILS(cbData == 0))
        return false;

    const DWORD cbBuffer = cbData;
    const std::unique_ptr<BYTE[]> pbData(new (std::nothrow) BYTE[cbBuffer]);
    if (QX_FAILS(pbData == 0))
        return false;

    lResult = RegQueryValueExA(hKey, sValueName.c_str(), 0, 0, pbData.get(), &cbData);
    if (QX_FAILS(lResult != ERROR_SUCCESS))
        return false;

    // Stored data need not end with a NUL: the text ends at the first NUL or
    // at the end of the bytes read, never beyond the buffer.
    const BYTE* pbText = pbData.get();
    const BYTE* pbEnd = pbText + std::min(cbData, cbBuffer);
    const BYTE* pbNul = std::find(pbText, pbEnd, BYTE(0));
    psValueData->assign(reinterpret_cast<const char*>(pbText), static_cast<CQxCiString::size_type>(pbNul - pbText));
    return true;
}

// Opens the key for reading, reads the value and closes the key again.
static bool ReadStringValue(HKEY hkRoot, const CQxCiString& sPath, const CQxCiString& sValueName,
                            CQxCiString* psValueData, LONG* plResult)
{
    LONG& lResult = *plResult;
    HKEY hKey = 0;

    lResult = RegOpenKeyExA(hkRoot, sPath.c_str(), 0, KEY_READ, &hKey);
    if (QX_FAILS(lResult != ERROR_SUCCESS))
        return false;

    const bool fRead = QueryStringValue(hKey, sValueName, psValueData, plResult);
    RegCloseKey(hKey);
    return fRead;
}

// Creates the key with every missing key above it, sets the value, flushes
// the key so that the other programs of the installation see it at once, and
// closes the key again. Returns the result of the last registry function.
static LONG WriteValue(HKEY hkRoot, const CQxCiString& sPath, const CQxCiString& sValueName, DWORD dwType,
                       const BYTE* pbData, DWORD cbData)
{
    HKEY hKey = 0;

    LONG lResult = RegCreateKeyExA(hkRoot, sPath.c_str(), 0, 0, REG_OPTION_NON_VOLATILE, KEY_WRITE, 0, &hKey, 0);
    if (QX_FAILS(lResult != ERROR_SUCCESS))
        return lResult;

    lResult = RegSetValueExA(hKey, sValueName.c_str(), 0, dwType, pbData, cbData);
    if (QX_FAILS(lResult != ERROR_SUCCESS))
    {
        RegCloseKey(hKey);
        return lResult;
    }

    // The value is set and visible to every reader; the flush only makes it
    // durable, so its result does not change the outcome.
    RegFlushKey(hKey);
    RegCloseKey(hKey);
    return lResult;
}

bool RegGetStringValue(const CQxCiString& sPath, const CQxCiString& sValueName, CQxCiString* psValueData,
                       bool fLogFailure, HKEY hkRoot)
{
    if (QX_FAILS(sPath.empty()))
        return false;
    if (QX_FAILS(sValueName.empty()))
        return false;
    if (QX_FAILS(psValueData == 0))
        return false;
    if (QX_FAILS(hkRoot == 0))
        return false;

    LONG lResult = ERROR_SUCCESS;
    const bool fRead = ReadStringValue(hkRoot, sPath, sValueName, psValueData, &lResult);
    if ((lResult != ERROR_SUCCESS) && fLogFailure)
        g_Log.LogMessage(0, kLogRegGetStringFailed, sPath.c_str(), sValueName.c_str(), static_cast<int>(lResult));
    return fRead;
}

bool RegSetStringValue(const CQxCiString& sPath, const CQxCiString& sValueName, const CQxCiString& sValueData,
                       bool fLogFailure, HKEY hkRoot)
{
    if (QX_FAILS(sPath.empty()))
        return false;
    if (QX_FAILS(sValueName.empty()))
        return false;
    if (QX_FAILS(sValueData.empty()))
        return false;
    if (QX_FAILS(hkRoot == 0))
        return false;

    // REG_SZ data carries its terminating NUL.
    const LONG lResult = WriteValue(hkRoot, sPath, sValueName, REG_SZ,
                                    reinterpret_cast<const BYTE*>(sValueData.c_str()), sValueData.length() + 1);
    if ((lResult != ERROR_SUCCESS) && fLogFailure)
        g_Log.LogMessage(0, kLogRegSetStringFailed, sPath.c_str(), sValueName.c_str(), sValueData.c_str(),
                         static_cast<int>(lResult));
    return lResult == ERROR_SUCCESS;
}

bool RegSetDwordValue(const CQxCiString& sPath, const CQxCiString& sValueName, DWORD dwValueData, bool fLogFailure,
                      HKEY hkRoot)
{
    if (QX_FAILS(sPath.empty()))
        return false;
    if (QX_FAILS(sValueName.empty()))
        return false;
    if (QX_FAILS(hkRoot == 0))
        return false;

    const LONG lResult = WriteValue(hkRoot, sPath, sValueName, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValueData),
                                    sizeof(dwValueData));
    if ((lResult != ERROR_SUCCESS) && fLogFailure)
        g_Log.LogMessage(0, kLogRegSetDwordFailed, sPath.c_str(), sValueName.c_str(),
                         static_cast<unsigned>(dwValueData), static_cast<int>(lResult));
    return lResult == ERROR_SUCCESS;
}
