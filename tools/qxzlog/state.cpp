// Reading the Glue key through the same registry calls on Windows and the
// emulated machine. Every key is opened with KEY_READ and nothing else: a
// support tool must not change what the next installation finds.
#include "tools/qxzlog/state.h"

#include <algorithm>

#include "pdi/pdi_names.h"
#include "qxzglue/qxzglue_names.h"
#include "qxzglue/qxzglue_utils.h"

namespace qxz::qxzlog
{

namespace
{

// A value that grows between sizing and reading is read again, a few times.
constexpr int kReadAttempts = 3;

enum class Kind
{
    Text,
    Path,         // names a file or directory
    Program,      // names a registered program
    LanguagePath, // names a directory when written as a full path
};

struct ValueSpec
{
    const CQxCiString& sName;
    DWORD dwType;
    Kind eKind;
};

std::vector<ValueSpec> DriverSpecs()
{
    return {{g_sRegVnGluePath, REG_SZ, Kind::Path},        {g_sSwitchPinPathname, REG_SZ, Kind::Program},
            {g_sSwitchPdiPathname, REG_SZ, Kind::Program}, {g_sSwitchGhoulPathname, REG_SZ, Kind::Program},
            {g_sSwitchRunGhoul, REG_SZ, Kind::Text},       {g_sSwitchLanguageDir, REG_SZ, Kind::LanguagePath},
            {g_sRegVnPinTimeout, REG_DWORD, Kind::Text}};
}

std::vector<ValueSpec> GlueSpecs()
{
    return {{g_sRegVnPreloadPath, REG_SZ, Kind::Path},
            {g_sRegVnRunPreloadInstaller, REG_SZ, Kind::Text},
            {g_sRegVnOverrideLanguage, REG_SZ, Kind::LanguagePath}};
}

Kind KindOf(const std::string& sName)
{
    for (const std::vector<ValueSpec>& vSpecs : {DriverSpecs(), GlueSpecs()})
    {
        for (const ValueSpec& tSpec : vSpecs)
        {
            if (tSpec.sName == sName.c_str())
                return tSpec.eKind;
        }
    }
    return Kind::Text;
}

bool IsFullPath(const std::string& sText)
{
    const bool fDrive = sText.size() >= 3 && sText[1] == ':' && sText[2] == '\\';
    return fDrive || sText.compare(0, 2, "\\\\") == 0;
}

Exists ExistsOf(const ValueState& tValue, Kind eKind)
{
    if (eKind == Kind::Text || tValue.dwType != tValue.dwExpectedType)
        return Exists::NotAFile;
    const std::string sText = tValue.Text();
    if (eKind == Kind::LanguagePath && !IsFullPath(sText))
        return Exists::NotAFile;
    // The Pin's own test of a path, so that the answer is the one it got.
    return IsFilePresent(sText.c_str()) ? Exists::Yes : Exists::No;
}

void ReadValue(HKEY hKey, const ValueSpec& tSpec, ValueState* ptValue)
{
    ptValue->sName = tSpec.sName.c_str();
    ptValue->dwExpectedType = tSpec.dwType;
    LONG lResult = ERROR_MORE_DATA;
    for (int iAttempt = 0; iAttempt < kReadAttempts && lResult == ERROR_MORE_DATA; ++iAttempt)
    {
        DWORD cbData = 0;
        lResult = RegQueryValueExA(hKey, tSpec.sName.c_str(), nullptr, &ptValue->dwType, nullptr, &cbData);
        if (lResult != ERROR_SUCCESS)
            break;
        ptValue->sData.assign(cbData, '\0');
        lResult = RegQueryValueExA(hKey, tSpec.sName.c_str(), nullptr, &ptValue->dwType,
                                   reinterpret_cast<BYTE*>(&ptValue->sData[0]), &cbData);
        ptValue->sData.resize(std::min<size_t>(cbData, ptValue->sData.size()));
    }
    ptValue->fPresent = lResult != ERROR_FILE_NOT_FOUND;
    if (lResult != ERROR_SUCCESS)
    {
        ptValue->lError = ptValue->fPresent ? lResult : ERROR_SUCCESS;
        ptValue->sData.clear();
        return;
    }
    ptValue->eExists = ExistsOf(*ptValue, tSpec.eKind);
}

std::vector<ValueState> ReadValues(HKEY hKey, const std::vector<ValueSpec>& vSpecs)
{
    std::vector<ValueState> vValues(vSpecs.size());
    for (size_t i = 0; i < vSpecs.size(); ++i)
        ReadValue(hKey, vSpecs[i], &vValues[i]);
    return vValues;
}

LONG ReadSubkeyNames(HKEY hKey, std::vector<std::string>* pvNames)
{
    DWORD cchMaxSubkey = 0;
    LONG lResult = RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, nullptr, &cchMaxSubkey, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, nullptr);
    if (lResult != ERROR_SUCCESS)
        return lResult;
    std::vector<char> vName(cchMaxSubkey + 1);
    for (DWORD dwIndex = 0;;)
    {
        DWORD cchName = static_cast<DWORD>(vName.size());
        lResult = RegEnumKeyExA(hKey, dwIndex, vName.data(), &cchName, nullptr, nullptr, nullptr, nullptr);
        if (lResult == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (lResult == ERROR_MORE_DATA && vName.size() <= 256)
        {
            // A longer name came in meanwhile; no key name is longer than 255.
            vName.resize(257);
            continue;
        }
        if (lResult != ERROR_SUCCESS)
            return lResult;
        pvNames->emplace_back(vName.data(), cchName);
        ++dwIndex;
    }
}

const ValueState* Find(const std::vector<ValueState>& vValues, const CQxCiString& sName)
{
    for (const ValueState& tValue : vValues)
    {
        if (sName == tValue.sName.c_str())
            return &tValue;
    }
    return nullptr;
}

} // namespace

std::string ValueState::Text() const
{
    return sData.substr(0, sData.find('\0'));
}

std::vector<Problem> FindProblems(const std::vector<ValueState>& vValues)
{
    std::vector<Problem> vProblems;
    bool fRegistered = false;
    for (const ValueState& tValue : vValues)
    {
        if (!tValue.fPresent || tValue.lError != ERROR_SUCCESS)
            continue;
        const Kind eKind = KindOf(tValue.sName);
        fRegistered = fRegistered || eKind == Kind::Program;
        if (tValue.dwType != tValue.dwExpectedType)
        {
            vProblems.push_back({"wrong-type", tValue.sName,
                                 tValue.sName + " is " + RegTypeName(tValue.dwType) + ", where " +
                                     RegTypeName(tValue.dwExpectedType) + " is read"});
        }
        else if (tValue.eExists == Exists::No && eKind == Kind::Program)
        {
            vProblems.push_back(
                {"missing-file", tValue.sName, tValue.sName + " names a program that is not on this machine"});
        }
        else if (tValue.eExists == Exists::No && g_sRegVnGluePath == tValue.sName.c_str())
        {
            vProblems.push_back({"glue-path-missing", tValue.sName,
                                 tValue.sName + " names a path that does not exist: the Pin's next run fails"});
        }
    }
    // The Pin writes "runghoul" last: a key that holds a registration but
    // not it was left by a run that stopped, or was changed since.
    const ValueState* ptRunGhoul = Find(vValues, g_sSwitchRunGhoul);
    if (fRegistered && ptRunGhoul != nullptr && !ptRunGhoul->fPresent)
    {
        vProblems.push_back({"runghoul-missing", ptRunGhoul->sName,
                             "runghoul is not set although the programs are registered: the Ghoul will not run"});
    }
    return vProblems;
}

LONG ReadGlueState(const std::string* psDriver, GlueState* ptState)
{
    HKEY hGlue = nullptr;
    LONG lResult = RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_sRegKeyGlue.c_str(), 0, KEY_READ, &hGlue);
    if (lResult != ERROR_SUCCESS)
        return lResult;
    std::vector<std::string> vDrivers;
    lResult = ReadSubkeyNames(hGlue, &vDrivers);
    if (lResult == ERROR_SUCCESS)
    {
        ptState->vGlueValues = ReadValues(hGlue, GlueSpecs());
        for (const std::string& sDriver : vDrivers)
        {
            if (psDriver != nullptr && CQxCiString(psDriver->c_str()) != sDriver.c_str())
                continue;
            DriverState tDriver;
            tDriver.sDriver = sDriver;
            HKEY hDriver = nullptr;
            tDriver.lError = RegOpenKeyExA(hGlue, sDriver.c_str(), 0, KEY_READ, &hDriver);
            if (tDriver.lError == ERROR_SUCCESS)
            {
                tDriver.vValues = ReadValues(hDriver, DriverSpecs());
                tDriver.vProblems = FindProblems(tDriver.vValues);
                RegCloseKey(hDriver);
            }
            ptState->vDrivers.push_back(std::move(tDriver));
        }
    }
    RegCloseKey(hGlue);
    return lResult;
}

std::string RegTypeName(DWORD dwType)
{
    static const char* const kNames[] = {"REG_NONE",   "REG_SZ",      "REG_EXPAND_SZ",
                                         "REG_BINARY", "REG_DWORD",   "REG_DWORD_BIG_ENDIAN",
                                         "REG_LINK",   "REG_MULTI_SZ"};
    if (dwType < sizeof kNames / sizeof kNames[0])
        return kNames[dwType];
    if (dwType == REG_QWORD)
        return "REG_QWORD";
    return "type " + std::to_string(dwType);
}

} // namespace qxz::qxzlog
