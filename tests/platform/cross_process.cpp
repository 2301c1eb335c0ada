#include "tests/platform/cross_process.h"

namespace qxz::test
{

namespace
{

constexpr DWORD kChildTimeout = 60000;
constexpr DWORD kNoExitCode = 0xfffffffe;
constexpr char kRoleArgumentVariable[] = "QXZ_TEST_ROLE_ARGUMENT";

// installer-sim's path, in the form that this platform starts programs by.
std::string InstallerSimPath()
{
    std::string sPath = QXZ_INSTALLER_SIM;
#ifdef _WIN32
    // Built on this machine's file system, run by Wine, which sees it as Z:.
    if (!sPath.empty() && sPath[0] == '/')
    {
        sPath = "Z:" + sPath;
        for (char& ch : sPath)
        {
            if (ch == '/')
                ch = '\\';
        }
    }
#endif
    return sPath;
}

// One word of a command for popen: the POSIX shell takes backslashes apart
// unless quoted; the Windows command interpreter has no use for quotes here.
std::string ShellWord(const std::string& sWord)
{
#ifdef _WIN32
    return sWord;
#else
    return "'" + sWord + "'";
#endif
}

std::string SimCommand(const std::vector<std::string>& vArguments)
{
    std::string sCommand = ShellWord(InstallerSimPath());
    for (const std::string& sArgument : vArguments)
        sCommand += " " + ShellWord(sArgument);
    return sCommand;
}

} // namespace

SimProcess::SimProcess(const std::vector<std::string>& vArguments)
    : m_pOutput(popen(SimCommand(vArguments).c_str(), "r"))
{
}

SimProcess::~SimProcess()
{
    Finish();
}

std::string SimProcess::ReadLine()
{
    std::string sLine;
    char achBuffer[512];
    while (m_pOutput != nullptr && fgets(achBuffer, sizeof achBuffer, m_pOutput) != nullptr)
    {
        sLine += achBuffer;
        if (sLine.back() == '\n')
            break;
    }
    while (!sLine.empty() && (sLine.back() == '\n' || sLine.back() == '\r'))
        sLine.pop_back();
    return sLine;
}

std::vector<std::string> SimProcess::Finish()
{
    std::vector<std::string> vLines;
    if (m_pOutput == nullptr)
        return vLines;
    for (std::string sLine = ReadLine(); !sLine.empty(); sLine = ReadLine())
        vLines.push_back(sLine);
    pclose(m_pOutput);
    m_pOutput = nullptr;
    return vLines;
}

std::string SelfPath()
{
    char szSelf[MAX_PATH];
    const DWORD cchSelf = GetModuleFileNameA(nullptr, szSelf, sizeof szSelf);
    return cchSelf == 0 || cchSelf >= sizeof szSelf ? std::string() : std::string(szSelf, cchSelf);
}

RoleEnvironment::RoleEnvironment(const char* pszSuite, const char* pszRole, const std::string& sArgument)
{
    SetEnvironmentVariableA("GTEST_FILTER", (std::string(pszSuite) + "." + pszRole).c_str());
    SetEnvironmentVariableA("GTEST_ALSO_RUN_DISABLED_TESTS", "1");
    SetEnvironmentVariableA(kRoleArgumentVariable, sArgument.c_str());
}

RoleEnvironment::~RoleEnvironment()
{
    SetEnvironmentVariableA("GTEST_FILTER", nullptr);
    SetEnvironmentVariableA("GTEST_ALSO_RUN_DISABLED_TESTS", nullptr);
    SetEnvironmentVariableA(kRoleArgumentVariable, nullptr);
}

bool StartRole(const char* pszSuite, const char* pszRole, const std::string& sArgument, PROCESS_INFORMATION* ptProcess)
{
    const std::string sSelf = SelfPath();
    if (sSelf.empty())
        return false;
    std::string sCommandLine = "\"" + sSelf + "\"";
    RoleEnvironment tEnvironment(pszSuite, pszRole, sArgument);
    STARTUPINFOA tStartup{};
    tStartup.cb = sizeof tStartup;
    return CreateProcessA(nullptr, &sCommandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &tStartup,
                          ptProcess) != FALSE;
}

std::string RoleArgument()
{
    char szValue[MAX_PATH] = "";
    const DWORD cchValue = GetEnvironmentVariableA(kRoleArgumentVariable, szValue, sizeof szValue);
    return cchValue < sizeof szValue ? std::string(szValue, cchValue) : std::string();
}

DWORD FinishRole(const PROCESS_INFORMATION& tProcess)
{
    DWORD dwExitCode = kNoExitCode;
    if (WaitForSingleObject(tProcess.hProcess, kChildTimeout) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(tProcess.hProcess, &dwExitCode))
    {
        dwExitCode = kNoExitCode;
    }
    CloseHandle(tProcess.hThread);
    CloseHandle(tProcess.hProcess);
    return dwExitCode;
}

} // namespace qxz::test
