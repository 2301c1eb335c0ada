// Conformance of the spooler calls EnumPortsA and AddMonitorA: results, last
// errors, the records in the caller's buffer and the monitor keys left in
// the registry, natively (our layer) and under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/support/test_machine.h"

namespace
{

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr char kPortsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";
constexpr char kMonitorsKey[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors";
const std::vector<std::string> kFreshPorts = {"COM1:", "COM2:", "COM3:", "COM4:", "FILE:", "LPT1:", "LPT2:", "LPT3:"};

// A string of a record: it must lie in the caller's buffer, after the records.
std::string StringInBuffer(LPCSTR psz, const std::vector<BYTE>& vBuffer, size_t cbRecords)
{
    const BYTE* pb = reinterpret_cast<const BYTE*>(psz);
    EXPECT_TRUE(pb >= vBuffer.data() + cbRecords && pb < vBuffer.data() + vBuffer.size());
    if (pb < vBuffer.data() || pb >= vBuffer.data() + vBuffer.size())
        return "<outside the buffer>";
    const size_t cbLeft = static_cast<size_t>(vBuffer.data() + vBuffer.size() - pb);
    const size_t cch = strnlen(psz, cbLeft);
    EXPECT_LT(cch, cbLeft) << "no terminating zero in the buffer";
    return std::string(psz, cch);
}

class Spooler : public ::testing::Test
{
protected:
    // The ports at a level, through the size query and a buffer of that size.
    std::vector<BYTE> EnumeratePorts(DWORD dwLevel, DWORD* pcReturned)
    {
        DWORD cbNeeded = kSentinel;
        *pcReturned = kSentinel;
        SetLastError(kSentinel);
        EXPECT_FALSE(EnumPortsA(nullptr, dwLevel, nullptr, 0, &cbNeeded, pcReturned));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
        EXPECT_EQ(0u, *pcReturned);
        EXPECT_NE(kSentinel, cbNeeded);
        std::vector<BYTE> vBuffer(cbNeeded);
        DWORD cbSecond = kSentinel;
        EXPECT_TRUE(EnumPortsA(nullptr, dwLevel, vBuffer.data(), cbNeeded, &cbSecond, pcReturned));
        EXPECT_EQ(cbNeeded, cbSecond);
        return vBuffer;
    }

    std::vector<std::string> PortNames()
    {
        DWORD cReturned = 0;
        const std::vector<BYTE> vBuffer = EnumeratePorts(1, &cReturned);
        std::vector<std::string> vNames;
        for (DWORD n = 0; n < cReturned; ++n)
        {
            PORT_INFO_1A tPort;
            memcpy(&tPort, vBuffer.data() + n * sizeof tPort, sizeof tPort);
            vNames.push_back(StringInBuffer(tPort.pName, vBuffer, cReturned * sizeof tPort));
        }
        return vNames;
    }

    qxz::test::TestMachine m_tMachine;
};

TEST_F(Spooler, ThePortsOfAFreshMachineAreLocalPorts)
{
    DWORD cReturned = 0;
    const std::vector<BYTE> vBuffer = EnumeratePorts(2, &cReturned);
    ASSERT_GE(cReturned, kFreshPorts.size());
    ASSERT_GE(vBuffer.size(), cReturned * sizeof(PORT_INFO_2A));
    std::vector<std::string> vNames;
    for (DWORD n = 0; n < cReturned; ++n)
    {
        PORT_INFO_2A tPort;
        memcpy(&tPort, vBuffer.data() + n * sizeof tPort, sizeof tPort);
        const size_t cbRecords = cReturned * sizeof tPort;
        vNames.push_back(StringInBuffer(tPort.pPortName, vBuffer, cbRecords));
        SCOPED_TRACE(vNames.back());
        EXPECT_EQ("Local Monitor", StringInBuffer(tPort.pMonitorName, vBuffer, cbRecords));
        EXPECT_EQ("Local Port", StringInBuffer(tPort.pDescription, vBuffer, cbRecords));
        EXPECT_EQ(static_cast<DWORD>(PORT_TYPE_WRITE), tPort.fPortType);
        EXPECT_EQ(0u, tPort.Reserved);
    }
    for (const std::string& sPort : kFreshPorts)
    {
        EXPECT_NE(vNames.end(), std::find(vNames.begin(), vNames.end(), sPort)) << sPort;
    }
    // Level 1 lists the same ports in the same order.
    EXPECT_EQ(vNames, PortNames());
}

TEST_F(Spooler, ABufferTooSmallByOneByteIsRefused)
{
    for (DWORD dwLevel : {1u, 2u})
    {
        SCOPED_TRACE(dwLevel);
        DWORD cbNeeded = 0;
        DWORD cReturned = 0;
        ASSERT_FALSE(EnumPortsA(nullptr, dwLevel, nullptr, 0, &cbNeeded, &cReturned));
        std::vector<BYTE> vBuffer(cbNeeded + 16);
        DWORD cbReported = kSentinel;
        cReturned = kSentinel;
        SetLastError(kSentinel);
        EXPECT_FALSE(EnumPortsA(nullptr, dwLevel, vBuffer.data(), cbNeeded - 1, &cbReported, &cReturned));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
        EXPECT_EQ(cbNeeded, cbReported);
        EXPECT_EQ(0u, cReturned);
        // A larger buffer is fine.
        EXPECT_TRUE(
            EnumPortsA(nullptr, dwLevel, vBuffer.data(), static_cast<DWORD>(vBuffer.size()), &cbReported, &cReturned));
        EXPECT_EQ(cbNeeded, cbReported);
        EXPECT_GE(cReturned, kFreshPorts.size());
    }
}

TEST_F(Spooler, EnumPortsArgumentErrors)
{
    DWORD cbNeeded = 0;
    DWORD cReturned = 0;
    for (DWORD dwLevel : {0u, 3u, 4u})
    {
        SCOPED_TRACE(dwLevel);
        SetLastError(kSentinel);
        EXPECT_FALSE(EnumPortsA(nullptr, dwLevel, nullptr, 0, &cbNeeded, &cReturned));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError());
    }
    SetLastError(kSentinel);
    EXPECT_FALSE(EnumPortsA(nullptr, 2, nullptr, 0, nullptr, &cReturned));
    EXPECT_EQ(static_cast<DWORD>(RPC_X_NULL_REF_POINTER), GetLastError());
    SetLastError(kSentinel);
    EXPECT_FALSE(EnumPortsA(nullptr, 2, nullptr, 0, &cbNeeded, nullptr));
    EXPECT_EQ(static_cast<DWORD>(RPC_X_NULL_REF_POINTER), GetLastError());
}

TEST_F(Spooler, APortAddedToTheRegistryIsListed)
{
    const std::string sPort = "QXZTEST" + std::to_string(GetCurrentProcessId()) + ":";
    HKEY hPorts = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPortsKey, 0, KEY_ALL_ACCESS, &hPorts));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(hPorts, sPort.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1));
    const std::vector<std::string> vNames = PortNames();
    EXPECT_NE(vNames.end(), std::find(vNames.begin(), vNames.end(), sPort));
    RegDeleteValueA(hPorts, sPort.c_str());
    RegCloseKey(hPorts);
    const std::vector<std::string> vAfter = PortNames();
    EXPECT_EQ(vAfter.end(), std::find(vAfter.begin(), vAfter.end(), sPort));
}

