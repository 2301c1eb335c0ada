// The local print spooler: EnumPortsA and AddMonitorA over the registry.
//
// The ports are the values of the Ports key, all of them ports of the local
// monitor, described as Wine's spooler describes them. A port monitor is a
// key under the Monitors key that names its DLL; the DLL must be present but
// is never loaded here.
#include <strings.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/machine/call_steps.h"

using namespace qxz::posix;

namespace
{

constexpr char kPortsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
constexpr char kMonitorsKey[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
constexpr char kLocalMonitorName[] = "Local Monitor";
constexpr char kLocalPortDescription[] = "Local Port";
constexpr DWORD kLocalPortType = PORT_TYPE_WRITE;
constexpr DWORD kValueNameCapacity = 16384; // the registry's longest value name, and its zero

// The environments that a monitor record may name; none means this one.
constexpr const char* kEnvironments[] = {"Windows 4.0",  "Windows NT x86", "Windows x64",
                                         "Windows IA64", "Windows ARM",    "Windows ARM64"};

bool IsLocalServer(LPCSTR pszServer)
{
    return pszServer == nullptr || pszServer[0] == '\0';
}

// The port names in the registry's order. A machine without the key has no
// ports; any other failure is the registry's error.
LSTATUS ReadPortNames(std::vector<std::string>* pvNames)
{
    HKEY hPorts = nullptr;
    LSTATUS nStatus = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPortsKey, 0, KEY_READ, &hPorts);
    if (nStatus == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (nStatus != ERROR_SUCCESS)
        return nStatus;
    std::vector<char> vName(kValueNameCapacity);
    for (DWORD dwIndex = 0;; ++dwIndex)
    {
        DWORD cchName = kValueNameCapacity;
        nStatus = RegEnumValueA(hPorts, dwIndex, vName.data(), &cchName, nullptr, nullptr, nullptr, nullptr);
        if (nStatus != ERROR_SUCCESS)
            break;
        pvNames->emplace_back(vName.data(), cchName);
    }
    RegCloseKey(hPorts);
    return nStatus == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : nStatus;
}

// Lays the records out at the start of the caller's buffer and the strings
// they point to after them, in the order of the records.
class RecordWriter
{
public:
    RecordWriter(LPBYTE pbBuffer, size_t cbRecords) : m_pbBuffer(pbBuffer), m_cbUsed(cbRecords)
    {
    }

    LPSTR AddString(const std::string& sText)
    {
        LPSTR pszCopy = reinterpret_cast<LPSTR>(m_pbBuffer + m_cbUsed);
        memcpy(pszCopy, sText.c_str(), sText.size() + 1);
        m_cbUsed += sText.size() + 1;
        return pszCopy;
    }

private:
    LPBYTE m_pbBuffer;
    size_t m_cbUsed;
};

size_t BytesNeeded(DWORD dwLevel, const std::vector<std::string>& vNames)
{
    size_t cbNeeded = 0;
    for (const std::string& sName : vNames)
    {
        cbNeeded += sName.size() + 1;
        if (dwLevel == 1)
        {
            cbNeeded += sizeof(PORT_INFO_1A);
        }
        else
        {
            cbNeeded += sizeof(PORT_INFO_2A) + sizeof kLocalMonitorName + sizeof kLocalPortDescription;
        }
    }
    return cbNeeded;
}

void WritePorts(DWORD dwLevel, const std::vector<std::string>& vNames, LPBYTE pbBuffer)
{
    const size_t cbRecord = dwLevel == 1 ? sizeof(PORT_INFO_1A) : sizeof(PORT_INFO_2A);
    RecordWriter tWriter(pbBuffer, cbRecord * vNames.size());
    for (size_t n = 0; n < vNames.size(); ++n)
    {
        if (dwLevel == 1)
        {
            PORT_INFO_1A tRecord{};
            tRecord.pName = tWriter.AddString(vNames[n]);
            memcpy(pbBuffer + n * cbRecord, &tRecord, sizeof tRecord);
        }
        else
        {
            PORT_INFO_2A tRecord{};
            tRecord.pPortName = tWriter.AddString(vNames[n]);
            tRecord.pMonitorName = tWriter.AddString(kLocalMonitorName);
            tRecord.pDescription = tWriter.AddString(kLocalPortDescription);
            tRecord.fPortType = kLocalPortType;
            memcpy(pbBuffer + n * cbRecord, &tRecord, sizeof tRecord);
        }
    }
}

bool IsKnownEnvironment(LPCSTR pszEnvironment)
{
    if (pszEnvironment == nullptr || pszEnvironment[0] == '\0')
        return true;
    for (const char* pszKnown : kEnvironments)
    {
        if (strcasecmp(pszKnown, pszEnvironment) == 0)
            return true;
    }
    return false;
}

// A bare DLL name is looked for in the system directory; a path is taken as
// it is.
bool IsDllPresent(LPCSTR pszDllName)
{
    std::string sPath = pszDllName;
    if (strpbrk(pszDllName, "\\/:") == nullptr)
    {
        char szSystem[MAX_PATH];
        const UINT cchSystem = GetSystemDirectoryA(szSystem, sizeof szSystem);
        if (cchSystem == 0 || cchSystem >= sizeof szSystem)
            return false;
        sPath = std::string(szSystem) + "\\" + pszDllName;
    }
    const DWORD dwAttributes = GetFileAttributesA(sPath.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsMonitorRegistered(const std::string& sMonitorKey)
{
    HKEY hMonitor = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sMonitorKey.c_str(), 0, KEY_READ, &hMonitor) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hMonitor);
    return true;
}

// Creates the monitor's key with its DLL, or nothing; the last error is set on
// failure.
bool RegisterMonitor(const std::string& sMonitorKey, LPCSTR pszDllName)
{
    HKEY hMonitor = nullptr;
    DWORD dwDisposition = 0;
    LSTATUS nStatus = RegCreateKeyExA(HKEY_LOCAL_MACHINE, sMonitorKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_WRITE, nullptr, &hMonitor, &dwDisposition);
    if (nStatus != ERROR_SUCCESS)
    {
        SetLastError(static_cast<DWORD>(nStatus));
        return false;
    }
    if (dwDisposition == REG_OPENED_EXISTING_KEY)
    {
        nStatus = ERROR_PRINT_MONITOR_ALREADY_INSTALLED; // registered by another process meanwhile
    }
    else
    {
        nStatus = RegSetValueExA(hMonitor, "Driver", 0, REG_SZ, reinterpret_cast<const BYTE*>(pszDllName),
                                 static_cast<DWORD>(strlen(pszDllName) + 1));
    }
    RegCloseKey(hMonitor);
    if (nStatus != ERROR_SUCCESS)
    {
        // A key without its DLL would pass for a registered monitor.
        if (dwDisposition == REG_CREATED_NEW_KEY)
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, sMonitorKey.c_str());
        SetLastError(static_cast<DWORD>(nStatus));
        return false;
    }
    return true;
}

} // namespace

