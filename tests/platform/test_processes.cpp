// Conformance of threads and processes: CreateThread, CreateProcessA,
// GetExitCodeProcess and waits on their handles, natively and under Wine.
// The child processes are this program itself, playing a role, and
// installer-sim.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/platform/cross_process.h"
#include "tests/support/test_machine.h"

namespace
{

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr DWORD kGenerous = 60000; // a bound on waits that must not time out
constexpr char kRoleSuite[] = "ProcessesRole";

std::string UniqueName(const char* pszLabel)
{
    return std::string("QxzTest_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + pszLabel +
           "_" + std::to_string(GetCurrentProcessId());
}

class Processes : public ::testing::Test
{
protected:
    qxz::test::TestMachine m_tMachine;
};

TEST(ProcessesRole, DISABLED_ExitWithCode)
{
    std::exit(std::atoi(qxz::test::RoleArgument().c_str()));
}

TEST(ProcessesRole, DISABLED_EndWhenSignalled)
{
    HANDLE hEvent = OpenEventA(EVENT_ALL_ACCESS, FALSE, qxz::test::RoleArgument().c_str());
    ASSERT_NE(nullptr, hEvent);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hEvent, kGenerous));
    CloseHandle(hEvent);
}

TEST_F(Processes, AProcessEndsWithItsExitCode)
{
    for (const char* pszCode : {"0", "7", "254"})
    {
        SCOPED_TRACE(pszCode);
        PROCESS_INFORMATION tChild{};
        ASSERT_TRUE(qxz::test::StartRole(kRoleSuite, "DISABLED_ExitWithCode", pszCode, &tChild));
        EXPECT_NE(nullptr, tChild.hProcess);
        EXPECT_NE(nullptr, tChild.hThread);
        EXPECT_NE(0u, tChild.dwProcessId);
        EXPECT_NE(0u, tChild.dwThreadId);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(tChild.hThread, kGenerous));
        EXPECT_EQ(static_cast<DWORD>(std::atoi(pszCode)), qxz::test::FinishRole(tChild));
    }
}

TEST_F(Processes, ARunningProcessIsStillActive)
{
    const std::string sName = UniqueName("end");
    HANDLE hEnd = CreateEventA(nullptr, TRUE, FALSE, sName.c_str());
    ASSERT_NE(nullptr, hEnd);
    PROCESS_INFORMATION tChild{};
    ASSERT_TRUE(qxz::test::StartRole(kRoleSuite, "DISABLED_EndWhenSignalled", sName, &tChild));
    DWORD dwExitCode = kSentinel;
    EXPECT_TRUE(GetExitCodeProcess(tChild.hProcess, &dwExitCode));
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), dwExitCode);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(tChild.hProcess, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(tChild.hThread, 100));
    ASSERT_TRUE(SetEvent(hEnd));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(tChild.hProcess, kGenerous));
    // Once ended, it stays ended for every wait.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(tChild.hProcess, 0));
    EXPECT_EQ(0u, qxz::test::FinishRole(tChild));
    CloseHandle(hEnd);
}

TEST_F(Processes, AProgramThatIsNotThereDoesNotStart)
{
    char szSystem[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryA(szSystem, sizeof szSystem));
    std::string sCommandLine = std::string("\"") + szSystem + "\\qxz-no-such-program.exe\" -a=1";
    STARTUPINFOA tStartup{};
    tStartup.cb = sizeof tStartup;
    PROCESS_INFORMATION tChild{};
    SetLastError(kSentinel);
    EXPECT_FALSE(
        CreateProcessA(nullptr, &sCommandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &tStartup, &tChild));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(Processes, GetExitCodeProcessWantsAProcessHandle)
{
    HANDLE hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE hThread = CreateThread(
        nullptr, 0, [](LPVOID) -> DWORD { return 0; }, nullptr, 0, nullptr);
    ASSERT_NE(nullptr, hEvent);
    ASSERT_NE(nullptr, hThread);
    for (HANDLE hNotAProcess : {static_cast<HANDLE>(nullptr), hEvent, hThread})
    {
        DWORD dwExitCode = kSentinel;
        SetLastError(kSentinel);
        EXPECT_FALSE(GetExitCodeProcess(hNotAProcess, &dwExitCode));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_EQ(kSentinel, dwExitCode);
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hThread, kGenerous));
    CloseHandle(hThread);
    CloseHandle(hEvent);
}

TEST_F(Processes, AThreadHandleIsSignalledOnceTheThreadHasEnded)
{
    HANDLE hEnd = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, hEnd);
    DWORD dwThreadId = 0;
    HANDLE hThread = CreateThread(
        nullptr, 0, [](LPVOID h) -> DWORD { return WaitForSingleObject(static_cast<HANDLE>(h), kGenerous); }, hEnd, 0,
        &dwThreadId);
    ASSERT_NE(nullptr, hThread);
    EXPECT_NE(0u, dwThreadId);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hThread, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hThread, 100));
    ASSERT_TRUE(SetEvent(hEnd));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hThread, kGenerous));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hThread, 0));
    EXPECT_TRUE(CloseHandle(hThread));
    CloseHandle(hEnd);
}

TEST_F(Processes, AThreadWhoseHandleIsClosedRunsOn)
{
    HANDLE hEnd = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE hEnded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, hEnd);
    ASSERT_NE(nullptr, hEnded);
    HANDLE ahEvents[] = {hEnd, hEnded};
    HANDLE hThread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* ah = static_cast<HANDLE*>(p);
            WaitForSingleObject(ah[0], kGenerous);
            return SetEvent(ah[1]);
        },
        ahEvents, 0, nullptr);
    ASSERT_NE(nullptr, hThread);
    ASSERT_TRUE(CloseHandle(hThread));
    ASSERT_TRUE(SetEvent(hEnd));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hEnded, kGenerous));
    CloseHandle(hEnded);
    CloseHandle(hEnd);
}

// Glue's way of starting the Pin, played by installer-sim: the program's
// path in quotes and the text; the exit code comes back.
TEST_F(Processes, RunPinReportsTheExitCode)
{
    qxz::test::RoleEnvironment tRole(kRoleSuite, "DISABLED_ExitWithCode", "42");
    qxz::test::SimProcess tSim({"run-pin", qxz::test::SelfPath(), "-port=LPT1:"});
    // The started program writes into the same pipe, and may do so before
    // installer-sim says that it started it.
    std::vector<std::string> vLines = tSim.Finish();
    const auto itStarted = std::find(vLines.begin(), vLines.end(), "started");
    ASSERT_NE(itStarted, vLines.end());
    ASSERT_GE(vLines.end() - itStarted, 3);
    EXPECT_EQ("exit code 42", vLines[vLines.size() - 2]);
    EXPECT_EQ("run-pin: ok", vLines.back());
}

TEST_F(Processes, RunPinReportsAProgramThatDoesNotStart)
{
    char szSystem[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryA(szSystem, sizeof szSystem));
    qxz::test::SimProcess tSim({"run-pin", std::string(szSystem) + "\\qxz-no-such-program.exe", "-port=LPT1:"});
    EXPECT_EQ((std::vector<std::string>{"run-pin: CreateProcessA returned 2"}), tSim.Finish());
}

} // namespace
