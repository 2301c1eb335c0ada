// Reading runs from a log's bytes: headers, closing lines, the port check,
// the failure stack, and bytes that are no log at all.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/qxzlog/log_runs.h"

namespace
{

using qxz::qxzlog::CalendarKey;
using qxz::qxzlog::ErrorLine;
using qxz::qxzlog::LogRun;
using qxz::qxzlog::Outcome;
using qxz::qxzlog::ParseErrorLine;
using qxz::qxzlog::ParseLog;
using qxz::qxzlog::ParseTimeText;
using qxz::qxzlog::PortState;

const char kHeader[] = "\n**** Wed Dec 09 23:12:19 2026 - Logging Enabled ****\n\n";
const char kPortLines[] =
    "Input PortName is :: LPT1:\n"
    "Before calling EnumPorts the first time\n"
    "EnumPorts returned 0 after calling first time :: GetLastError() is 122 \n"
    "Before calling EnumPorts second time ()\n"
    "\nName LPT1:,Mon name Local Port,Desc Local Port,Res 0 Type=1\n"
    " PORT_TYPE_WRITE\n"
    "After calling EnumPorts second time() \n"
    "Found the Input Port Name :: LPT1: in the list enumerated by EnumPorts() :: fFoundPortName = 1\n";
const char kStatusLookup[] = "[qxzglue_utils.cpp, Line 65]: Error --> sDriverName.empty()\n";

std::string Closing(const char* pszDriver, bool fSucceeded)
{
    return std::string("Pin Pathname = Z:\\opt\\setup\\qxzpin14.exe\n"
                       "Command Line = -printerdriver=Model A -product=Model A series -port=LPT1:\n"
                       "Driver Name = ") +
           pszDriver + "\n" + (fSucceeded ? "The Pin Succeeded\n" : "The Pin Failed\n");
}

// Runs of the Pin as its log shows them (line numbers aside), and the check
// that failed innermost.
struct FailureCase
{
    const char* pszName;
    std::string sBody; // between the port check and the closing lines
    bool fSucceeded;
    const char* pszSource; // of the failed check; null for none
    const char* pszCondition;
};

std::vector<FailureCase> FailureCases()
{
    return {
        {"success",
         std::string(kStatusLookup) +
             "RegGetStringValue (SOFTWARE\\Vorquelle\\QXZ\\Glue, PreloadPath) Failed, lResult = 2\n"
             "RegGetStringValue (SOFTWARE\\Vorquelle\\QXZ\\Glue, OverrideLanguage) Failed, lResult = 2\n",
         true, nullptr, nullptr},
        {"glue key missing",
         std::string(kStatusLookup) +
             "[qxzglue_registry.cpp, Line 57]: Error --> lResult != ERROR_SUCCESS\n"
             "RegGetStringValue (SOFTWARE\\Vorquelle\\QXZ\\Glue\\Model A, GluePath) Failed, lResult = 2\n"
             "[pin_install.cpp, Line 95]: Error --> RegGetStringValue( sRegKeyGlueDriver, "
             "g_sRegVnGluePath, &sGluePath ) == false\n"
             "[pin_install.cpp, Line 247]: Error --> ConvertParameters( sDriverName ) == false\n"
             "[pin_main.cpp, Line 178]: Error --> PreInstall( sDriverName ) == false\n",
         false, "qxzglue_registry.cpp", "lResult != ERROR_SUCCESS"},
        {"registration refused after tolerated lookups",
         std::string(kStatusLookup) +
             "RegGetStringValue (SOFTWARE\\Vorquelle\\QXZ\\Glue, PreloadPath) Failed, lResult = 2\n"
             "RegGetStringValue (SOFTWARE\\Vorquelle\\QXZ\\Glue, OverrideLanguage) Failed, lResult = 2\n"
             "[qxzglue_registry.cpp, Line 79]: Error --> lResult != ERROR_SUCCESS\n"
             "RegSetStringValue (SOFTWARE\\Vorquelle\\QXZ\\Glue\\Model A, ghoulpathname, Z:\\x.exe) Failed, lResult = "
             "5\n"
             "[pin_install.cpp, Line 201]: Error --> RegSetStringValue( sRegKeyGlueDriver, g_sSwitchGhoulPathname, "
             "sGhoulPathname ) == false\n"
             "[pin_install.cpp, Line 253]: Error --> RegisterGhoul( sDriverName ) == false\n"
             "[pin_main.cpp, Line 178]: Error --> PreInstall( sDriverName ) == false\n",
         false, "qxzglue_registry.cpp", "lResult != ERROR_SUCCESS"},
        {"mutex timeout after a tolerated lookup",
         std::string(kStatusLookup) +
             "RegGetStringValue (SOFTWARE\\Vorquelle\\QXZ\\Glue, PreloadPath) Failed, lResult = 2\n"
             "[pin_install.cpp, Line 121]: Error --> dwWaitResult == WAIT_TIMEOUT\n"
             "[pin_install.cpp, Line 247]: Error --> ConvertParameters( sDriverName ) == false\n"
             "[pin_main.cpp, Line 178]: Error --> PreInstall( sDriverName ) == false\n",
         false, "pin_install.cpp", "dwWaitResult == WAIT_TIMEOUT"},
        {"glue path not present",
         std::string(kStatusLookup) +
             "[pin_install.cpp, Line 97]: Error --> IsFilePresent( sGluePath ) == false\n"
             "[pin_install.cpp, Line 247]: Error --> ConvertParameters( sDriverName ) == false\n"
             "[pin_main.cpp, Line 178]: Error --> PreInstall( sDriverName ) == false\n",
         false, "pin_install.cpp", "IsFilePresent( sGluePath ) == false"},
        {"product switch missing",
         std::string(kStatusLookup) + "[qxzglue_utils.cpp, Line 65]: Error --> sDriverName.empty()\n"
                                      "[pin_main.cpp, Line 170]: Error --> fInstall == false\n",
         false, "qxzglue_utils.cpp", "sDriverName.empty()"},
        {"status code",
         "Glue passed a status code to the Pin\nNo recovery implemented -- exiting\n"
         "[pin_main.cpp, Line 162]: Error --> fStatusCodeSet == true\n",
         false, "pin_main.cpp", "fStatusCodeSet == true"},
        {"failed without an error line", "", false, nullptr, nullptr},
    };
}

TEST(ParseLogTest, TheInnermostCheckOfTheStackThatEndsARun)
{
    for (const FailureCase& tCase : FailureCases())
    {
        SCOPED_TRACE(tCase.pszName);
        const std::vector<LogRun> vRuns =
            ParseLog(kHeader + std::string(kPortLines) + tCase.sBody + Closing("Model A", tCase.fSucceeded));
        ASSERT_EQ(vRuns.size(), 1u);
        const LogRun& tRun = vRuns[0];
        EXPECT_EQ(tRun.eOutcome, tCase.fSucceeded ? Outcome::Succeeded : Outcome::Failed);
        ASSERT_EQ(tRun.HasFailedCheck(), tCase.pszCondition != nullptr);
        if (tCase.pszCondition == nullptr)
            continue;
        const ErrorLine& tError = tRun.vErrors[tRun.iFailedCheck];
        EXPECT_EQ(tError.sSource, tCase.pszSource);
        EXPECT_EQ(tError.sCondition, tCase.pszCondition);
    }
}

// Without switches the port lookup leaves its own error line before the port
// listing; the failure is the entry's check.
TEST(ParseLogTest, NoSwitches)
{
    const std::vector<LogRun> vRuns =
        ParseLog(std::string(kHeader) +
                 "[qxzglue_utils.cpp, Line 12]: Error --> sCmdLine.empty()\n"
                 "FindCmdLineVar() returned FALSE for PortName!!!.. \n"
                 "Before calling EnumPorts the first time\n"
                 "After calling EnumPorts second time() \n"
                 "Did not find the Input Port Name ::  in the list enumerated by EnumPorts() :: fFoundPortName = 0\n"
                 "[pin_main.cpp, Line 190]: Error --> *lpszCmdLine == '\\0'\n"
                 "Pin Pathname = Z:\\p.exe\nCommand Line = NULL\nDriver Name = NULL\nThe Pin Failed\n");
    ASSERT_EQ(vRuns.size(), 1u);
    const LogRun& tRun = vRuns[0];
    EXPECT_FALSE(tRun.tPort.fPresent);
    EXPECT_EQ(tRun.ePortState, PortState::NotFound);
    EXPECT_FALSE(tRun.tCommandLine.fPresent);
    EXPECT_FALSE(tRun.tDriver.fPresent);
    EXPECT_TRUE(tRun.tPinPathname.fPresent);
    ASSERT_EQ(tRun.vErrors.size(), 2u);
    ASSERT_TRUE(tRun.HasFailedCheck());
    EXPECT_EQ(tRun.vErrors[tRun.iFailedCheck].sCondition, "*lpszCmdLine == '\\0'");
    EXPECT_EQ(tRun.vErrors[tRun.iFailedCheck].nLine, 190);
}

TEST(ParseLogTest, TheFieldsOfARunWithCrLfLineEnds)
{
    std::string sLog = kHeader + std::string(kPortLines) + kStatusLookup + Closing("Model A", true);
    std::string sCrLf;
    for (char ch : sLog)
        sCrLf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    for (const std::string& sBytes : {sLog, sCrLf})
    {
        const std::vector<LogRun> vRuns = ParseLog(sBytes);
        ASSERT_EQ(vRuns.size(), 1u);
        const LogRun& tRun = vRuns[0];
        EXPECT_EQ(tRun.sStarted, "Wed Dec 09 23:12:19 2026");
        EXPECT_TRUE(tRun.fStartedKnown);
        EXPECT_EQ(tRun.nStartedKey, CalendarKey(2026, 12, 9, 23, 12, 19));
        EXPECT_EQ(tRun.tPort.sValue, "LPT1:");
        EXPECT_EQ(tRun.ePortState, PortState::Found);
        EXPECT_EQ(tRun.tDriver.sValue, "Model A");
        EXPECT_EQ(tRun.tCommandLine.sValue, "-printerdriver=Model A -product=Model A series -port=LPT1:");
        EXPECT_EQ(tRun.tPinPathname.sValue, "Z:\\opt\\setup\\qxzpin14.exe");
        EXPECT_EQ(tRun.eOutcome, Outcome::Succeeded);
        EXPECT_EQ(tRun.ibBegin, sBytes.find('*'));
        EXPECT_EQ(tRun.ibEnd, sBytes.size());
    }
}

// Several runs in one file, the last one killed after its port check.
TEST(ParseLogTest, EveryHeaderBeginsARunAndARunWithoutClosingLinesIsIncomplete)
{
    const std::string sFirst = kHeader + std::string(kPortLines) + kStatusLookup + Closing("Model A", true);
    const std::string sSecond = std::string(kHeader).replace(14, 2, "10") + kPortLines;
    const std::vector<LogRun> vRuns = ParseLog(sFirst + sSecond);
    ASSERT_EQ(vRuns.size(), 2u);
    EXPECT_EQ(vRuns[0].eOutcome, Outcome::Succeeded);
    EXPECT_EQ(vRuns[1].eOutcome, Outcome::Incomplete);
    EXPECT_FALSE(vRuns[1].HasFailedCheck());
    EXPECT_EQ(vRuns[1].sStarted, "Wed Dec 10 23:12:19 2026");
    EXPECT_EQ(vRuns[0].ibEnd, sFirst.size() + 1);
    EXPECT_EQ(vRuns[1].ibBegin, sFirst.size() + 1);
    EXPECT_EQ(vRuns[1].ePortState, PortState::Found);
    EXPECT_FALSE(vRuns[1].tDriver.fPresent);
}

// Files that are no log, or hardly one: never a crash, and no invented run.
TEST(ParseLogTest, BytesThatAreNoLog)
{
    struct Case
    {
        const char* pszName;
        std::string sBytes;
        size_t cRuns;
    };
    std::string sGarbage;
    for (int i = 0; i < 4096; ++i)
        sGarbage += static_cast<char>((i * 131 + 7) & 0xFF);
    const std::string sLongLine(1u << 20, '\xE9');
    const std::vector<Case> vCases = {
        {"empty", "", 0},
        {"binary garbage", sGarbage, 0},
        {"a header cut short", "\n**** Wed Dec 09 23:12:19 2026 - Logging Ena", 0},
        {"only a header, no newline", "**** Wed Dec 09 23:12:19 2026 - Logging Enabled ****", 1},
        {"garbage, then a run", sGarbage + kHeader + kPortLines, 1},
        {"a mebibyte line in a run", kHeader + sLongLine + "\n" + Closing(sLongLine.c_str(), true), 1},
        {"NUL bytes", std::string(kHeader) + std::string(10, '\0') + "\n" + Closing("Model A", false), 1},
    };
    for (const Case& tCase : vCases)
    {
        SCOPED_TRACE(tCase.pszName);
        EXPECT_EQ(ParseLog(tCase.sBytes).size(), tCase.cRuns);
    }
    const std::vector<LogRun> vLong = ParseLog(vCases[5].sBytes);
    EXPECT_EQ(vLong[0].tDriver.sValue, sLongLine);
    EXPECT_EQ(vLong[0].eOutcome, Outcome::Succeeded);
}

TEST(ParseErrorLineTest, Table)
{
    struct Case
    {
        const char* pszLine;
        bool fError;
        const char* pszSource;
        int64_t nLine;
        const char* pszCondition;
    };
    const Case aCases[] = {
        {"[qxzglue_utils.cpp, Line 93]: Error --> sDriverName.empty()", true, "qxzglue_utils.cpp", 93,
         "sDriverName.empty()"},
        {"[a, b.cpp, Line 0]: Error --> x]: y", true, "a, b.cpp", 0, "x]: y"},
        {"[f.cpp, Line -7]: Error --> ", true, "f.cpp", -7, ""},
        {"[f.cpp, Line 12345678901]: Error --> x", false, "", 0, ""},
        {"[f.cpp, Line 1x]: Error --> x", false, "", 0, ""},
        {"[f.cpp, Line ]: Error --> x", false, "", 0, ""},
        {"[f.cpp, Line 1]: Warning --> x", false, "", 0, ""},
        {"f.cpp, Line 1]: Error --> x", false, "", 0, ""},
        {"[f.cpp Line 1]: Error --> x", false, "", 0, ""},
        {"[", false, "", 0, ""},
    };
    for (const Case& tCase : aCases)
    {
        SCOPED_TRACE(tCase.pszLine);
        ErrorLine tError;
        ASSERT_EQ(ParseErrorLine(tCase.pszLine, &tError), tCase.fError);
        if (!tCase.fError)
            continue;
        EXPECT_EQ(tError.sSource, tCase.pszSource);
        EXPECT_EQ(tError.nLine, tCase.nLine);
        EXPECT_EQ(tError.sCondition, tCase.pszCondition);
    }
}

TEST(ParseTimeTextTest, Table)
{
    struct Case
    {
        const char* pszText;
        bool fKnown;
        int64_t nKey;
    };
    const Case aCases[] = {
        {"Wed Dec 09 23:12:19 2026", true, CalendarKey(2026, 12, 9, 23, 12, 19)},
        {"Thu Jan 01 00:00:00 1970", true, 0},
        {"Sun Feb 29 12:00:00 2032", true, CalendarKey(2032, 2, 29, 12, 0, 0)},
        {"Unknown", false, 0},
        {"Wed Dec  9 23:12:19 2026", false, 0},
        {"Wed Dek 09 23:12:19 2026", false, 0},
        {"Xyz Dec 09 23:12:19 2026", false, 0},
        {"Wed Dec 09 24:12:19 2026", false, 0},
        {"Wed Dec 09 23:12:19 20266", false, 0},
        {"", false, 0},
    };
    for (const Case& tCase : aCases)
    {
        SCOPED_TRACE(tCase.pszText);
        int64_t nKey = 0;
        ASSERT_EQ(ParseTimeText(tCase.pszText, &nKey), tCase.fKnown);
        if (tCase.fKnown)
        {
            EXPECT_EQ(nKey, tCase.nKey);
        }
    }
    EXPECT_EQ(CalendarKey(2026, 12, 9, 0, 0, 0) - CalendarKey(2026, 12, 8, 0, 0, 0), 86400);
    EXPECT_EQ(CalendarKey(2027, 1, 1, 0, 0, 0) - CalendarKey(2026, 12, 31, 23, 59, 59), 1);
    EXPECT_EQ(CalendarKey(2026, 3, 1, 0, 0, 0) - CalendarKey(2026, 2, 28, 0, 0, 0), 86400);
}

} // namespace
