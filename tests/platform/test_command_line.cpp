// The process command line: the rule that cuts a program's name off it, and
// GetCommandLineA and __argv in a windowed program, natively and under Wine.
#include <gtest/gtest.h>

#include <string>

#include "platform/command_line.h"
#include "platform/win32.h"
#include "tests/support/test_machine.h"

namespace
{

TEST(TextAfterProgramName, SkipsTheNameThenTheCharactersOneToThirtyTwo)
{
    const struct
    {
        const char* pszLabel;
        const char* pszCommandLine;
        const char* pszText;
    } kCases[] = {
        {"quoted name", "\"C:\\Program Files\\p.exe\" -a -b", "-a -b"},
        {"quoted name, no blank after it", "\"C:\\p.exe\"-a", "-a"},
        {"quoted name never closed", "\"C:\\p.exe -a", ""},
        {"unquoted name", "C:\\p.exe -a  -b ", "-a  -b "},
        {"unquoted name ends at a tab", "p.exe\t-a", "-a"},
        {"unquoted name ends at a control character", "p.exe\x01-a", "-a"},
        {"blanks, tabs and control characters after the name", "p.exe \t\x1f\x0b -a", "-a"},
        {"0xE9 first after the name", "p.exe \xe9t\xff -a", "\xe9t\xff -a"},
        {"0xA0 is no blank", "p.exe\xa0-a x", "x"},
        {"0xE9 in a quoted name", "\"C:\\\xe9 p.exe\" \xe9", "\xe9"},
        {"name only", "p.exe", ""},
        {"quoted name only", "\"C:\\a b\\p.exe\"", ""},
        {"name and blanks only", "p.exe  \t ", ""},
        {"empty", "", ""},
        {"blanks before an unquoted name", "  -a", "-a"},
    };
    for (const auto& tCase : kCases)
    {
        EXPECT_EQ(std::string(qxz::TextAfterProgramName(tCase.pszCommandLine)), tCase.pszText) << tCase.pszLabel;
    }
    EXPECT_STREQ(qxz::TextAfterProgramName(nullptr), "");
}

// The helper program's path in Windows form, on the drive that shows the
// host's file system (Z:) on both platforms.
std::string HelperProgram()
{
    std::string sPath = "Z:" + std::string(QXZ_COMMAND_LINE_PROGRAM);
    for (char& ch : sPath)
    {
        if (ch == '/')
            ch = '\\';
    }
    return sPath;
}

class CommandLine : public ::testing::Test
{
protected:
    qxz::test::TestMachine m_tMachine;
};

// What the helper reports when started as the co-installer starts a program:
// its path, a blank, then the text.
TEST_F(CommandLine, AWindowedProgramSeesItsCommandLineAndItsPathAsArgumentZero)
{
    const std::string sDirectory = m_tMachine.NewDirectory("command-line");
    ASSERT_FALSE(sDirectory.empty());
    const std::string sOutput = sDirectory + "\\report";
    ASSERT_TRUE(SetEnvironmentVariableA("QXZ_TEST_OUTPUT", sOutput.c_str()));
    const std::string sProgram = HelperProgram();
    for (const char* pszText : {"-a -b", "  \t-a  b ", "\xe9t\xff -port=LPT1:", ""})
    {
        SCOPED_TRACE(pszText);
        DeleteFileA(sOutput.c_str());
        std::string sCommandLine = sProgram;
        if (*pszText != '\0')
            sCommandLine += std::string(" ") + pszText;
        std::string sWritable = sCommandLine;
        STARTUPINFOA tStartup{};
        tStartup.cb = sizeof tStartup;
        PROCESS_INFORMATION tProcess{};
        ASSERT_TRUE(
            CreateProcessA(nullptr, &sWritable[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &tStartup, &tProcess));
        DWORD dwExitCode = 1;
        EXPECT_EQ(WaitForSingleObject(tProcess.hProcess, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
        EXPECT_TRUE(GetExitCodeProcess(tProcess.hProcess, &dwExitCode));
        CloseHandle(tProcess.hThread);
        CloseHandle(tProcess.hProcess);
        EXPECT_EQ(dwExitCode, 0u);
        EXPECT_EQ(qxz::test::ReadFileText(sOutput), sCommandLine + '\0' + sProgram);
    }
    SetEnvironmentVariableA("QXZ_TEST_OUTPUT", nullptr);
}

} // namespace
