// The emulated spooler's promise beyond what Windows shows under injected
// faults: a monitor whose registration fails half-way is not left behind as
// a key without its DLL, which would pass for a registered monitor.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"
#include "tests/support/scoped_faults.h"
#include "tests/support/test_machine.h"

namespace
{

constexpr char kMonitor[] = "QxzTest Monitor";
constexpr char kDll[] = "qxztestmon.dll";
constexpr char kMonitorKey[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\QxzTest Monitor";

BOOL AddTestMonitor()
{
    MONITOR_INFO_2A tMonitor{const_cast<LPSTR>(kMonitor), const_cast<LPSTR>("Windows 4.0"), const_cast<LPSTR>(kDll)};
    SetLastError(0xdeadbeef);
    return AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&tMonitor));
}

TEST(PosixSpooler, AMonitorWhoseDllCannotBeRecordedIsNotLeftRegistered)
{
    // The monitor's key is made (the first change of the registry file), then
    // its DLL recorded in it (the second): the second step fails.
    const struct
    {
        const char* pszFaults;
        DWORD dwError;
    } aCases[] = {
        {"RegSetValueExA@Driver=5", ERROR_ACCESS_DENIED},
        {"rename#2=28", ERROR_CANTWRITE},
        {"write#2=5", ERROR_CANTWRITE},
    };
    for (const auto& tCase : aCases)
    {
        SCOPED_TRACE(tCase.pszFaults);
        qxz::test::TestMachine machine;
        char szSystem[MAX_PATH];
        ASSERT_NE(0u, GetSystemDirectoryA(szSystem, sizeof szSystem));
        HANDLE hDll = CreateFileA((std::string(szSystem) + "\\" + kDll).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, hDll);
        CloseHandle(hDll);
        ASSERT_FALSE(qxz::test::KeyExists(kMonitorKey)); // the machine's registry file exists from here on
        {
            qxz::test::ScopedFaults faults(tCase.pszFaults);
            EXPECT_FALSE(AddTestMonitor());
            EXPECT_EQ(tCase.dwError, GetLastError());
        }
        EXPECT_FALSE(qxz::test::KeyExists(kMonitorKey));
        // Registered at the next attempt, not refused as installed already.
        EXPECT_TRUE(AddTestMonitor());
        EXPECT_TRUE(qxz::test::KeyExists(kMonitorKey));
    }
}

} // namespace
