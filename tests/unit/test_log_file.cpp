// The diagnostic log: name helpers, placement and numbering of the file, the
// header and line layouts, filtering, and the file's life between lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "log/log_check.h"
#include "log/log_file.h"
#include "log/log_number.h"
#include "platform/win32.h"
#include "tests/support/host_links.h"
#include "tests/support/test_machine.h"

namespace
{

using qxz::test::IsEmulatedMachine;
using qxz::test::kNoSymbolicLinks;
using qxz::test::MakeSpecialFile;
using qxz::test::MakeSymbolicLink;
using qxz::test::ReadFileText;
using qxz::test::SplitLines;
using qxz::test::TestMachine;

constexpr const char* kTimePlaceholder = "<time>";

// Sets (or, with no value, removes) a variable where the runtime's getenv
// reads it; the process environment follows.
void SetRuntimeVariable(const char* pszName, const char* pszValue)
{
#ifdef _WIN32
    const std::string sAssignment = std::string(pszName) + "=" + (pszValue == nullptr ? "" : pszValue);
    _putenv(sAssignment.c_str());
#else
    if (pszValue == nullptr)
    {
        unsetenv(pszName);
    }
    else
    {
        setenv(pszName, pszValue, 1);
    }
#endif
}

struct SavedVariable
{
    const char* pszName;
    bool fPresent;
    std::string sValue;
};

SavedVariable SaveVariable(const char* pszName)
{
    const char* pszValue = getenv(pszName);
    return SavedVariable{pszName, pszValue != nullptr, pszValue == nullptr ? "" : pszValue};
}

void RestoreVariable(const SavedVariable& tSaved)
{
    SetRuntimeVariable(tSaved.pszName, tSaved.fPresent ? tSaved.sValue.c_str() : nullptr);
}

// The value as the process environment holds it; null when absent.
std::unique_ptr<std::string> ProcessVariable(const char* pszName)
{
    char szValue[1024];
    SetLastError(ERROR_SUCCESS);
    const DWORD cch = GetEnvironmentVariableA(pszName, szValue, sizeof szValue);
    if (cch == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return nullptr;
    return std::make_unique<std::string>(cch < sizeof szValue ? std::string(szValue, cch) : std::string());
}

// "Wed Dec 09 23:12:19 2026": English names, every number zero-padded.
bool IsTimeText(const std::string& sText)
{
    static const std::vector<std::string> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const std::vector<std::string> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::string sShape = "Www Mmm 00 00:00:00 0000";
    if (sText.size() != sShape.size())
        return false;
    for (size_t i = 0; i < sShape.size(); ++i)
    {
        const bool fDigit = sText[i] >= '0' && sText[i] <= '9';
        if (sShape[i] == '0' && !fDigit)
            return false;
        if ((sShape[i] == ' ' || sShape[i] == ':') && sText[i] != sShape[i])
            return false;
    }
    auto IsOneOf = [](const std::string& sName, const std::vector<std::string>& vNames) {
        return std::find(vNames.begin(), vNames.end(), sName) != vNames.end();
    };
    return IsOneOf(sText.substr(0, 3), kDays) && IsOneOf(sText.substr(4, 3), kMonths);
}

// A line as expected, where kTimePlaceholder stands for one time text.
::testing::AssertionResult LineMatches(const std::string& sLine, const std::string& sExpected)
{
    const size_t isTime = sExpected.find(kTimePlaceholder);
    if (isTime == std::string::npos)
    {
        if (sLine == sExpected)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "\"" << sLine << "\" is not \"" << sExpected << "\"";
    }
    const std::string sBefore = sExpected.substr(0, isTime);
    const std::string sAfter = sExpected.substr(isTime + strlen(kTimePlaceholder));
    const size_t cchTime = 24;
    if (sLine.size() == sBefore.size() + cchTime + sAfter.size() && sLine.compare(0, sBefore.size(), sBefore) == 0 &&
        IsTimeText(sLine.substr(sBefore.size(), cchTime)) &&
        sLine.compare(sBefore.size() + cchTime, std::string::npos, sAfter) == 0)
    {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "\"" << sLine << "\" does not match \"" << sExpected << "\"";
}

// The file's lines; the runtime may have written "\r\n" (text mode).
std::vector<std::string> FileLines(const std::string& sPath)
{
    std::string sText = ReadFileText(sPath);
    std::string sWithoutReturns;
    for (char ch : sText)
    {
        if (ch != '\r')
            sWithoutReturns += ch;
    }
    return SplitLines(sWithoutReturns);
}

bool FileExists(const std::string& sPath)
{
    return GetFileAttributesA(sPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

FILETIME MakeFileTime(uint64_t nTicks)
{
    FILETIME ftTime;
    ftTime.dwLowDateTime = static_cast<DWORD>(nTicks);
    ftTime.dwHighDateTime = static_cast<DWORD>(nTicks >> 32);
    return ftTime;
}

// 2001-02-03 04:05:06.7 UTC.
constexpr uint64_t kOldTicks = 126258435067000000ull;
constexpr uint64_t kOneSecond = 10000000ull;

std::string TwoDigits(unsigned nNumber)
{
    return std::string(1, static_cast<char>('0' + nNumber / 10)) + static_cast<char>('0' + nNumber % 10);
}

// ---- Name helpers -------------------------------------------------------------------

struct NameCase
{
    const char* pszName;
    const char* pszFileNamePart;
    const char* pszDirectoryPart;
    const char* pszNameWithoutExtension;
    const char* pszExtension;
    const char* pszNumberSuffix;
    const char* pszBaseWithoutNumber;
};

TEST(LogNameHelpersTest, SplitNamesAtTheLastBackslashAndDot)
{
    const NameCase atCases[] = {
        {"C:\\TEMP\\qxqxin07.log", "qxqxin07.log", "C:\\TEMP\\", "qxqxin07", ".log", "07", "qxqxin"},
        {"qxqxin.log", "qxqxin.log", "", "qxqxin", ".log", "", "qxqxin"},
        {"log07.txt", "log07.txt", "", "log07", ".txt", "07", "log"},
        {"log99.txt", "log99.txt", "", "log99", ".txt", "99", "log"},
        {"07.log", "07.log", "", "07", ".log", "07", ""},
        {"mylog", "mylog", "", "mylog", "", "", "mylog"},
        {"mylog.", "mylog.", "", "mylog", "", "", "mylog"},
        {"x7.log", "x7.log", "", "x7", ".log", "", "x7"},
        {"log0a.txt", "log0a.txt", "", "log0a", ".txt", "", "log0a"},
        {"7", "7", "", "7", "", "", "7"},
        {"a.b.c", "a.b.c", "", "a.b", ".c", "", "a.b"},
        {"C:\\my.dir\\mylog", "mylog", "C:\\my.dir\\", "mylog", "", "", "mylog"},
        {"C:\\my.dir\\log12", "log12", "C:\\my.dir\\", "log12", "", "12", "log"},
        {"C:\\my.dir\\", "C:\\my.dir\\", "C:\\my.dir\\", "", "", "", ""},
        {"dir\\.log", ".log", "dir\\", "", ".log", "", ""},
        {"a\\b\\c", "c", "a\\b\\", "c", "", "", "c"},
        {"C:/fwd/name.log", "C:/fwd/name.log", "", "C:/fwd/name", ".log", "", "C:/fwd/name"},
        {"", "", "", "", "", "", ""},
    };
    for (const NameCase& tCase : atCases)
    {
        SCOPED_TRACE(tCase.pszName);
        EXPECT_EQ(CLogFile::GetFileNamePart(tCase.pszName), tCase.pszFileNamePart);
        EXPECT_EQ(CLogFile::GetDirectoryPart(tCase.pszName), tCase.pszDirectoryPart);
        EXPECT_EQ(CLogFile::GetNameWithoutExtension(tCase.pszName), tCase.pszNameWithoutExtension);
        EXPECT_EQ(CLogFile::GetExtension(tCase.pszName), tCase.pszExtension);
        EXPECT_EQ(CLogFile::GetNumberSuffix(tCase.pszName), tCase.pszNumberSuffix);
        EXPECT_EQ(CLogFile::GetBaseWithoutNumber(tCase.pszName), tCase.pszBaseWithoutNumber);
    }
}

// ---- Time text ------------------------------------------------------------------------

TEST(LogTimeTest, TimeTextIsTheCtimeFormWithTwoDigitDay)
{
    struct Case
    {
        int nYear, nMonth, nDay, nHour, nMinute, nSecond, nWeekday;
        const char* pszExpected;
    };
    const Case atCases[] = {
        {2026, 11, 9, 23, 12, 19, 3, "Wed Dec 09 23:12:19 2026"},
        {1970, 0, 1, 0, 0, 0, 4, "Thu Jan 01 00:00:00 1970"},
        {2000, 1, 29, 9, 5, 7, 2, "Tue Feb 29 09:05:07 2000"},
        {2031, 6, 31, 12, 59, 59, 4, "Thu Jul 31 12:59:59 2031"},
        {2026, 11, 9, 0, 0, 0, 7, "Unknown"},
        {2026, 12, 9, 0, 0, 0, 3, "Unknown"},
        {2026, -1, 9, 0, 0, 0, 3, "Unknown"},
    };
    for (const Case& tCase : atCases)
    {
        struct tm tLocal = {};
        tLocal.tm_year = tCase.nYear - 1900;
        tLocal.tm_mon = tCase.nMonth;
        tLocal.tm_mday = tCase.nDay;
        tLocal.tm_hour = tCase.nHour;
        tLocal.tm_min = tCase.nMinute;
        tLocal.tm_sec = tCase.nSecond;
        tLocal.tm_wday = tCase.nWeekday;
        EXPECT_EQ(CLogFile::TimeText(tLocal), tCase.pszExpected);
    }
}

TEST(LogTimeTest, CurrentTimeTextHasTheFixedForm)
{
    const std::string sTime = CLogFile::GetTimeText();
    EXPECT_TRUE(IsTimeText(sTime)) << sTime;
}

// ---- A log in a fresh temporary directory ------------------------------------------------

class LogFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_sTempDirectory = m_tMachine.NewDirectory("log");
        ASSERT_FALSE(m_sTempDirectory.empty());
        SetRuntimeVariable("TEMP", m_sTempDirectory.c_str());
        SetRuntimeVariable("TMP", nullptr);
    }

    void TearDown() override
    {
        m_Log.Close();
        RestoreVariable(m_tSavedTemp);
        RestoreVariable(m_tSavedTmp);
    }

    std::string PathOf(const std::string& sName) const
    {
        return m_sTempDirectory + "\\" + sName;
    }

    void MakeFile(const std::string& sPath, const std::string& sContent)
    {
        HANDLE hFile =
            CreateFileA(sPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(hFile, INVALID_HANDLE_VALUE) << sPath;
        DWORD cbWritten = 0;
        ASSERT_TRUE(WriteFile(hFile, sContent.data(), static_cast<DWORD>(sContent.size()), &cbWritten, nullptr));
        ASSERT_TRUE(CloseHandle(hFile));
    }

    void SetTimes(const std::string& sPath, uint64_t nAccessTicks, uint64_t nWriteTicks)
    {
        HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(hFile, INVALID_HANDLE_VALUE) << sPath;
        const FILETIME ftAccess = MakeFileTime(nAccessTicks);
        const FILETIME ftWrite = MakeFileTime(nWriteTicks);
        ASSERT_TRUE(SetFileTime(hFile, nullptr, &ftAccess, &ftWrite));
        ASSERT_TRUE(CloseHandle(hFile));
    }

    // Last accessed and last written at the time.
    void SetLastUse(const std::string& sPath, uint64_t nTicks)
    {
        SetTimes(sPath, nTicks, nTicks);
    }

    // The hundred numbered files, each last used at the given time.
    void MakeHundredFiles(const std::function<uint64_t(unsigned)>& fnUseTicks)
    {
        for (unsigned nNumber = 0; nNumber < 100; ++nNumber)
        {
            const std::string sPath = PathOf("qxqxin" + TwoDigits(nNumber) + ".log");
            MakeFile(sPath, "old run\n");
            SetLastUse(sPath, fnUseTicks(nNumber));
        }
    }

    // Checks the header and returns the lines after it.
    std::vector<std::string> LinesAfterHeader(const std::string& sPath)
    {
        std::vector<std::string> vLines = FileLines(sPath);
        EXPECT_GE(vLines.size(), 3u) << sPath;
        if (vLines.size() < 3)
            return {};
        EXPECT_EQ(vLines[0], "");
        EXPECT_TRUE(LineMatches(vLines[1], std::string("**** ") + kTimePlaceholder + " - Logging Enabled ****"));
        EXPECT_EQ(vLines[2], "");
        return std::vector<std::string>(vLines.begin() + 3, vLines.end());
    }

    SavedVariable m_tSavedTemp = SaveVariable("TEMP");
    SavedVariable m_tSavedTmp = SaveVariable("TMP");
    TestMachine m_tMachine;
    std::string m_sTempDirectory;
    CLogFile m_Log;
};

// ---- Line layouts -------------------------------------------------------------------------

struct LineCase
{
    const char* pszLabel;
    uint32_t dwFlags;
    std::function<bool(CLogFile&)> fnWrite;
    bool fWritten;
    std::vector<std::string> vExpected; // after the header; kTimePlaceholder stands for the time
};

TEST_F(LogFileTest, LinesAreLaidOutAsTheFlagsSay)
{
    const char* const pszEmpty = "";
    const char* const pszNone = nullptr;
    const std::string sLong(10000, 'y');
    const std::vector<LineCase> vCases = {
        {"message",
         0,
         [](CLogFile& tLog) { return tLog.LogMessage(0, "Port %s found", "USB001"); },
         true,
         {"Port USB001 found"}},
        {"numbers",
         0,
         [](CLogFile& tLog) { return tLog.LogMessage(0, "%d %x 0x%.8x", -5, 255u, 0xabcdu); },
         true,
         {"-5 ff 0x0000abcd"}},
        {"timestamped message",
         LogFlag_Timestamp,
         [](CLogFile& tLog) { return tLog.LogMessage(0, "x=%d", 5); },
         true,
         {"[<time>]: x=5"}},
        {"empty message", 0, [&](CLogFile& tLog) { return tLog.LogMessage(0, pszEmpty); }, false, {}},
        {"empty text", 0, [](CLogFile& tLog) { return tLog.LogMessage(0, "%s", ""); }, false, {}},
        {"timestamped empty message",
         LogFlag_Timestamp,
         [&](CLogFile& tLog) { return tLog.LogMessage(0, pszEmpty); },
         true,
         {"[<time>]: "}},
        {"newlines kept",
         0,
         [](CLogFile& tLog) { return tLog.LogMessage(0, "\nPorts:\n%s", "COM1:"); },
         true,
         {"", "Ports:", "COM1:"}},
        {"format text as argument",
         0,
         [](CLogFile& tLog) { return tLog.LogMessage(0, "%s", "%s%n%x"); },
         true,
         {"%s%n%x"}},
        {"text ends at a zero byte", 0, [](CLogFile& tLog) { return tLog.LogMessage(0, "ab%cde", 0); }, true, {"ab"}},
        {"long text", 0, [&](CLogFile& tLog) { return tLog.LogMessage(0, "%s", sLong.c_str()); }, true, {sLong}},
        {"unknown bits", 0x80 | 0x100, [](CLogFile& tLog) { return tLog.LogMessage(0, "plain"); }, true, {"plain"}},
        {"error",
         0,
         [](CLogFile& tLog) { return tLog.LogError(0, "..\\pin_main.cpp", 38, "Error --> %s", "sPath.empty()"); },
         true,
         {"[pin_main.cpp, Line 38]: Error --> sPath.empty()"}},
        {"error, full path",
         LogFlag_FullSourcePath,
         [](CLogFile& tLog) { return tLog.LogError(0, "..\\pin_main.cpp", 38, "Error --> %s", "sPath.empty()"); },
         true,
         {"[..\\pin_main.cpp, Line 38]: Error --> sPath.empty()"}},
        {"error, time",
         LogFlag_Timestamp,
         [](CLogFile& tLog) { return tLog.LogError(0, "..\\pin_main.cpp", 38, "Error --> %s", "sPath.empty()"); },
         true,
         {"[<time>, pin_main.cpp, Line 38]: Error --> sPath.empty()"}},
        {"error, time and full path",
         LogFlag_Timestamp | LogFlag_FullSourcePath,
         [](CLogFile& tLog) { return tLog.LogError(0, "..\\pin_main.cpp", 38, "Error --> %s", "sPath.empty()"); },
         true,
         {"[<time>, ..\\pin_main.cpp, Line 38]: Error --> sPath.empty()"}},
        {"deeper relative path",
         0,
         [](CLogFile& tLog) { return tLog.LogError(0, "..\\..\\include\\qxzglue\\qxzglue_utils.cpp", 7, "%s", "t"); },
         true,
         {"[qxzglue_utils.cpp, Line 7]: t"}},
        {"source without backslash",
         0,
         [](CLogFile& tLog) { return tLog.LogError(0, "pin_main.cpp", 1, "%s", "t"); },
         true,
         {"[pin_main.cpp, Line 1]: t"}},
        {"source ending in backslash",
         0,
         [](CLogFile& tLog) { return tLog.LogError(0, "..\\pin\\", 1, "%s", "t"); },
         true,
         {"[..\\pin\\, Line 1]: t"}},
        {"line zero",
         0,
         [](CLogFile& tLog) { return tLog.LogError(0, "a.cpp", 0, "%s", "t"); },
         true,
         {"[a.cpp, Line 0]: t"}},
        {"negative line",
         0,
         [](CLogFile& tLog) { return tLog.LogError(0, "a.cpp", -7, "%s", "t"); },
         true,
         {"[a.cpp, Line -7]: t"}},
        {"lowest line",
         0,
         [](CLogFile& tLog) { return tLog.LogError(0, "a.cpp", INT32_MIN, "%s", "t"); },
         true,
         {"[a.cpp, Line -2147483648]: t"}},
        {"error with empty text",
         0,
         [](CLogFile& tLog) { return tLog.LogError(0, "a.cpp", 3, "%s", ""); },
         true,
         {"[a.cpp, Line 3]: "}},
        {"message above the level", 0, [](CLogFile& tLog) { return tLog.LogMessage(1, "dropped"); }, false, {}},
        {"error above the level", 0, [](CLogFile& tLog) { return tLog.LogError(1, "a.cpp", 1, "dropped"); }, false, {}},
        {"no format", 0, [&](CLogFile& tLog) { return tLog.LogMessage(0, pszNone); }, false, {}},
        {"no source path", 0, [&](CLogFile& tLog) { return tLog.LogError(0, pszNone, 1, "dropped"); }, false, {}},
        {"no error format", 0, [&](CLogFile& tLog) { return tLog.LogError(0, "a.cpp", 1, pszNone); }, false, {}},
    };
    unsigned nCase = 0;
    for (const LineCase& tCase : vCases)
    {
        SCOPED_TRACE(tCase.pszLabel);
        const std::string sName = "lines" + std::to_string(nCase++) + ".log";
        ASSERT_TRUE(m_Log.Open(sName, 0, tCase.dwFlags));
        EXPECT_EQ(tCase.fnWrite(m_Log), tCase.fWritten);
        m_Log.Close();
        const std::vector<std::string> vLines = LinesAfterHeader(PathOf(sName));
        ASSERT_EQ(vLines.size(), tCase.vExpected.size());
        for (size_t i = 0; i < vLines.size(); ++i)
            EXPECT_TRUE(LineMatches(vLines[i], tCase.vExpected[i]));
    }
}

TEST_F(LogFileTest, LevelsUpToTheMaximumPass)
{
    struct Case
    {
        uint32_t dwMaxLevel;
        uint32_t dwLevel;
        bool fWritten;
    };
    const Case atCases[] = {{0, 0, true},          {0, 1, false}, {5, 5, true},
                            {5, 6, false},         {5, 0, true},  {0xFFFFFFFF, 0xFFFFFFFF, true},
                            {0, 0xFFFFFFFF, false}};
    for (const Case& tCase : atCases)
    {
        SCOPED_TRACE(std::to_string(tCase.dwMaxLevel) + " " + std::to_string(tCase.dwLevel));
        ASSERT_TRUE(m_Log.Open("levels.log", tCase.dwMaxLevel, 0));
        EXPECT_EQ(m_Log.LogMessage(tCase.dwLevel, "message"), tCase.fWritten);
        EXPECT_EQ(m_Log.LogError(tCase.dwLevel, "a.cpp", 1, "error"), tCase.fWritten);
        m_Log.Close();
        const std::vector<std::string> vLines = LinesAfterHeader(PathOf("levels.log"));
        EXPECT_EQ(vLines.size(), tCase.fWritten ? 2u : 0u);
    }
}

TEST_F(LogFileTest, CheckMacroWritesTheFailedCondition)
{
    static const char kSourcePath[] = "..\\pin_main.cpp";
    const std::string sPath;
    ASSERT_TRUE(g_Log.Open("check.log", 0, 0));
    const int nLine = __LINE__ + 1;
    const bool fFailed = QX_FAILS(sPath.empty());
    const bool fPassed = QX_FAILS(sPath.size() > 0);
    g_Log.Close();
    EXPECT_TRUE(fFailed);
    EXPECT_FALSE(fPassed);
    EXPECT_EQ(LinesAfterHeader(PathOf("check.log")),
              std::vector<std::string>{"[pin_main.cpp, Line " + std::to_string(nLine) + "]: Error --> sPath.empty()"});
}

// ---- Open, header, Close ------------------------------------------------------------------

TEST_F(LogFileTest, NothingIsWrittenBeforeOpenOrAfterClose)
{
    CLogFile tLog;
    EXPECT_FALSE(tLog.IsEnabled());
    EXPECT_FALSE(tLog.LogMessage(0, "early"));
    EXPECT_FALSE(tLog.LogError(0, "a.cpp", 1, "early"));
    EXPECT_FALSE(g_Log.IsEnabled());
    EXPECT_FALSE(g_Log.LogMessage(0, "early"));

    ASSERT_TRUE(tLog.Open("closed.log", 0, 0));
    tLog.Close();
    EXPECT_FALSE(tLog.IsEnabled());
    EXPECT_EQ(tLog.OpenFileName(), "");
    EXPECT_FALSE(tLog.LogMessage(0, "late"));
    tLog.Close();
    EXPECT_TRUE(LinesAfterHeader(PathOf("closed.log")).empty());
    // Only the one file was made.
    WIN32_FIND_DATAA tFindData;
    HANDLE hFind = FindFirstFileA(PathOf("*.log").c_str(), &tFindData);
    ASSERT_NE(hFind, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(tFindData.cFileName, "closed.log");
    EXPECT_FALSE(FindNextFileA(hFind, &tFindData));
    FindClose(hFind);
}

TEST_F(LogFileTest, OpenWritesTheHeaderIntoTheFirstFreeNumberedFile)
{
    ASSERT_TRUE(m_Log.Open("qxqxin.log", 0, LogFlag_Numbered));
    EXPECT_TRUE(m_Log.IsEnabled());
    EXPECT_EQ(m_Log.OpenFileName(), PathOf("qxqxin00.log"));
    // The header is in the file before any message, and the file is still open.
    const std::vector<std::string> vLines = FileLines(PathOf("qxqxin00.log"));
    ASSERT_EQ(vLines.size(), 3u);
    EXPECT_TRUE(LinesAfterHeader(PathOf("qxqxin00.log")).empty());
    EXPECT_TRUE(LineMatches(vLines[1], "**** <time> - Logging Enabled ****"));
}

TEST_F(LogFileTest, EveryLineIsInTheFileAsSoonAsItIsWritten)
{
    ASSERT_TRUE(m_Log.Open("qxqxin.log", 0, LogFlag_Numbered));
    ASSERT_TRUE(m_Log.LogMessage(0, "first"));
    EXPECT_EQ(LinesAfterHeader(PathOf("qxqxin00.log")), std::vector<std::string>{"first"});
    ASSERT_TRUE(m_Log.LogError(0, "a.cpp", 2, "second"));
    EXPECT_EQ(LinesAfterHeader(PathOf("qxqxin00.log")), (std::vector<std::string>{"first", "[a.cpp, Line 2]: second"}));
}

TEST_F(LogFileTest, TheFileStaysOpenBetweenLines)
{
    ASSERT_TRUE(m_Log.Open("kept.log", 0, 0));
    ASSERT_TRUE(m_Log.LogMessage(0, "first"));
    // A file open without delete sharing is not deleted.
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(DeleteFileA(PathOf("kept.log").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    ASSERT_TRUE(m_Log.LogMessage(0, "second"));
    EXPECT_EQ(LinesAfterHeader(PathOf("kept.log")), (std::vector<std::string>{"first", "second"}));
}

TEST_F(LogFileTest, ElevenRunsLeaveElevenNumberedFiles)
{
    for (unsigned nRun = 0; nRun < 11; ++nRun)
    {
        CLogFile tRun;
        ASSERT_TRUE(tRun.Open("qxqxin.log", 0, LogFlag_Numbered));
        EXPECT_EQ(tRun.OpenFileName(), PathOf("qxqxin" + TwoDigits(nRun) + ".log"));
        EXPECT_TRUE(tRun.LogMessage(0, "run %u", nRun));
    }
    for (unsigned nRun = 0; nRun < 11; ++nRun)
    {
        EXPECT_EQ(LinesAfterHeader(PathOf("qxqxin" + TwoDigits(nRun) + ".log")),
                  std::vector<std::string>{"run " + std::to_string(nRun)});
    }
    EXPECT_FALSE(FileExists(PathOf("qxqxin11.log")));
}

TEST_F(LogFileTest, WithAllHundredTheLeastRecentlyAccessedIsEmptiedAndReused)
{
    MakeHundredFiles(
        [](unsigned nNumber) { return nNumber == 42 ? kOldTicks : kOldTicks + (nNumber + 1) * kOneSecond; });
    ASSERT_TRUE(m_Log.Open("qxqxin.log", 0, LogFlag_Numbered));
    EXPECT_EQ(m_Log.OpenFileName(), PathOf("qxqxin42.log"));
    EXPECT_TRUE(LinesAfterHeader(PathOf("qxqxin42.log")).empty());
    EXPECT_EQ(FileLines(PathOf("qxqxin41.log")), std::vector<std::string>{"old run"});
}

// A write counts as a use: the later of a file's last access and last write
// decides, whichever the file system moved.
TEST_F(LogFileTest, TheLaterOfLastAccessAndLastWriteIsTheLastUse)
{
    struct Case
    {
        const char* pszLabel;
        uint64_t nAccess20, nWrite20, nAccess60, nWrite60;
        uint32_t dwExpected;
    };
    const uint64_t k1 = kOldTicks + kOneSecond, k2 = kOldTicks + 2 * kOneSecond, k3 = kOldTicks + 3 * kOneSecond;
    const Case atCases[] = {
        {"written after its last access", kOldTicks, k3, k1, k1, 60},
        {"accessed after its last write", k2, kOldTicks, k1, kOldTicks, 60},
        {"both earlier", k1, k1, k2, kOldTicks, 20},
        {"equal uses, the lower number", k1, kOldTicks, kOldTicks, k1, 20},
    };
    MakeHundredFiles([](unsigned nNumber) { return kOldTicks + (nNumber + 10) * kOneSecond; });
    for (const Case& tCase : atCases)
    {
        SCOPED_TRACE(tCase.pszLabel);
        SetTimes(PathOf("qxqxin20.log"), tCase.nAccess20, tCase.nWrite20);
        SetTimes(PathOf("qxqxin60.log"), tCase.nAccess60, tCase.nWrite60);
        uint32_t dwNumber = 777;
        ASSERT_TRUE(CLogFile::ChooseFileNumber(PathOf("qxqxin.log"), &dwNumber));
        EXPECT_EQ(dwNumber, tCase.dwExpected);
    }
}

// A machine that has run the Pin a hundred times: each run after it reuses
// the least recently used old file and keeps its whole log, whether or not
// the file system moves the access time on a write.
TEST_F(LogFileTest, RunsInARowAgainstAFullRotationKeepEveryLog)
{
    MakeHundredFiles(
        [](unsigned nNumber) { return nNumber == 42 ? kOldTicks : kOldTicks + (nNumber + 1) * kOneSecond; });
    const unsigned kRuns = 5;
    std::vector<std::string> vOpened;
    for (unsigned nRun = 0; nRun < kRuns; ++nRun)
    {
        CLogFile tRun;
        ASSERT_TRUE(tRun.Open("qxqxin.log", 0, LogFlag_Numbered));
        ASSERT_TRUE(tRun.LogMessage(0, "run %u", nRun));
        vOpened.push_back(tRun.OpenFileName());
    }
    EXPECT_EQ(vOpened, (std::vector<std::string>{PathOf("qxqxin42.log"), PathOf("qxqxin00.log"), PathOf("qxqxin01.log"),
                                                 PathOf("qxqxin02.log"), PathOf("qxqxin03.log")}));
    for (unsigned nRun = 0; nRun < kRuns && nRun < vOpened.size(); ++nRun)
        EXPECT_EQ(LinesAfterHeader(vOpened[nRun]), std::vector<std::string>{"run " + std::to_string(nRun)});
    unsigned nOld = 0;
    for (unsigned nNumber = 0; nNumber < 100; ++nNumber)
        nOld += FileLines(PathOf("qxqxin" + TwoDigits(nNumber) + ".log")) == std::vector<std::string>{"old run"};
    EXPECT_EQ(nOld, 100 - kRuns);
}

// A file that the choice found but that cannot be written is passed over:
// the next least recently used file takes the log.
TEST_F(LogFileTest, AChosenFileThatCannotBeWrittenIsPassedOver)
{
    if (!IsEmulatedMachine())
        GTEST_SKIP() << "the tests run as root, whom Wine lets write a read-only file";
    MakeHundredFiles(
        [](unsigned nNumber) { return nNumber == 42 ? kOldTicks : kOldTicks + (nNumber + 1) * kOneSecond; });
    ASSERT_TRUE(SetFileAttributesA(PathOf("qxqxin42.log").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(m_Log.Open("qxqxin.log", 0, LogFlag_Numbered));
    EXPECT_EQ(m_Log.OpenFileName(), PathOf("qxqxin00.log"));
    ASSERT_TRUE(SetFileAttributesA(PathOf("qxqxin42.log").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(FileLines(PathOf("qxqxin42.log")), std::vector<std::string>{"old run"});
}

TEST_F(LogFileTest, SecondOpenClosesTheFirstFileAndStartsAnother)
{
    ASSERT_TRUE(m_Log.Open("qxqxin.log", 0, LogFlag_Numbered));
    ASSERT_TRUE(m_Log.LogMessage(0, "first run"));
    ASSERT_TRUE(m_Log.Open("qxqxin.log", 0, LogFlag_Numbered));
    EXPECT_EQ(m_Log.OpenFileName(), PathOf("qxqxin01.log"));
    ASSERT_TRUE(m_Log.LogMessage(0, "second run"));
    EXPECT_EQ(LinesAfterHeader(PathOf("qxqxin00.log")), std::vector<std::string>{"first run"});
    EXPECT_EQ(LinesAfterHeader(PathOf("qxqxin01.log")), std::vector<std::string>{"second run"});
    // Closed: a probe that allows no sharing gets the first file.
    HANDLE hFirst = CreateFileA(PathOf("qxqxin00.log").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(hFirst, INVALID_HANDLE_VALUE);
    CloseHandle(hFirst);
}

TEST_F(LogFileTest, EmptyNameLeavesLoggingOffAndTouchesNothing)
{
    EXPECT_FALSE(m_Log.Open("", 0, LogFlag_Numbered));
    EXPECT_FALSE(m_Log.IsEnabled());
    EXPECT_FALSE(m_Log.LogMessage(0, "dropped"));
    WIN32_FIND_DATAA tFindData;
    EXPECT_EQ(FindFirstFileA(PathOf("*.log").c_str(), &tFindData), INVALID_HANDLE_VALUE);
}

TEST_F(LogFileTest, NameAsGivenKeepsItsDirectoryAndOtherwiseOnlyTheFileNameCounts)
{
    const std::string sOther = m_tMachine.NewDirectory("other");
    ASSERT_FALSE(sOther.empty());
    ASSERT_TRUE(m_Log.Open(sOther + "\\given.log", 0, LogFlag_NameAsGiven));
    EXPECT_EQ(m_Log.OpenFileName(), sOther + "\\given.log");
    EXPECT_TRUE(FileExists(sOther + "\\given.log"));

    ASSERT_TRUE(m_Log.Open(sOther + "\\moved.log", 0, 0));
    EXPECT_EQ(m_Log.OpenFileName(), PathOf("moved.log"));
    EXPECT_FALSE(FileExists(sOther + "\\moved.log"));
}

TEST_F(LogFileTest, NumberedNamesGoOnWithTheNextNumber)
{
    struct Case
    {
        const char* pszGiven;
        const char* pszOpened;
    };
    const Case atCases[] = {
        {"log07.txt", "log08.txt"}, {"log99.txt", "log00.txt"}, {"07.log", "08.log"}, {"qxqxin41.log", "qxqxin42.log"}};
    for (const Case& tCase : atCases)
    {
        SCOPED_TRACE(tCase.pszGiven);
        // The given file exists; it is not examined and stays as it is.
        MakeFile(PathOf(tCase.pszGiven), "given\n");
        ASSERT_TRUE(m_Log.Open(PathOf(tCase.pszGiven), 0, LogFlag_NameAsGiven | LogFlag_Numbered));
        EXPECT_EQ(m_Log.OpenFileName(), PathOf(tCase.pszOpened));
        m_Log.Close();
        EXPECT_EQ(FileLines(PathOf(tCase.pszGiven)), std::vector<std::string>{"given"});
    }
}

TEST_F(LogFileTest, AppendKeepsWhatWasThereAndWriteEmptiesIt)
{
    MakeFile(PathOf("append.log"), "before\n");
    ASSERT_TRUE(m_Log.Open(PathOf("append.log"), 0, LogFlag_NameAsGiven | LogFlag_Append));
    ASSERT_TRUE(m_Log.LogMessage(0, "after"));
    m_Log.Close();
    std::vector<std::string> vLines = FileLines(PathOf("append.log"));
    ASSERT_EQ(vLines.size(), 5u);
    EXPECT_EQ(vLines[0], "before");
    EXPECT_EQ(vLines[4], "after");

    ASSERT_TRUE(m_Log.Open(PathOf("append.log"), 0, LogFlag_NameAsGiven));
    m_Log.Close();
    EXPECT_TRUE(LinesAfterHeader(PathOf("append.log")).empty());
}

TEST_F(LogFileTest, FileThatCannotBeOpenedLeavesLoggingOff)
{
    struct Case
    {
        const char* pszLabel;
        uint32_t dwFlags;
    };
    const Case atCases[] = {{"as given", LogFlag_NameAsGiven},
                            {"as given, numbered", LogFlag_NameAsGiven | LogFlag_Numbered}};
    for (const Case& tCase : atCases)
    {
        SCOPED_TRACE(tCase.pszLabel);
        EXPECT_FALSE(m_Log.Open(PathOf("missing\\x.log"), 0, tCase.dwFlags));
        EXPECT_FALSE(m_Log.IsEnabled());
        EXPECT_FALSE(m_Log.LogMessage(0, "dropped"));
        EXPECT_FALSE(FileExists(PathOf("missing")));
    }
}

TEST_F(LogFileTest, NoUsableTemporaryDirectoryLeavesLoggingOff)
{
    SetRuntimeVariable("TEMP", PathOf("a\\b").c_str());
    EXPECT_FALSE(m_Log.Open("qxqxin.log", 0, LogFlag_Numbered));
    EXPECT_FALSE(m_Log.IsEnabled());
    EXPECT_FALSE(m_Log.LogError(0, "a.cpp", 1, "dropped"));
    EXPECT_FALSE(FileExists(PathOf("a")));
}

TEST_F(LogFileTest, FailingSystemCallsLeaveLoggingOff)
{
    if (!IsEmulatedMachine())
        GTEST_SKIP() << "faults are injected into the emulated machine only";
    struct Case
    {
        const char* pszFaults;
        const char* pszTemp; // "<dir>": the test's directory, "<new>": one not made yet, null: not set
    };
    const Case atCases[] = {
        {"GetWindowsDirectoryA=5", nullptr},
        {"CreateDirectoryA=5", "<new>"},
        {"SetEnvironmentVariableA=8", "<dir>"},
        {"CreateFileA=5", "<dir>"},
    };
    for (const Case& tCase : atCases)
    {
        SCOPED_TRACE(tCase.pszFaults);
        std::string sTemp;
        if (tCase.pszTemp != nullptr)
            sTemp = std::string(tCase.pszTemp) == "<new>" ? PathOf("new") : m_sTempDirectory;
        SetRuntimeVariable("TEMP", tCase.pszTemp == nullptr ? nullptr : sTemp.c_str());
        SetRuntimeVariable("TMP", nullptr);
        SetRuntimeVariable("QXZ_FAULTS", tCase.pszFaults);
        const bool fOpened = m_Log.Open("qxqxin.log", 0, LogFlag_Numbered);
        SetRuntimeVariable("QXZ_FAULTS", nullptr);
        EXPECT_FALSE(fOpened);
        EXPECT_FALSE(m_Log.IsEnabled());
        EXPECT_FALSE(m_Log.LogMessage(0, "dropped"));
        EXPECT_FALSE(FileExists(PathOf("qxqxin00.log")));
    }
}

// The file is made, then fails: it is closed, and no other number is tried.
TEST_F(LogFileTest, FileThatCannotBeCheckedOrStreamedLeavesLoggingOff)
{
    if (!IsEmulatedMachine())
        GTEST_SKIP() << "faults are injected into the emulated machine only";
    for (const char* pszFaults : {"GetFileInformationByHandle=5", "SetEndOfFile=5", "_open_osfhandle=24", "_fdopen=12"})
    {
        SCOPED_TRACE(pszFaults);
        SetRuntimeVariable("QXZ_FAULTS", pszFaults);
        const bool fOpened = m_Log.Open("qxqxin.log", 0, LogFlag_Numbered);
        SetRuntimeVariable("QXZ_FAULTS", nullptr);
        EXPECT_FALSE(fOpened);
        EXPECT_FALSE(m_Log.LogMessage(0, "dropped"));
        EXPECT_FALSE(FileExists(PathOf("qxqxin01.log")));
        // Held by no handle left behind, which would refuse the deletion.
        EXPECT_TRUE(DeleteFileA(PathOf("qxqxin00.log").c_str()));
    }
}

// A line whose write or flush fails (a full disk) is lost; the lines before
// and after it are kept, and the log goes on in the same file.
TEST_F(LogFileTest, ALineThatCannotBeWrittenIsLostAndTheNextIsKept)
{
    if (!IsEmulatedMachine())
        GTEST_SKIP() << "faults are injected into the emulated machine only";
    ASSERT_TRUE(m_Log.Open("qxqxin.log", 0, LogFlag_Numbered));
    ASSERT_TRUE(m_Log.LogMessage(0, "before"));
    SetRuntimeVariable("QXZ_FAULTS", "write=28");
    EXPECT_FALSE(m_Log.LogMessage(0, "lost"));
    SetRuntimeVariable("QXZ_FAULTS", nullptr);
    EXPECT_TRUE(m_Log.LogError(0, "a.cpp", 7, "after"));
    EXPECT_EQ(m_Log.OpenFileName(), PathOf("qxqxin00.log"));
    EXPECT_EQ(LinesAfterHeader(PathOf("qxqxin00.log")), (std::vector<std::string>{"before", "[a.cpp, Line 7]: after"}));
}

TEST_F(LogFileTest, OthersCanReadAndWriteTheTextFileWhileItIsWritten)
{
    ASSERT_TRUE(m_Log.Open("qxqxin.log", 0, LogFlag_Numbered));
    ASSERT_TRUE(m_Log.LogMessage(0, "line"));
    HANDLE hOther =
        CreateFileA(PathOf("qxqxin00.log").c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(hOther, INVALID_HANDLE_VALUE);
    char achText[256];
    DWORD cbRead = 0;
    ASSERT_TRUE(ReadFile(hOther, achText, sizeof achText, &cbRead, nullptr));
    CloseHandle(hOther);
    ASSERT_GT(cbRead, 20u);
    // Text mode: Windows ends lines with a carriage return and a line feed.
    const std::string sNewline = IsEmulatedMachine() ? "\n" : "\r\n";
    const std::string sText(achText, cbRead);
    EXPECT_EQ(sText.substr(0, sNewline.size() + 5), sNewline + "**** ");
    EXPECT_EQ(sText.substr(sText.size() - 4 - sNewline.size()), "line" + sNewline);
}

// ---- ChooseFileNumber ------------------------------------------------------------------------

TEST_F(LogFileTest, ChooseFileNumberTakesTheFirstFreeNumber)
{
    struct Case
    {
        std::vector<unsigned> vPresent;
        uint32_t dwExpected;
    };
    const Case atCases[] = {{{}, 0}, {{0, 1, 2, 3, 4}, 5}, {{0, 1, 3}, 2}, {{1, 2}, 0}};
    for (const Case& tCase : atCases)
    {
        const std::string sDirectory = m_tMachine.NewDirectory("choose");
        for (unsigned nNumber : tCase.vPresent)
            MakeFile(sDirectory + "\\qxqxin" + TwoDigits(nNumber) + ".log", "x");
        uint32_t dwNumber = 777;
        ASSERT_TRUE(CLogFile::ChooseFileNumber(sDirectory + "\\qxqxin.log", &dwNumber));
        EXPECT_EQ(dwNumber, tCase.dwExpected);
    }
}

TEST_F(LogFileTest, ChooseFileNumberWithoutExtensionOrWithAFinalDot)
{
    MakeFile(PathOf("mylog00"), "x");
    for (const char* pszName : {"mylog", "mylog."})
    {
        uint32_t dwNumber = 777;
        ASSERT_TRUE(CLogFile::ChooseFileNumber(PathOf(pszName), &dwNumber)) << pszName;
        EXPECT_EQ(dwNumber, 1u) << pszName;
    }
}

TEST_F(LogFileTest, ChooseFileNumberPrefersTheLowerNumberOnEqualTimes)
{
    MakeHundredFiles(
        [](unsigned nNumber) { return nNumber == 20 || nNumber == 60 ? kOldTicks : kOldTicks + kOneSecond; });
    uint32_t dwNumber = 777;
    ASSERT_TRUE(CLogFile::ChooseFileNumber(PathOf("qxqxin.log"), &dwNumber));
    EXPECT_EQ(dwNumber, 20u);
}

// A file held open is another run's log: neither free nor to be emptied,
// even when it is the least recently accessed.
TEST_F(LogFileTest, ChooseFileNumberPassesOverAFileHeldOpen)
{
    MakeFile(PathOf("qxqxin00.log"), "x");
    MakeFile(PathOf("qxqxin01.log"), "x");
    HANDLE hHeld = CreateFileA(PathOf("qxqxin01.log").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
    uint32_t dwNumber = 777;
    ASSERT_TRUE(CLogFile::ChooseFileNumber(PathOf("qxqxin.log"), &dwNumber));
    EXPECT_EQ(dwNumber, 2u);
    CloseHandle(hHeld);

    MakeHundredFiles(
        [](unsigned nNumber) { return nNumber == 30 ? kOldTicks : kOldTicks + (nNumber + 1) * kOneSecond; });
    hHeld = CreateFileA(PathOf("qxqxin30.log").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(m_Log.Open("qxqxin.log", 0, LogFlag_Numbered));
    EXPECT_EQ(m_Log.OpenFileName(), PathOf("qxqxin00.log"));
    CloseHandle(hHeld);
}

// The file that the numbering chose is another log's while another handle
// holds its owner lock: it is passed over, and the next number taken.
TEST_F(LogFileTest, AFileThatAnotherLogOwnsIsPassedOver)
{
    MakeHundredFiles(
        [](unsigned nNumber) { return nNumber == 30 ? kOldTicks : kOldTicks + (nNumber + 1) * kOneSecond; });
    CLogFile otherLog;
    ASSERT_TRUE(otherLog.Open("qxqxin.log", 0, LogFlag_Numbered));
    EXPECT_EQ(otherLog.OpenFileName(), PathOf("qxqxin30.log"));
    ASSERT_TRUE(m_Log.Open(PathOf("qxqxin29.log"), 0, LogFlag_NameAsGiven | LogFlag_Numbered));
    EXPECT_EQ(m_Log.OpenFileName(), PathOf("qxqxin31.log"));
    ASSERT_TRUE(otherLog.LogMessage(0, "other"));
    ASSERT_TRUE(m_Log.LogMessage(0, "this"));
    EXPECT_EQ(LinesAfterHeader(PathOf("qxqxin30.log")), std::vector<std::string>{"other"});
    EXPECT_EQ(LinesAfterHeader(PathOf("qxqxin31.log")), std::vector<std::string>{"this"});
}

// ---- The candidate that changes between the choice and the open --------------------------------

struct ChangeCase
{
    const char* pszLabel;
    bool fFullRotation; // all hundred present (42 reused), else none (00 free)
    std::function<void(const std::string& sChosen)> fnChange;
    qxz::log::OpenResult eExpected;
    std::vector<std::string> vAfter; // the chosen file's lines after the attempt; empty: no file
};

// What the choice saw may be gone when the file is opened: another run may
// have taken the number and written its whole log, or anything else may
// stand under the name. Only the file seen, as it was seen, or a file that
// this run makes itself, is written.
TEST_F(LogFileTest, AChosenNumberIsTakenOnlyAsItWasSeen)
{
    const std::string sOther = m_tMachine.NewDirectory("other");
    ASSERT_FALSE(sOther.empty());
    // Another run's log at the chosen name, whatever that run's own choice.
    auto AnotherRun = [](const std::string& sChosen) {
        CLogFile tOther;
        tOther.Open(sChosen, 0, LogFlag_NameAsGiven);
        tOther.LogMessage(0, "other run");
    };
    // Made while the chosen file still exists, so that it is another file.
    auto ReplacedBySame = [&](const std::string& sChosen) {
        const std::string sSame = sOther + "\\same.log";
        MakeFile(sSame, "old run\n");
        SetLastUse(sSame, kOldTicks);
        DeleteFileA(sChosen.c_str());
        CreateHardLinkA(sChosen.c_str(), sSame.c_str(), nullptr);
        DeleteFileA(sSame.c_str());
    };
    auto Rewritten = [&](const std::string& sChosen) {
        MakeFile(sChosen, "new run\n");
        SetLastUse(sChosen, kOldTicks + kOneSecond);
    };
    auto Grown = [&](const std::string& sChosen) {
        MakeFile(sChosen, "old run\nmore\n");
        SetLastUse(sChosen, kOldTicks);
    };
    CLogFile tHeld;
    auto HeldByAnotherRun = [&](const std::string& sChosen) {
        tHeld.Open(sChosen, 0, LogFlag_NameAsGiven);
        tHeld.LogMessage(0, "other run");
    };
    auto Removed = [](const std::string& sChosen) { DeleteFileA(sChosen.c_str()); };
    auto Unchanged = [](const std::string&) {};
    const std::vector<ChangeCase> vCases = {
        {"unchanged file", true, Unchanged, qxz::log::OpenResult_Opened, {}},
        {"another run's whole log", true, AnotherRun, qxz::log::OpenResult_Refused, {"", "<header>", "", "other run"}},
        {"another run's log still written",
         true,
         HeldByAnotherRun,
         qxz::log::OpenResult_Refused,
         {"", "<header>", "", "other run"}},
        {"another file of the same size and times", true, ReplacedBySame, qxz::log::OpenResult_Refused, {"old run"}},
        {"rewritten", true, Rewritten, qxz::log::OpenResult_Refused, {"new run"}},
        {"grown", true, Grown, qxz::log::OpenResult_Refused, {"old run", "more"}},
        {"removed", true, Removed, qxz::log::OpenResult_Refused, {}},
        {"still free", false, Unchanged, qxz::log::OpenResult_Opened, {}},
        {"another run's whole log where none was",
         false,
         AnotherRun,
         qxz::log::OpenResult_Refused,
         {"", "<header>", "", "other run"}},
        {"a file where none was", false, Rewritten, qxz::log::OpenResult_Refused, {"new run"}},
    };
    for (const ChangeCase& tCase : vCases)
    {
        SCOPED_TRACE(tCase.pszLabel);
        for (unsigned nNumber = 0; nNumber < 100; ++nNumber)
            DeleteFileA(PathOf("qxqxin" + TwoDigits(nNumber) + ".log").c_str());
        if (tCase.fFullRotation)
        {
            MakeHundredFiles(
                [](unsigned nNumber) { return nNumber == 42 ? kOldTicks : kOldTicks + (nNumber + 1) * kOneSecond; });
        }
        qxz::log::NumberChoice tChoice;
        ASSERT_TRUE(qxz::log::ChooseNumber(PathOf("qxqxin.log"), qxz::log::NumberSet(), &tChoice));
        const std::string sChosen = PathOf(tCase.fFullRotation ? "qxqxin42.log" : "qxqxin00.log");
        ASSERT_EQ(tChoice.dwNumber, tCase.fFullRotation ? 42u : 0u);
        tCase.fnChange(sChosen);
        HANDLE hFile = INVALID_HANDLE_VALUE;
        EXPECT_EQ(qxz::log::OpenLogFile(sChosen, false, tChoice, &hFile), tCase.eExpected);
        if (hFile != INVALID_HANDLE_VALUE)
            CloseHandle(hFile);
        tHeld.Close();
        if (tCase.eExpected == qxz::log::OpenResult_Opened)
        {
            EXPECT_TRUE(FileExists(sChosen));
            EXPECT_TRUE(FileLines(sChosen).empty());
            continue;
        }
        std::vector<std::string> vLines = FileExists(sChosen) ? FileLines(sChosen) : std::vector<std::string>();
        if (vLines.size() > 1 && LineMatches(vLines[1], "**** <time> - Logging Enabled ****"))
            vLines[1] = "<header>";
        EXPECT_EQ(vLines, tCase.vAfter);
    }
}

TEST(LogChooseFileNumberTest, NamesEndingInTwoDigitsAreNotScannedAndBadNamesFail)
{
    struct Case
    {
        const char* pszName;
        bool fChosen;
        uint32_t dwExpected; // 777: left as it was
    };
    const Case atCases[] = {
        {"C:\\nowhere\\log07.txt", true, 8},
        {"C:\\nowhere\\log99.txt", true, 0},
        {"07.log", true, 8},
        {"x00", true, 1},
        {"", false, 777},
        {".log", false, 777},
        {"C:\\nowhere\\", false, 777},
    };
    for (const Case& tCase : atCases)
    {
        uint32_t dwNumber = 777;
        EXPECT_EQ(CLogFile::ChooseFileNumber(tCase.pszName, &dwNumber), tCase.fChosen) << tCase.pszName;
        EXPECT_EQ(dwNumber, tCase.dwExpected) << tCase.pszName;
    }
}

// ---- Links planted under a log's name -----------------------------------------------------------

// What another user may have left under a log's name in a shared temporary
// directory, pointing at a file elsewhere that the log must never write.
// A FIFO would hold up a run that opened it, waiting for a writer.
enum class Plant
{
    SymbolicLink,
    DanglingLink,
    HardLink,
    Directory,
    Fifo,
    Socket
};

void PrintTo(Plant ePlant, std::ostream* pStream)
{
    static const char* const kPlantNames[] = {
        "symbolic link", "dangling symbolic link", "hard link", "directory", "FIFO", "socket"};
    *pStream << kPlantNames[static_cast<int>(ePlant)];
}

class LogLinkTest : public LogFileTest, public ::testing::WithParamInterface<Plant>
{
protected:
    void SetUp() override
    {
        LogFileTest::SetUp();
        const Plant ePlant = GetParam();
        if ((ePlant == Plant::SymbolicLink || ePlant == Plant::DanglingLink) && !IsEmulatedMachine())
        {
            GTEST_SKIP() << kNoSymbolicLinks;
        }
        if ((ePlant == Plant::Fifo || ePlant == Plant::Socket) && !IsEmulatedMachine())
        {
            GTEST_SKIP() << "a Windows program makes no FIFO or socket in the file system";
        }
        const std::string sVictimDirectory = m_tMachine.NewDirectory("victim");
        ASSERT_FALSE(sVictimDirectory.empty());
        m_sVictim = sVictimDirectory + "\\victim.txt";
        m_sDanglingTarget = sVictimDirectory + "\\created.txt";
        MakeFile(m_sVictim, "victim\n");
    }

    static std::string LogName(unsigned nNumber)
    {
        return "qxqxin" + TwoDigits(nNumber) + ".log";
    }

    void PlantAt(const std::string& sPath)
    {
        switch (GetParam())
        {
            case Plant::SymbolicLink: ASSERT_TRUE(MakeSymbolicLink(sPath, m_sVictim)) << sPath; break;
            case Plant::DanglingLink: ASSERT_TRUE(MakeSymbolicLink(sPath, m_sDanglingTarget)) << sPath; break;
            case Plant::HardLink:
                ASSERT_TRUE(CreateHardLinkA(sPath.c_str(), m_sVictim.c_str(), nullptr)) << sPath;
                break;
            case Plant::Directory: ASSERT_TRUE(CreateDirectoryA(sPath.c_str(), nullptr)) << sPath; break;
            case Plant::Fifo: ASSERT_TRUE(MakeSpecialFile(sPath, false)) << sPath; break;
            case Plant::Socket: ASSERT_TRUE(MakeSpecialFile(sPath, true)) << sPath; break;
        }
    }

    void ExpectVictimUntouched()
    {
        EXPECT_EQ(FileLines(m_sVictim), std::vector<std::string>{"victim"});
        EXPECT_FALSE(FileExists(m_sDanglingTarget));
    }

    std::string m_sVictim;
    std::string m_sDanglingTarget;
};

TEST_P(LogLinkTest, TheFirstNumberPlantedIsPassedOver)
{
    PlantAt(PathOf(LogName(0)));
    ASSERT_TRUE(m_Log.Open("qxqxin.log", 0, LogFlag_Numbered));
    EXPECT_EQ(m_Log.OpenFileName(), PathOf(LogName(1)));
    ASSERT_TRUE(m_Log.LogMessage(0, "run"));
    EXPECT_EQ(LinesAfterHeader(PathOf(LogName(1))), std::vector<std::string>{"run"});
    ExpectVictimUntouched();
}

TEST_P(LogLinkTest, APlantedLinkHeldOpenIsNotTakenForAFileHeldOpen)
{
    if (GetParam() == Plant::Socket)
        GTEST_SKIP() << "a socket's name cannot be opened";
    PlantAt(PathOf(LogName(0)));
    HANDLE hHeld = CreateFileA(PathOf(LogName(0)).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
    uint32_t dwNumber = 777;
    EXPECT_TRUE(CLogFile::ChooseFileNumber(PathOf("qxqxin.log"), &dwNumber));
    EXPECT_EQ(dwNumber, 1u);
    ASSERT_TRUE(m_Log.Open("qxqxin.log", 0, LogFlag_Numbered));
    EXPECT_EQ(m_Log.OpenFileName(), PathOf(LogName(1)));
    CloseHandle(hHeld);
    ExpectVictimUntouched();
}

// The planted entry (or the file it points to) is the least recently
// accessed, 57 the next.
TEST_P(LogLinkTest, AmongAllHundredTheNextLeastRecentlyAccessedFileIsReused)
{
    MakeHundredFiles(
        [](unsigned nNumber) { return nNumber == 57 ? kOldTicks : kOldTicks + (nNumber + 1) * kOneSecond; });
    SetLastUse(m_sVictim, kOldTicks - kOneSecond);
    ASSERT_TRUE(DeleteFileA(PathOf(LogName(42)).c_str()));
    PlantAt(PathOf(LogName(42)));
    ASSERT_TRUE(m_Log.Open("qxqxin.log", 0, LogFlag_Numbered));
    EXPECT_EQ(m_Log.OpenFileName(), PathOf(LogName(57)));
    EXPECT_TRUE(LinesAfterHeader(PathOf(LogName(57))).empty());
    ExpectVictimUntouched();
}

TEST_P(LogLinkTest, ANumberedNameGoesOnPastAPlantedNextNumber)
{
    MakeFile(PathOf("log07.txt"), "given\n");
    PlantAt(PathOf("log08.txt"));
    ASSERT_TRUE(m_Log.Open(PathOf("log07.txt"), 0, LogFlag_NameAsGiven | LogFlag_Numbered));
    EXPECT_EQ(m_Log.OpenFileName(), PathOf("log09.txt"));
    EXPECT_EQ(FileLines(PathOf("log07.txt")), std::vector<std::string>{"given"});
    ExpectVictimUntouched();
}

TEST_P(LogLinkTest, WithEveryNumberPlantedLoggingStaysOff)
{
    for (unsigned nNumber = 0; nNumber < 100; ++nNumber)
        PlantAt(PathOf(LogName(nNumber)));
    EXPECT_FALSE(m_Log.Open("qxqxin.log", 0, LogFlag_Numbered));
    EXPECT_FALSE(m_Log.IsEnabled());
    ExpectVictimUntouched();
}

TEST_P(LogLinkTest, AnUnnumberedNamePlantedLeavesLoggingOff)
{
    PlantAt(PathOf("plain.log"));
    EXPECT_FALSE(m_Log.Open("plain.log", 0, 0));
    EXPECT_FALSE(m_Log.Open("plain.log", 0, LogFlag_Append));
    ExpectVictimUntouched();
}

INSTANTIATE_TEST_SUITE_P(Plants, LogLinkTest,
                         ::testing::Values(Plant::SymbolicLink, Plant::DanglingLink, Plant::HardLink, Plant::Directory,
                                           Plant::Fifo, Plant::Socket));

// ---- GetTempDirectory, FindTempDirectory, PathExists -----------------------------------

struct TempCase
{
    const char* pszLabel;
    const char* pszTemp;     // null: not set; "<dir>" stands for the test's directory
    const char* pszTmp;      // the same
    const char* pszExpected; // null: fails; "<drive>" stands for the Windows drive's root
    const char* pszTmpAfter; // null: still not set
    bool fEmulatedOnly;      // needs an empty variable, which the Windows runtime cannot set
};

TEST_F(LogFileTest, GetAndFindTempDirectoryTakeTempThenTmpThenTheWindowsDrive)
{
    char szWindows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(szWindows, sizeof szWindows), 3u);
    const std::string sDrive(szWindows, 3);
    const TempCase atCases[] = {
        {"TEMP", "<dir>", nullptr, "<dir>\\", "<dir>", false},
        {"TEMP with a final backslash", "<dir>\\", nullptr, "<dir>\\", "<dir>\\", false},
        {"TMP set stays", "<dir>", "<dir>\\other", "<dir>\\", "<dir>\\other", false},
        {"TMP", nullptr, "<dir>", "<dir>\\", "<dir>", false},
        {"missing level created", "<dir>\\new", nullptr, "<dir>\\new\\", "<dir>\\new", false},
        {"two missing levels", "<dir>\\a\\b", nullptr, nullptr, nullptr, false},
        {"neither", nullptr, nullptr, "<drive>TEMP\\", "<drive>TEMP", false},
        {"empty TMP", nullptr, "", "<drive>TEMP\\", "", true},
        {"empty TEMP", "", "<dir>", "<dir>\\", "<dir>", true},
        {"TEMP a drive's root", "<drive>", nullptr, "<drive>", "<drive>", false},
        {"TMP a drive's root", nullptr, "<drive>", "<drive>", "<drive>", false},
        {"TEMP a drive alone", "<letter>", nullptr, "<drive>", "<letter>", false},
    };
    auto Expand = [&](const char* pszText, const std::string& sDirectory) {
        std::string sText = pszText;
        for (const auto& [sToken, sValue] :
             {std::make_pair(std::string("<dir>"), sDirectory), std::make_pair(std::string("<drive>"), sDrive),
              std::make_pair(std::string("<letter>"), sDrive.substr(0, 2))})
        {
            const size_t isToken = sText.find(sToken);
            if (isToken != std::string::npos)
                sText.replace(isToken, sToken.size(), sValue);
        }
        return sText;
    };
    for (const TempCase& tCase : atCases)
    {
        SCOPED_TRACE(tCase.pszLabel);
        if (tCase.fEmulatedOnly && !IsEmulatedMachine())
            continue;
        // Windows makes the new directory where TMP or TEMP point: somewhere that exists.
        SetRuntimeVariable("TEMP", m_sTempDirectory.c_str());
        SetRuntimeVariable("TMP", nullptr);
        const std::string sDirectory = m_tMachine.NewDirectory("temp");
        ASSERT_FALSE(sDirectory.empty());
        SetRuntimeVariable("TEMP", tCase.pszTemp == nullptr ? nullptr : Expand(tCase.pszTemp, sDirectory).c_str());
        SetRuntimeVariable("TMP", tCase.pszTmp == nullptr ? nullptr : Expand(tCase.pszTmp, sDirectory).c_str());
        // A reader's lookup finds the same directory where it exists, and
        // changes nothing: no directory made, TMP as it was.
        const std::unique_ptr<std::string> psTmpBefore = ProcessVariable("TMP");
        const std::string sExpected = tCase.pszExpected == nullptr ? "" : Expand(tCase.pszExpected, sDirectory);
        const bool fExisted = !sExpected.empty() && GetFileAttributesA(sExpected.c_str()) != INVALID_FILE_ATTRIBUTES;
        std::string sFound = "unchanged";
        EXPECT_EQ(CLogFile::FindTempDirectory(&sFound), fExisted);
        EXPECT_EQ(sFound, fExisted ? sExpected : "unchanged");
        EXPECT_EQ(!sExpected.empty() && GetFileAttributesA(sExpected.c_str()) != INVALID_FILE_ATTRIBUTES, fExisted);
        const std::unique_ptr<std::string> psTmpAfterFind = ProcessVariable("TMP");
        EXPECT_EQ(psTmpAfterFind == nullptr ? "<not set>" : *psTmpAfterFind,
                  psTmpBefore == nullptr ? "<not set>" : *psTmpBefore);

        std::string sResult = "unchanged";
        const bool fFound = CLogFile::GetTempDirectory(&sResult);
        if (tCase.pszExpected == nullptr)
        {
            EXPECT_FALSE(fFound);
            EXPECT_EQ(sResult, "unchanged");
        }
        else
        {
            EXPECT_TRUE(fFound);
            EXPECT_EQ(sResult, Expand(tCase.pszExpected, sDirectory));
            const DWORD dwAttributes = GetFileAttributesA(sResult.c_str());
            EXPECT_TRUE(dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        }
        const std::unique_ptr<std::string> psTmp = ProcessVariable("TMP");
        if (tCase.pszTmpAfter == nullptr)
        {
            EXPECT_EQ(psTmp, nullptr);
        }
        else
        {
            ASSERT_NE(psTmp, nullptr);
            EXPECT_EQ(*psTmp, Expand(tCase.pszTmpAfter, sDirectory));
        }
    }
}

TEST_F(LogFileTest, PathExistsFindsFilesAndDirectories)
{
    MakeFile(PathOf("present.txt"), "x");
    char szWindows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(szWindows, sizeof szWindows), 3u);
    const std::string sDrive(szWindows, 3);
    struct Case
    {
        std::string sPath;
        bool fExists;
    };
    const Case atCases[] = {{"", false},
                            {m_sTempDirectory, true},
                            {PathOf("present.txt"), true},
                            {PathOf("absent.txt"), false},
                            {PathOf("absent\\present.txt"), false},
                            {sDrive, true},
                            {sDrive.substr(0, 2), true}};
    for (const Case& tCase : atCases)
        EXPECT_EQ(CLogFile::PathExists(tCase.sPath), tCase.fExists) << tCase.sPath;
}

} // namespace
