// Helpers of the support library's tests: the log lines a test caused, a
// scratch registry key, raw registry access that bypasses the code under
// test.
#ifndef QXZ_TESTS_UNIT_QXZGLUE_TEST_SUPPORT_H
#define QXZ_TESTS_UNIT_QXZGLUE_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "log/log_file.h"
#include "platform/win32.h"
#include "tests/support/test_machine.h"

namespace qxz::test
{

// The lines of a log file after its header, with the line number of each
// error line replaced by "N", so that a test states the source file and the
// condition exactly without depending on where in the module the check
// stands.
inline std::vector<std::string> LogFileLines(const std::string& sPath)
{
    static const std::regex kLineNumber(", Line [0-9]+\\]: ");
    std::vector<std::string> vLines = SplitLines(ReadFileText(sPath));
    for (std::string& sLine : vLines)
    {
        if (!sLine.empty() && sLine.back() == '\r')
            sLine.pop_back(); // text mode on Windows
        sLine = std::regex_replace(sLine, kLineNumber, ", Line N]: ", std::regex_constants::format_first_only);
    }
    // The header: an empty line, the "**** ... ****" line, an empty line.
    if (vLines.size() < 3 || vLines[1].rfind("**** ", 0) != 0)
    {
        ADD_FAILURE() << "no log header in " << sPath;
        return vLines;
    }
    return std::vector<std::string>(vLines.begin() + 3, vLines.end());
}

// What g_Log receives while the object lives, in a file of its own; Lines()
// as LogFileLines gives them.
class CapturedLog
{
public:
    explicit CapturedLog(TestMachine& tMachine) : m_sPath(tMachine.NewDirectory("glue-log") + "\\test.log")
    {
        EXPECT_TRUE(g_Log.Open(m_sPath, 0, LogFlag_NameAsGiven)) << m_sPath;
    }
    ~CapturedLog()
    {
        g_Log.Close();
    }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    std::vector<std::string> Lines() const
    {
        return LogFileLines(m_sPath);
    }

private:
    std::string m_sPath;
};

// The base of every test that runs on a fresh machine and looks at what
// g_Log received.
class LoggedMachineTest : public ::testing::Test
{
protected:
    TestMachine m_tMachine;
    CapturedLog m_tLog{m_tMachine};
};

// The error line of a failed check in one of the library's modules.
inline std::string ErrorLine(const char* pszSourceFile, const std::string& sCondition)
{
    return std::string("[") + pszSourceFile + ", Line N]: Error --> " + sCondition;
}

inline std::string UtilsError(const std::string& sCondition)
{
    return ErrorLine("qxzglue_utils.cpp", sCondition);
}

inline std::string RegistryError(const std::string& sCondition)
{
    return ErrorLine("qxzglue_registry.cpp", sCondition);
}

// ---- Registry, bypassing the code under test ----------------------------------

// A driver key of its own below the Glue key, unique to this process and
// test (the registry under Wine is shared), deleted with its subkeys.
class ScratchDriverKey
{
public:
    ScratchDriverKey()
        : m_sDriverName("qxz-unit-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++s_nCounter)),
          m_sPath("SOFTWARE\\Vorquelle\\QXZ\\Glue\\" + m_sDriverName)
    {
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, m_sPath);
    }
    ~ScratchDriverKey()
    {
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, m_sPath);
    }
    ScratchDriverKey(const ScratchDriverKey&) = delete;
    ScratchDriverKey& operator=(const ScratchDriverKey&) = delete;

    const std::string& DriverName() const
    {
        return m_sDriverName;
    }
    const std::string& Path() const
    {
        return m_sPath;
    }

private:
    static inline unsigned s_nCounter = 0;
    std::string m_sDriverName;
    std::string m_sPath;
};

// Stores a value exactly as given: any type, any bytes.
inline void SetRawValue(const std::string& sPath, const char* pszName, DWORD dwType, const std::string& sData)
{
    HKEY hKey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, sPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                              nullptr, &hKey, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(hKey, pszName, 0, dwType, reinterpret_cast<const BYTE*>(sData.data()),
                             static_cast<DWORD>(sData.size())),
              ERROR_SUCCESS);
    RegCloseKey(hKey);
}

struct RawValue
{
    LONG lResult = ERROR_FILE_NOT_FOUND;
    DWORD dwType = REG_NONE;
    std::string sData;
};

inline RawValue QueryRawValue(const std::string& sPath, const char* pszName)
{
    RawValue tValue;
    HKEY hKey = nullptr;
    tValue.lResult = RegOpenKeyExA(HKEY_LOCAL_MACHINE, sPath.c_str(), 0, KEY_READ, &hKey);
    if (tValue.lResult != ERROR_SUCCESS)
        return tValue;
    BYTE abData[1024];
    DWORD cbData = sizeof abData;
    tValue.lResult = RegQueryValueExA(hKey, pszName, nullptr, &tValue.dwType, abData, &cbData);
    if (tValue.lResult == ERROR_SUCCESS)
        tValue.sData.assign(reinterpret_cast<const char*>(abData), cbData);
    RegCloseKey(hKey);
    return tValue;
}

} // namespace qxz::test

#endif // QXZ_TESTS_UNIT_QXZGLUE_TEST_SUPPORT_H
