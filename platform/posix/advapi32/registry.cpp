// The Win32 registry calls over the emulated registry (registry_store.h).
//
// A key handle names its key by path; it does not hold the key itself, so a
// key deleted behind an open handle answers ERROR_KEY_DELETED. Every call
// returns its result and leaves the last error alone, as on Windows. Each
// call first consults fault injection with its name argument: the subkey
// path for RegOpenKeyExA, RegCreateKeyExA and RegDeleteKeyA, the value name
// for value calls, and the handle's key path below its root for the others.
#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <utility>

#include "platform/posix/advapi32/registry_store.h"
#include "platform/posix/machine/faults.h"
#include "platform/posix/machine/layer_state.h"

namespace qxz::posix
{

namespace
{

struct OpenKey
{
    KeyPath path; // starts with the root's name
    REGSAM samGranted;
};

struct OpenKeys
{
    std::mutex mutex;
    std::map<uintptr_t, OpenKey> mapKeys;
    // Far above the kernel object handles, which are a different kind of handle.
    uintptr_t nNextHandle = 0x10000000;
};
OpenKeys& Keys()
{
    return LayerState<OpenKeys>();
}

bool LookupKey(HKEY hKey, OpenKey* pKey)
{
    if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER)
    {
        *pKey = OpenKey{{kRegistryRootNames[hKey == HKEY_LOCAL_MACHINE ? 0 : 1]}, KEY_ALL_ACCESS};
        return true;
    }
    OpenKeys& tKeys = Keys();
    std::lock_guard<std::mutex> lock(tKeys.mutex);
    auto it = tKeys.mapKeys.find(reinterpret_cast<uintptr_t>(hKey));
    if (it == tKeys.mapKeys.end())
        return false;
    *pKey = it->second;
    return true;
}

REGSAM GrantedAccess(REGSAM samDesired)
{
    if (samDesired & (MAXIMUM_ALLOWED | GENERIC_ALL))
        return KEY_ALL_ACCESS;
    REGSAM samGranted = samDesired;
    if (samDesired & GENERIC_READ)
        samGranted |= KEY_READ;
    if (samDesired & GENERIC_WRITE)
        samGranted |= KEY_WRITE;
    return samGranted;
}

HKEY NewKeyHandle(const KeyPath& path, REGSAM samDesired)
{
    OpenKeys& tKeys = Keys();
    std::lock_guard<std::mutex> lock(tKeys.mutex);
    uintptr_t nHandle = tKeys.nNextHandle;
    tKeys.nNextHandle += 4;
    tKeys.mapKeys.emplace(nHandle, OpenKey{path, GrantedAccess(samDesired)});
    return reinterpret_cast<HKEY>(nHandle);
}

bool ReleaseKeyHandle(HKEY hKey)
{
    OpenKeys& tKeys = Keys();
    std::lock_guard<std::mutex> lock(tKeys.mutex);
    return tKeys.mapKeys.erase(reinterpret_cast<uintptr_t>(hKey)) == 1;
}

std::string PathBelowRoot(const OpenKey& key)
{
    std::string sPath;
    for (size_t i = 1; i < key.path.size(); ++i)
        sPath += (i > 1 ? "\\" : "") + key.path[i];
    return sPath;
}

bool FaultFor(const char* pszCall, const std::string& sName, LONG* plCode)
{
    DWORD dwCode = 0;
    if (!FaultInjected(pszCall, sName.c_str(), &dwCode))
        return false;
    *plCode = static_cast<LONG>(dwCode);
    return true;
}

std::string NameOrEmpty(const char* pszName)
{
    return pszName != nullptr ? pszName : "";
}

// The names of a subkey path. Null and "" are the key itself; empty names
// (a trailing or doubled backslash) are skipped as Windows does.
LONG SplitSubkeyPath(const char* pszSubKey, const KeyPath& base, KeyPath* pPath)
{
    *pPath = base;
    std::string sSubKey = NameOrEmpty(pszSubKey);
    if (!sSubKey.empty() && sSubKey.front() == '\\')
        return ERROR_BAD_PATHNAME;
    // The registry file is line-based text and cannot hold these in key names.
    if (sSubKey.find_first_of("\r\n") != std::string::npos)
        return ERROR_INVALID_PARAMETER;
    size_t nStart = 0;
    while (nStart <= sSubKey.size())
    {
        size_t nEnd = sSubKey.find('\\', nStart);
        if (nEnd == std::string::npos)
            nEnd = sSubKey.size();
        if (nEnd > nStart)
            pPath->push_back(sSubKey.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    return ERROR_SUCCESS;
}

// The key that an open handle names, or why there is none.
LONG FindOpenKey(RegistryKey* pTop, const OpenKey& key, RegistryKey** ppKey)
{
    *ppKey = FindKey(pTop, key.path);
    return *ppKey != nullptr ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// Copies stored data out as Windows does: ERROR_MORE_DATA when it does not
// fit; a string without its terminating NUL gets one when there is room,
// not counted in the size.
LONG CopyData(const RegistryValue& value, LPBYTE pbData, LPDWORD pcbData)
{
    DWORD cbStored = static_cast<DWORD>(value.sData.size());
    if (pbData != nullptr)
    {
        if (cbStored > *pcbData)
        {
            *pcbData = cbStored;
            return ERROR_MORE_DATA;
        }
        std::copy(value.sData.begin(), value.sData.end(), pbData);
        bool fString = value.dwType == REG_SZ || value.dwType == REG_EXPAND_SZ || value.dwType == REG_MULTI_SZ;
        if (fString && cbStored > 0 && cbStored < *pcbData && value.sData.back() != '\0')
            pbData[cbStored] = 0;
    }
    if (pcbData != nullptr)
        *pcbData = cbStored;
    return ERROR_SUCCESS;
}

// The key behind a handle, once the call's fault rule (named by the key's
// path) has had its say: false when the call ends at once with *plResult.
bool KeyForCall(const char* pszCall, HKEY hKey, OpenKey* pKey, LONG* plResult)
{
    const bool fKnown = LookupKey(hKey, pKey);
    if (FaultFor(pszCall, fKnown ? PathBelowRoot(*pKey) : "", plResult))
        return false;
    *plResult = fKnown ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    return fKnown;
}

// Reads the key that a handle names, when the handle grants the access.
LONG ReadOpenKey(const OpenKey& key, REGSAM samNeeded, const std::function<LONG(RegistryKey* pKey)>& fnRead)
{
    if (!(key.samGranted & samNeeded))
        return ERROR_ACCESS_DENIED;
    return ReadRegistry([&](RegistryKey* pTop) -> LONG {
        RegistryKey* pKey = nullptr;
        const LONG lFound = FindOpenKey(pTop, key, &pKey);
        return lFound != ERROR_SUCCESS ? lFound : fnRead(pKey);
    });
}

// Keys have no class.
void NoClass(LPSTR lpClass, LPDWORD lpcchClass)
{
    if (lpcchClass == nullptr)
        return;
    if (lpClass != nullptr && *lpcchClass > 0)
        lpClass[0] = '\0';
    *lpcchClass = 0;
}

} // namespace

} // namespace qxz::posix

using namespace qxz::posix;

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult)
{
    if (phkResult != nullptr)
        *phkResult = nullptr;
    LONG lResult = ERROR_SUCCESS;
    if (FaultFor("RegOpenKeyExA", NameOrEmpty(lpSubKey), &lResult))
        return lResult;
    if (phkResult == nullptr)
        return ERROR_INVALID_PARAMETER;
    OpenKey base;
    if (!LookupKey(hKey, &base))
        return ERROR_INVALID_HANDLE;
    KeyPath path;
    if ((lResult = SplitSubkeyPath(lpSubKey, base.path, &path)) != ERROR_SUCCESS)
        return lResult;
    lResult = ReadRegistry([&](RegistryKey* pTop) -> LONG {
        RegistryKey* pBase = nullptr;
        LONG lFound = FindOpenKey(pTop, base, &pBase);
        if (lFound != ERROR_SUCCESS)
            return lFound;
        return FindKey(pTop, path) != nullptr ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
    if (lResult == ERROR_SUCCESS)
        *phkResult = NewKeyHandle(path, samDesired);
    return lResult;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR, DWORD, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition)
{
    if (phkResult != nullptr)
        *phkResult = nullptr;
    LONG lResult = ERROR_SUCCESS;
    if (FaultFor("RegCreateKeyExA", NameOrEmpty(lpSubKey), &lResult))
        return lResult;
    if (Reserved != 0 || phkResult == nullptr)
        return ERROR_INVALID_PARAMETER;
    OpenKey base;
    if (!LookupKey(hKey, &base))
        return ERROR_INVALID_HANDLE;
    KeyPath path;
    if ((lResult = SplitSubkeyPath(lpSubKey, base.path, &path)) != ERROR_SUCCESS)
        return lResult;
    bool fCreatedAny = false;
    lResult = ChangeRegistry([&](RegistryKey* pTop, bool* pfChanged) -> LONG {
        RegistryKey* pKey = nullptr;
        LONG lFound = FindOpenKey(pTop, base, &pKey);
        if (lFound != ERROR_SUCCESS)
            return lFound;
        for (size_t i = base.path.size(); i < path.size(); ++i)
        {
            bool fCreated = false;
            pKey = pKey->CreateSubkey(path[i], &fCreated);
            fCreatedAny = fCreatedAny || fCreated;
        }
        *pfChanged = fCreatedAny;
        return ERROR_SUCCESS;
    });
    if (lResult != ERROR_SUCCESS)
        return lResult;
    *phkResult = NewKeyHandle(path, samDesired);
    if (lpdwDisposition != nullptr)
        *lpdwDisposition = fCreatedAny ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData)
{
    LONG lResult = ERROR_SUCCESS;
    if (FaultFor("RegQueryValueExA", NameOrEmpty(lpValueName), &lResult))
        return lResult;
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr))
        return ERROR_INVALID_PARAMETER;
    OpenKey key;
    if (!LookupKey(hKey, &key))
        return ERROR_INVALID_HANDLE;
    return ReadOpenKey(key, KEY_QUERY_VALUE, [&](RegistryKey* pKey) -> LONG {
        const RegistryValue* pValue = pKey->FindValue(NameOrEmpty(lpValueName));
        if (pValue == nullptr)
            return ERROR_FILE_NOT_FOUND;
        if (lpType != nullptr)
            *lpType = pValue->dwType;
        return CopyData(*pValue, lpData, lpcbData);
    });
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData)
{
    LONG lResult = ERROR_SUCCESS;
    if (FaultFor("RegSetValueExA", NameOrEmpty(lpValueName), &lResult))
        return lResult;
    OpenKey key;
    if (!LookupKey(hKey, &key))
        return ERROR_INVALID_HANDLE;
    if (!(key.samGranted & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    if (lpData == nullptr && cbData != 0)
        return ERROR_NOACCESS;
    std::string sData = lpData != nullptr ? std::string(reinterpret_cast<const char*>(lpData), cbData) : std::string();
    return ChangeRegistry([&](RegistryKey* pTop, bool* pfChanged) -> LONG {
        RegistryKey* pKey = nullptr;
        LONG lFound = FindOpenKey(pTop, key, &pKey);
        if (lFound != ERROR_SUCCESS)
            return lFound;
        pKey->SetValue(NameOrEmpty(lpValueName), dwType, sData);
        *pfChanged = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    LONG lResult = ERROR_SUCCESS;
    if (FaultFor("RegDeleteValueA", NameOrEmpty(lpValueName), &lResult))
        return lResult;
    OpenKey key;
    if (!LookupKey(hKey, &key))
        return ERROR_INVALID_HANDLE;
    if (!(key.samGranted & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    return ChangeRegistry([&](RegistryKey* pTop, bool* pfChanged) -> LONG {
        RegistryKey* pKey = nullptr;
        LONG lFound = FindOpenKey(pTop, key, &pKey);
        if (lFound != ERROR_SUCCESS)
            return lFound;
        *pfChanged = pKey->DeleteValue(NameOrEmpty(lpValueName));
        return *pfChanged ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    LONG lResult = ERROR_SUCCESS;
    if (FaultFor("RegDeleteKeyA", NameOrEmpty(lpSubKey), &lResult))
        return lResult;
    OpenKey base;
    if (!LookupKey(hKey, &base))
        return ERROR_INVALID_HANDLE;
    if (lpSubKey == nullptr)
        return ERROR_INVALID_PARAMETER;
    KeyPath path;
    if ((lResult = SplitSubkeyPath(lpSubKey, base.path, &path)) != ERROR_SUCCESS)
        return lResult;
    // A root is not a key that can be deleted.
    if (path.size() == 1)
        return ERROR_ACCESS_DENIED;
    return ChangeRegistry([&](RegistryKey* pTop, bool* pfChanged) -> LONG {
        RegistryKey* pBase = nullptr;
        LONG lFound = FindOpenKey(pTop, base, &pBase);
        if (lFound != ERROR_SUCCESS)
            return lFound;
        RegistryKey* pKey = FindKey(pTop, path);
        if (pKey == nullptr)
            return ERROR_FILE_NOT_FOUND;
        // Windows deletes only keys without subkeys.
        if (!pKey->SubkeyMap().empty())
            return ERROR_ACCESS_DENIED;
        FindKey(pTop, KeyPath(path.begin(), path.end() - 1))->DeleteSubkey(path.back());
        *pfChanged = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    OpenKey key;
    LONG lResult = ERROR_SUCCESS;
    if (!KeyForCall("RegEnumKeyExA", hKey, &key, &lResult))
        return lResult;
    if (lpReserved != nullptr || lpName == nullptr || lpcchName == nullptr)
        return ERROR_INVALID_PARAMETER;
    return ReadOpenKey(key, KEY_ENUMERATE_SUB_KEYS, [&](RegistryKey* pKey) -> LONG {
        const RegistryKey::Subkeys& subkeys = pKey->SubkeyMap();
        if (dwIndex >= subkeys.size())
            return ERROR_NO_MORE_ITEMS;
        const std::string& sName = std::next(subkeys.begin(), dwIndex)->first;
        if (sName.size() >= *lpcchName)
            return ERROR_MORE_DATA;
        std::copy(sName.begin(), sName.end(), lpName);
        lpName[sName.size()] = '\0';
        *lpcchName = static_cast<DWORD>(sName.size());
        // Keys have no class and the registry keeps no times.
        NoClass(lpClass, lpcchClass);
        if (lpftLastWriteTime != nullptr)
            *lpftLastWriteTime = FILETIME{0, 0};
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                             LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    OpenKey key;
    LONG lResult = ERROR_SUCCESS;
    if (!KeyForCall("RegEnumValueA", hKey, &key, &lResult))
        return lResult;
    if (lpReserved != nullptr || lpValueName == nullptr || lpcchValueName == nullptr ||
        (lpData != nullptr && lpcbData == nullptr))
    {
        return ERROR_INVALID_PARAMETER;
    }
    return ReadOpenKey(key, KEY_QUERY_VALUE, [&](RegistryKey* pKey) -> LONG {
        if (dwIndex >= pKey->Values().size())
            return ERROR_NO_MORE_ITEMS;
        const RegistryValue& value = pKey->Values()[dwIndex];
        if (lpType != nullptr)
            *lpType = value.dwType;
        // Neither name nor data is written unless both fit.
        bool fNameFits = value.sName.size() < *lpcchValueName;
        bool fDataFits = lpData == nullptr || value.sData.size() <= *lpcbData;
        if (!fNameFits || !fDataFits)
        {
            if (lpcbData != nullptr)
                *lpcbData = static_cast<DWORD>(value.sData.size());
            return ERROR_MORE_DATA;
        }
        std::copy(value.sName.begin(), value.sName.end(), lpValueName);
        lpValueName[value.sName.size()] = '\0';
        *lpcchValueName = static_cast<DWORD>(value.sName.size());
        return CopyData(value, lpData, lpcbData);
    });
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD, LPDWORD lpcSubKeys,
                                LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                                PFILETIME lpftLastWriteTime)
{
    OpenKey key;
    LONG lResult = ERROR_SUCCESS;
    if (!KeyForCall("RegQueryInfoKeyA", hKey, &key, &lResult))
        return lResult;
    if (lpClass != nullptr && lpcchClass == nullptr)
        return ERROR_INVALID_PARAMETER;
    return ReadOpenKey(key, KEY_QUERY_VALUE, [&](RegistryKey* pKey) -> LONG {
        // Lengths in characters without the NUL, data in bytes.
        size_t cchMaxSubkey = 0;
        for (const auto& subkey : pKey->SubkeyMap())
            cchMaxSubkey = std::max(cchMaxSubkey, subkey.first.size());
        size_t cchMaxValueName = 0;
        size_t cbMaxValue = 0;
        for (const RegistryValue& value : pKey->Values())
        {
            cchMaxValueName = std::max(cchMaxValueName, value.sName.size());
            cbMaxValue = std::max(cbMaxValue, value.sData.size());
        }
        // Keys have no class, no security descriptor of their own, and the
        // registry keeps no times.
        NoClass(lpClass, lpcchClass);
        const std::pair<LPDWORD, size_t> aCounts[] = {{lpcSubKeys, pKey->SubkeyMap().size()},
                                                      {lpcbMaxSubKeyLen, cchMaxSubkey},
                                                      {lpcbMaxClassLen, 0},
                                                      {lpcValues, pKey->Values().size()},
                                                      {lpcbMaxValueNameLen, cchMaxValueName},
                                                      {lpcbMaxValueLen, cbMaxValue},
                                                      {lpcbSecurityDescriptor, 0}};
        for (const auto& count : aCounts)
        {
            if (count.first != nullptr)
                *count.first = static_cast<DWORD>(count.second);
        }
        if (lpftLastWriteTime != nullptr)
            *lpftLastWriteTime = FILETIME{0, 0};
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegFlushKey(HKEY hKey)
{
    OpenKey key;
    LONG lResult = ERROR_SUCCESS;
    if (!KeyForCall("RegFlushKey", hKey, &key, &lResult))
        return lResult;
    return FlushRegistry();
}

LSTATUS WINAPI RegCloseKey(HKEY hKey)
{
    OpenKey key;
    bool fKnown = LookupKey(hKey, &key);
    LONG lResult = ERROR_SUCCESS;
    if (FaultFor("RegCloseKey", fKnown ? PathBelowRoot(key) : "", &lResult))
        return lResult;
    if (hKey == HKEY_LOCAL_MACHINE || hKey == HKEY_CURRENT_USER)
        return ERROR_SUCCESS;
    return ReleaseKeyHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // extern "C"