// ---- AddMonitorA ------------------------------------------------------------------------

class MonitorRegistration : public Spooler
{
protected:
    void TearDown() override
    {
        for (const std::string& sMonitor : m_vMonitors)
            qxz::test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, std::string(kMonitorsKey) + "\\" + sMonitor);
    }

    // A monitor name of this test's own. A spooler keeps a monitor that it has
    // loaded, so every registration needs a new one.
    std::string NewMonitorName()
    {
        m_vMonitors.push_back("QxzTest Monitor " + std::to_string(GetCurrentProcessId()) + " " +
                              std::to_string(m_vMonitors.size()));
        return m_vMonitors.back();
    }

    BOOL Add(DWORD dwLevel, const char* pszName, const char* pszEnvironment, const char* pszDll)
    {
        MONITOR_INFO_2A tMonitor{const_cast<LPSTR>(pszName), const_cast<LPSTR>(pszEnvironment),
                                 const_cast<LPSTR>(pszDll)};
        SetLastError(kSentinel);
        return AddMonitorA(nullptr, dwLevel, reinterpret_cast<LPBYTE>(&tMonitor));
    }

    bool IsRegistered(const std::string& sMonitor, std::string* psDriver)
    {
        HKEY hMonitor = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kMonitorsKey) + "\\" + sMonitor).c_str(), 0, KEY_READ,
                          &hMonitor) != ERROR_SUCCESS)
        {
            return false;
        }
        char szDriver[MAX_PATH] = "";
        DWORD cbDriver = sizeof szDriver;
        DWORD dwType = 0;
        if (RegQueryValueExA(hMonitor, "Driver", nullptr, &dwType, reinterpret_cast<LPBYTE>(szDriver), &cbDriver) ==
                ERROR_SUCCESS &&
            dwType == REG_SZ)
        {
            *psDriver = szDriver;
        }
        RegCloseKey(hMonitor);
        return true;
    }

    std::vector<std::string> m_vMonitors;
};

