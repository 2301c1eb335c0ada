// How CreateProcessA hands a command line to a POSIX program: the program
// token without its quotes as argv[0], and the rest of the text after one
// blank, unchanged, as the single argv[1]. touch shows argv[1]: it creates a
// file of exactly that name.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/win32.h"
#include "tests/support/test_machine.h"

namespace
{

constexpr DWORD kGenerous = 60000;

class PosixCreateProcess : public ::testing::Test
{
protected:
    // Runs the command line and returns the program's exit code.
    DWORD Run(const char* pszApplicationName, std::string sCommandLine)
    {
        STARTUPINFOA tStartup{};
        tStartup.cb = sizeof tStartup;
        PROCESS_INFORMATION tChild{};
        EXPECT_TRUE(CreateProcessA(pszApplicationName, &sCommandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &tStartup, &tChild));
        DWORD dwExitCode = STILL_ACTIVE;
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(tChild.hProcess, kGenerous));
        EXPECT_TRUE(GetExitCodeProcess(tChild.hProcess, &dwExitCode));
        CloseHandle(tChild.hThread);
        CloseHandle(tChild.hProcess);
        return dwExitCode;
    }

    qxz::test::TestMachine m_tMachine;
};

TEST_F(PosixCreateProcess, TheChildGetsTheTextAfterTheProgramExactly)
{
    const std::string sDirectory = m_tMachine.Root() + "/";
    struct Case
    {
        const char* pszApplicationName;
        std::string sCommandLine;
        const char* pszFileName;
    };
    const Case aCases[] = {
        {nullptr, "/usr/bin/touch " + sDirectory + "plain", "plain"},
        {nullptr, "\"/usr/bin/touch\" " + sDirectory + "two  blanks ", "two  blanks "},
        {nullptr, "/usr/bin/touch " + sDirectory + "\"quoted\" text", "\"quoted\" text"},
        {nullptr, "/usr/bin/touch\t" + sDirectory + "after a tab", "after a tab"},
        {nullptr, "\"/usr/bin/touch\"" + sDirectory + "no blank", "no blank"},
        {nullptr, "Z:\\usr\\bin\\touch " + sDirectory + "windows path", "windows path"},
        {"/usr/bin/touch", "anything " + sDirectory + "application name", "application name"},
    };
    for (const Case& tCase : aCases)
    {
        SCOPED_TRACE(tCase.sCommandLine);
        EXPECT_EQ(0u, Run(tCase.pszApplicationName, tCase.sCommandLine));
        EXPECT_TRUE(std::filesystem::exists(sDirectory + tCase.pszFileName));
    }
}

TEST_F(PosixCreateProcess, AProgramKilledByASignalReportsItAsAShellDoes)
{
    const std::string sScript = m_tMachine.Root() + "/kill-myself";
    std::ofstream(sScript) << "kill -9 $$\n";
    EXPECT_EQ(128u + 9u, Run(nullptr, "/bin/sh " + sScript));
}

} // namespace