extern "C" {

BOOL WINAPI EnumPortsA(LPSTR pName, DWORD Level, LPBYTE pPorts, DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned)
{
    if (CallFaulted("EnumPortsA", pName))
        return FALSE;
    if (Level != 1 && Level != 2)
    {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (pcbNeeded == nullptr || pcReturned == nullptr)
    {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    if (!IsLocalServer(pName))
    {
        SetLastError(ERROR_INVALID_NAME); // there is no other print server
        return FALSE;
    }
    std::vector<std::string> vNames;
    const LSTATUS nStatus = ReadPortNames(&vNames);
    if (nStatus != ERROR_SUCCESS)
    {
        SetLastError(static_cast<DWORD>(nStatus));
        return FALSE;
    }
    const size_t cbNeeded = BytesNeeded(Level, vNames);
    *pcbNeeded = static_cast<DWORD>(cbNeeded);
    *pcReturned = 0;
    if (pPorts == nullptr || cbBuf < cbNeeded)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    WritePorts(Level, vNames, pPorts);
    *pcReturned = static_cast<DWORD>(vNames.size());
    return TRUE;
}

BOOL WINAPI AddMonitorA(LPSTR pName, DWORD Level, LPBYTE pMonitors)
{
    const auto* pMonitor = reinterpret_cast<const MONITOR_INFO_2A*>(pMonitors);
    if (CallFaulted("AddMonitorA", Level == 2 && pMonitor != nullptr ? pMonitor->pName : nullptr))
        return FALSE;
    if (Level != 2)
    {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (!IsLocalServer(pName))
    {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    // A monitor name with a backslash would make a key of several levels.
    if (pMonitor == nullptr || pMonitor->pName == nullptr || pMonitor->pName[0] == '\0' ||
        strchr(pMonitor->pName, '\\') != nullptr || pMonitor->pDLLName == nullptr || pMonitor->pDLLName[0] == '\0')
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsKnownEnvironment(pMonitor->pEnvironment))
    {
        SetLastError(ERROR_INVALID_ENVIRONMENT);
        return FALSE;
    }
    const std::string sMonitorKey = std::string(kMonitorsKey) + "\\" + pMonitor->pName;
    if (IsMonitorRegistered(sMonitorKey))
    {
        SetLastError(ERROR_PRINT_MONITOR_ALREADY_INSTALLED);
        return FALSE;
    }
    if (!IsDllPresent(pMonitor->pDLLName))
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    return RegisterMonitor(sMonitorKey, pMonitor->pDLLName) ? TRUE : FALSE;
}

} // extern "C"