// The Pin's own call, on a machine without the USB monitor's DLL.
TEST_F(MonitorRegistration, TheUsbMonitorNeedsItsDll)
{
    std::string sDriver;
    ASSERT_FALSE(IsRegistered("usbmon", &sDriver));
    EXPECT_FALSE(Add(2, "usbmon", "Windows 4.0", "usbmon.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    EXPECT_FALSE(IsRegistered("usbmon", &sDriver));
}

TEST_F(MonitorRegistration, Refusals)
{
    const std::string sMonitor = NewMonitorName();
    struct Case
    {
        DWORD dwLevel;
        const char* pszName;
        const char* pszEnvironment;
        const char* pszDll;
        DWORD dwError;
    };
    const Case aCases[] = {
        {1, sMonitor.c_str(), "Windows 4.0", "localspl.dll", ERROR_INVALID_LEVEL},
        {3, sMonitor.c_str(), "Windows 4.0", "localspl.dll", ERROR_INVALID_LEVEL},
        {2, sMonitor.c_str(), "Windows 4.0", "qxz-no-such-monitor.dll", ERROR_MOD_NOT_FOUND},
        {2, sMonitor.c_str(), "Windows NT R4000", "localspl.dll", ERROR_INVALID_ENVIRONMENT},
        {2, nullptr, "Windows 4.0", "localspl.dll", ERROR_INVALID_PARAMETER},
        {2, "", "Windows 4.0", "localspl.dll", ERROR_INVALID_PARAMETER},
        {2, sMonitor.c_str(), "Windows 4.0", nullptr, ERROR_INVALID_PARAMETER},
        {2, sMonitor.c_str(), "Windows 4.0", "", ERROR_INVALID_PARAMETER},
        // Registered already; the name decides, before the DLL is looked for.
        {2, "Local Port", "Windows 4.0", "localspl.dll", ERROR_PRINT_MONITOR_ALREADY_INSTALLED},
        {2, "Local Port", "Windows 4.0", "qxz-no-such-monitor.dll", ERROR_PRINT_MONITOR_ALREADY_INSTALLED},
    };
    for (const Case& tCase : aCases)
    {
        SCOPED_TRACE(::testing::Message() << tCase.dwLevel << " " << (tCase.pszName ? tCase.pszName : "(null)") << " "
                                          << tCase.pszEnvironment << " " << (tCase.pszDll ? tCase.pszDll : "(null)"));
        EXPECT_FALSE(Add(tCase.dwLevel, tCase.pszName, tCase.pszEnvironment, tCase.pszDll));
        EXPECT_EQ(tCase.dwError, GetLastError());
    }
    std::string sDriver;
    EXPECT_FALSE(IsRegistered(sMonitor, &sDriver));
    ASSERT_TRUE(IsRegistered("Local Port", &sDriver));
    EXPECT_EQ("localspl.dll", sDriver);
}

TEST_F(MonitorRegistration, AMonitorWhoseDllIsPresentIsRegisteredOnce)
{
    char szSystem[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryA(szSystem, sizeof szSystem));
    const std::string sDll = std::string(szSystem) + "\\localspl.dll";
    if (GetFileAttributesA(sDll.c_str()) == INVALID_FILE_ATTRIBUTES)
    { // the emulated machine has no DLLs
        HANDLE hDll = CreateFileA(sDll.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, hDll);
        CloseHandle(hDll);
    }
    for (const char* pszEnvironment : {"Windows 4.0", "windows x64", "", static_cast<const char*>(nullptr)})
    {
        SCOPED_TRACE(pszEnvironment == nullptr ? "(null)" : pszEnvironment);
        const std::string sMonitor = NewMonitorName();
        EXPECT_TRUE(Add(2, sMonitor.c_str(), pszEnvironment, "localspl.dll"));
        std::string sDriver;
        ASSERT_TRUE(IsRegistered(sMonitor, &sDriver));
        EXPECT_EQ("localspl.dll", sDriver);
        // Monitor names are registry keys: they compare ignoring case.
        std::string sOtherCase = sMonitor;
        std::transform(sOtherCase.begin(), sOtherCase.end(), sOtherCase.begin(),
                       [](char ch) { return static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch); });
        for (const std::string& sName : {sMonitor, sOtherCase})
        {
            EXPECT_FALSE(Add(2, sName.c_str(), "Windows 4.0", "localspl.dll"));
            EXPECT_EQ(static_cast<DWORD>(ERROR_PRINT_MONITOR_ALREADY_INSTALLED), GetLastError());
        }
    }
}

} // namespace
