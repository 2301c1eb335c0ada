// reg-import FILE and reg-export KEY: .reg text into and out of the registry
// through the Win32 registry calls, so that both platforms read and write
// the same text.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "regtext/reg_text.h"
#include "tools/installer-sim/verbs.h"

namespace qxz::sim
{

namespace
{

constexpr DWORD kMaxKeyNameChars = 256;     // 255 and the NUL
constexpr DWORD kMaxValueNameChars = 16384; // 16383 and the NUL

// The root key of a full key path and the path below it.
bool SplitRoot(const std::string& sPath, HKEY* phRoot, std::string* psBelow)
{
    static const struct
    {
        const char* pszName;
        HKEY hRoot;
    } kRoots[] = {{"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKEY_CURRENT_USER", HKEY_CURRENT_USER}};
    size_t nSlash = sPath.find('\\');
    std::string sRoot = sPath.substr(0, nSlash);
    std::transform(sRoot.begin(), sRoot.end(), sRoot.begin(),
                   [](char ch) { return static_cast<char>(std::toupper(static_cast<unsigned char>(ch))); });
    for (const auto& tRoot : kRoots)
    {
        if (sRoot == tRoot.pszName)
        {
            *phRoot = tRoot.hRoot;
            *psBelow = nSlash == std::string::npos ? std::string() : sPath.substr(nSlash + 1);
            return true;
        }
    }
    return false;
}

// The first failing registry call and its result.
struct Failure
{
    const char* pszCall = nullptr;
    LONG lResult = ERROR_SUCCESS;
    bool Record(const char* pszCall, LONG lResult)
    {
        this->pszCall = pszCall;
        this->lResult = lResult;
        return false;
    }
};

// Deletes a key with everything below it; a key that is not there is fine.
bool DeleteKeyTree(HKEY hParent, const std::string& sName, Failure* pFailure)
{
    HKEY hKey = nullptr;
    LONG lResult = RegOpenKeyExA(hParent, sName.c_str(), 0, KEY_READ, &hKey);
    if (lResult == ERROR_FILE_NOT_FOUND)
        return true;
    if (lResult != ERROR_SUCCESS)
        return pFailure->Record("RegOpenKeyExA", lResult);
    bool fOk = true;
    for (;;)
    {
        char szSubkey[kMaxKeyNameChars];
        DWORD cchSubkey = sizeof szSubkey;
        lResult = RegEnumKeyExA(hKey, 0, szSubkey, &cchSubkey, nullptr, nullptr, nullptr, nullptr);
        if (lResult == ERROR_NO_MORE_ITEMS)
            break;
        if (lResult != ERROR_SUCCESS)
        {
            fOk = pFailure->Record("RegEnumKeyExA", lResult);
            break;
        }
        if (!DeleteKeyTree(hKey, szSubkey, pFailure))
        {
            fOk = false;
            break;
        }
    }
    RegCloseKey(hKey);
    if (!fOk)
        return false;
    lResult = RegDeleteKeyA(hParent, sName.c_str());
    return lResult == ERROR_SUCCESS || pFailure->Record("RegDeleteKeyA", lResult);
}

bool ImportKey(const RegTextKey& tKey, Failure* pFailure)
{
    HKEY hRoot = nullptr;
    std::string sBelow;
    if (!SplitRoot(tKey.sPath, &hRoot, &sBelow))
        return pFailure->Record("the key's root", ERROR_INVALID_PARAMETER);
    if (tKey.fDelete)
        return DeleteKeyTree(hRoot, sBelow, pFailure);
    HKEY hKey = nullptr;
    LONG lResult = RegCreateKeyExA(hRoot, sBelow.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                   &hKey, nullptr);
    if (lResult != ERROR_SUCCESS)
        return pFailure->Record("RegCreateKeyExA", lResult);
    bool fOk = true;
    for (const RegTextValue& tValue : tKey.values)
    {
        const char* pszName = tValue.sName.empty() ? nullptr : tValue.sName.c_str();
        if (tValue.fDelete)
        {
            lResult = RegDeleteValueA(hKey, pszName);
            if (lResult == ERROR_FILE_NOT_FOUND)
                lResult = ERROR_SUCCESS;
            if (lResult != ERROR_SUCCESS)
                fOk = pFailure->Record("RegDeleteValueA", lResult);
        }
        else
        {
            lResult =
                RegSetValueExA(hKey, pszName, 0, tValue.dwType, reinterpret_cast<const BYTE*>(tValue.sData.data()),
                               static_cast<DWORD>(tValue.sData.size()));
            if (lResult != ERROR_SUCCESS)
                fOk = pFailure->Record("RegSetValueExA", lResult);
        }
        if (!fOk)
            break;
    }
    RegCloseKey(hKey);
    return fOk;
}

// The values of an open key, sorted by name: Wine enumerates them sorted and
// Windows in the order they were made, and the text must not depend on that.
bool ExportValues(HKEY hKey, std::vector<RegTextValue>* pValues, Failure* pFailure)
{
    std::vector<char> vName(kMaxValueNameChars);
    std::vector<BYTE> vData(1024); // never empty: a null buffer asks for the size only
    for (DWORD dwIndex = 0;;)
    {
        DWORD cchName = static_cast<DWORD>(vName.size());
        DWORD cbData = static_cast<DWORD>(vData.size());
        DWORD dwType = REG_NONE;
        LONG lResult = RegEnumValueA(hKey, dwIndex, vName.data(), &cchName, nullptr, &dwType, vData.data(), &cbData);
        if (lResult == ERROR_NO_MORE_ITEMS)
            break;
        if (lResult == ERROR_MORE_DATA)
        { // cbData now tells the size the data needs
            vData.resize(std::max<size_t>(cbData, vData.size() + 1));
            continue;
        }
        if (lResult != ERROR_SUCCESS)
            return pFailure->Record("RegEnumValueA", lResult);
        pValues->push_back(RegTextValue{std::string(vName.data(), cchName), dwType,
                                        std::string(reinterpret_cast<const char*>(vData.data()), cbData), false});
        ++dwIndex;
    }
    RegNameLess less;
    std::stable_sort(pValues->begin(), pValues->end(),
                     [&](const RegTextValue& a, const RegTextValue& b) { return less(a.sName, b.sName); });
    return true;
}

bool ExportKey(HKEY hKey, const std::string& sPath, RegTextKeys* pKeys, Failure* pFailure)
{
    RegTextKey tKey;
    tKey.sPath = sPath;
    if (!ExportValues(hKey, &tKey.values, pFailure))
        return false;
    pKeys->push_back(std::move(tKey));
    std::vector<std::string> vSubkeys;
    for (DWORD dwIndex = 0;; ++dwIndex)
    {
        char szSubkey[kMaxKeyNameChars];
        DWORD cchSubkey = sizeof szSubkey;
        LONG lResult = RegEnumKeyExA(hKey, dwIndex, szSubkey, &cchSubkey, nullptr, nullptr, nullptr, nullptr);
        if (lResult == ERROR_NO_MORE_ITEMS)
            break;
        if (lResult != ERROR_SUCCESS)
            return pFailure->Record("RegEnumKeyExA", lResult);
        vSubkeys.emplace_back(szSubkey, cchSubkey);
    }
    std::sort(vSubkeys.begin(), vSubkeys.end(), RegNameLess());
    for (const std::string& sSubkey : vSubkeys)
    {
        HKEY hSubkey = nullptr;
        LONG lResult = RegOpenKeyExA(hKey, sSubkey.c_str(), 0, KEY_READ, &hSubkey);
        if (lResult != ERROR_SUCCESS)
            return pFailure->Record("RegOpenKeyExA", lResult);
        bool fOk = ExportKey(hSubkey, sPath + "\\" + sSubkey, pKeys, pFailure);
        RegCloseKey(hSubkey);
        if (!fOk)
            return false;
    }
    return true;
}

} // namespace

int RegImport(char** argv)
{
    std::string sText;
    if (!ReadHostFile(argv[0], &sText))
        return ReportResult("reg-import", "reading the file", ERROR_FILE_NOT_FOUND);
    RegTextKeys keys;
    std::string sError;
    if (!ParseRegText(sText, &keys, &sError))
    {
        std::printf("reg-import: %s: %s\n", argv[0], sError.c_str());
        return ReportResult("reg-import", "parsing the file", ERROR_INVALID_DATA);
    }
    Failure tFailure;
    for (const RegTextKey& tKey : keys)
    {
        if (!ImportKey(tKey, &tFailure))
        {
            std::printf("reg-import: [%s]\n", tKey.sPath.c_str());
            return ReportResult("reg-import", tFailure.pszCall, static_cast<unsigned long>(tFailure.lResult));
        }
    }
    return ReportResult("reg-import", nullptr, 0);
}

int RegExport(char** argv)
{
    HKEY hRoot = nullptr;
    std::string sBelow;
    if (!SplitRoot(argv[0], &hRoot, &sBelow))
    {
        std::fprintf(stderr, "reg-export: %s is not below HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER\n", argv[0]);
        return 1;
    }
    HKEY hKey = nullptr;
    Failure tFailure;
    LONG lResult = RegOpenKeyExA(hRoot, sBelow.c_str(), 0, KEY_READ, &hKey);
    RegTextKeys keys;
    if (lResult != ERROR_SUCCESS)
    {
        tFailure.Record("RegOpenKeyExA", lResult);
    }
    else
    {
        ExportKey(hKey, argv[0], &keys, &tFailure);
        RegCloseKey(hKey);
    }
    if (tFailure.pszCall != nullptr)
    {
        std::fprintf(stderr, "reg-export: %s returned %ld\n", tFailure.pszCall, static_cast<long>(tFailure.lResult));
        return 1;
    }
    // The same bytes on both platforms: no line-end translation on Windows.
    _setmode(_fileno(stdout), _O_BINARY);
    std::string sText = FormatRegText(keys);
    std::fwrite(sText.data(), 1, sText.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace qxz::sim
