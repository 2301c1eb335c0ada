// The diagnosis of runs as their logs show them (line numbers aside), the
// warnings, the code table and the pattern across runs. The real runs that
// produce each cause are in qxzlog_runs.py; here are the stacks a real run
// cannot produce on demand, and the edges.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/qxzlog/diagnosis.h"

namespace
{

using namespace qxz::qxzlog;

const char kHeader[] = "\n**** Wed Dec 09 23:12:19 2026 - Logging Enabled ****\n\n";
const char kStatusLookup[] = "[qxzglue_utils.cpp, Line 65]: Error --> sDriverName.empty()\n";

std::string PortLines(const std::string& sPort, const std::string& sMonitor, const std::string& sListing, bool fFound)
{
    return "Input PortName is :: " + sPort + "\n" + sMonitor +
           "Before calling EnumPorts the first time\n"
           "EnumPorts returned 0 after calling first time :: GetLastError() is 122 \n" +
           sListing + "After calling EnumPorts second time() \n" +
           (fFound ? "Found the Input Port Name :: " + sPort +
                         " in the list enumerated by EnumPorts() :: fFoundPortName = 1\n"
                   : "Did not find the Input Port Name :: " + sPort +
                         " in the list enumerated by EnumPorts() :: fFoundPortName = 0\n");
}

const char kListed[] =
    "Before calling EnumPorts second time ()\n\nName LPT1:,Mon name Local Port,Desc Local Port,Res 0 "
    "Type=1\n PORT_TYPE_WRITE\n";

std::string Closing(const char* pszCommandLine, const char* pszDriver, bool fSucceeded)
{
    return std::string("Pin Pathname = Z:\\opt\\setup\\qxzpin14.exe\nCommand Line = ") + pszCommandLine +
           "\nDriver Name = " + pszDriver + "\n" + (fSucceeded ? "The Pin Succeeded\n" : "The Pin Failed\n");
}

LogRun OnlyRun(const std::string& sBytes)
{
    std::vector<LogRun> vRuns = ParseLog(sBytes);
    EXPECT_EQ(vRuns.size(), 1u);
    return vRuns.empty() ? LogRun() : vRuns.front();
}

std::string Text(const std::optional<std::string>& osText)
{
    return osText ? *osText : "(null)";
}

TEST(DiagnoseTest, TheCauseOfEachStack)
{
    struct Case
    {
        const char* pszName;
        std::string sBody; // after the port lines
        const char* pszCommandLine;
        const char* pszCause;
        const char* pszSubject;
        const char* pszCode;
        const char* pszInSummary;
    };
    const char* const kCmd = "-printerdriver=Model A -product=P -port=LPT1:";
    const std::vector<Case> vCases = {
        {"GluePath of the wrong type",
         std::string(kStatusLookup) + "[qxzglue_registry.cpp, Line 30]: Error --> dwType != REG_SZ\n"
                                      "[pin_install.cpp, Line 66]: Error --> RegGetStringValue( sRegKeyGlueDriver, "
                                      "g_sRegVnGluePath, &sGluePath ) == false\n",
         kCmd, "glue-path-unreadable", "GluePath", "(null)", "is not a string value"},
        {"no short form on an old system",
         std::string(kStatusLookup) +
             "[pdi_utils.cpp, Line 56]: Error --> GetShortPathName( sFixedGluePath.c_str(), szShortPath, _MAX_PATH ) "
             "== 0\n[pin_install.cpp, Line 70]: Error --> GetInstallType( sGluePath, &eInstallType ) == false\n",
         kCmd, "install-type", "GluePath", "(null)", "short form"},
        {"a Pin path name without a directory",
         std::string(kStatusLookup) + "[qxzglue_utils.cpp, Line 95]: Error --> isPathname == CQxCiString::npos\n"
                                      "[pin_install.cpp, Line 160]: Error --> GetPath( sPinPathname, &sPdiPathname ) "
                                      "== false\n[pin_install.cpp, Line 240]: Error --> RegisterPdi( sDriverName ) == "
                                      "false\n",
         kCmd, "registration", "pdipathname", "(null)", "no directory"},
        {"runghoul refused",
         std::string(kStatusLookup) +
             "[qxzglue_registry.cpp, Line 79]: Error --> lResult != ERROR_SUCCESS\n"
             "RegSetStringValue (SOFTWARE\\Vorquelle\\QXZ\\Glue\\Model A, runghoul, true) Failed, lResult = 1013\n"
             "[pin_install.cpp, Line 250]: Error --> RegSetStringValue( g_sRegKeyGlue + \"\\\\\" + sDriverName, "
             "g_sSwitchRunGhoul,\"true\" ) == false\n",
         kCmd, "registration", "runghoul", "1013", "ERROR_CANTWRITE"},
        {"a check nobody knows",
         std::string(kStatusLookup) + "[pin_install.cpp, Line 12]: Error --> fSomethingNew == false\n", kCmd,
         "unrecognised", "fSomethingNew == false", "(null)", "fSomethingNew == false [pin_install.cpp, Line 12]"},
        {"failed without a check", std::string(kStatusLookup), kCmd, "unrecognised", "(null)", "(null)",
         "without logging a failed check"},
        {"status code with the driver on the command line",
         "Glue passed a status code to the Pin\nNo recovery implemented -- exiting\n"
         "[pin_main.cpp, Line 162]: Error --> fStatusCodeSet == true\n",
         "-printerdriver=Model A -statuscode=E_FAIL -product=P -port=LPT1:", "status-code", "statuscode", "E_FAIL",
         "for driver Model A"},
    };
    for (const Case& tCase : vCases)
    {
        SCOPED_TRACE(tCase.pszName);
        const LogRun tRun = OnlyRun(kHeader + PortLines("LPT1:", "", kListed, true) + tCase.sBody +
                                    Closing(tCase.pszCommandLine, "NULL", false));
        const std::optional<Finding> otFinding = Diagnose(tRun);
        ASSERT_TRUE(otFinding.has_value());
        EXPECT_EQ(otFinding->sCause, tCase.pszCause);
        EXPECT_EQ(Text(otFinding->osSubject), tCase.pszSubject);
        EXPECT_EQ(Text(otFinding->osCode), tCase.pszCode);
        EXPECT_NE(otFinding->sSummary.find(tCase.pszInSummary), std::string::npos) << otFinding->sSummary;
        EXPECT_TRUE(Warnings(tRun).empty());
    }
}

TEST(DiagnoseTest, ARunThatSucceededHasNoneAndOneWithoutClosingLinesIsIncomplete)
{
    EXPECT_FALSE(Diagnose(OnlyRun(kHeader + PortLines("LPT1:", "", kListed, true) + kStatusLookup +
                                  Closing("-printerdriver=M -product=P -port=LPT1:", "M", true)))
                     .has_value());
    const std::optional<Finding> otHeaderOnly = Diagnose(OnlyRun(kHeader));
    ASSERT_TRUE(otHeaderOnly.has_value());
    EXPECT_EQ(otHeaderOnly->sCause, "incomplete");
    EXPECT_FALSE(otHeaderOnly->osSubject.has_value());
    const std::optional<Finding> otInListing = Diagnose(OnlyRun(kHeader + std::string("Input PortName is :: LPT1:\n"
                                                                                      "Before calling EnumPorts the "
                                                                                      "first time\n")));
    ASSERT_TRUE(otInListing.has_value());
    EXPECT_EQ(Text(otInListing->osSubject), "EnumPorts");
}

TEST(WarningsTest, WhatASuccessStillTells)
{
    struct Case
    {
        const char* pszName;
        std::string sPortLines;
        std::vector<std::string> vCauses;
        std::vector<std::string> vCodes;
    };
    const std::string sMonitorFailed =
        "Calling AddMonitor for usbmon.\nCall to AddMonitor FAILED with error :: 1722()\n";
    const std::string sMonitorThere =
        "Calling AddMonitor for usbmon.\nCall to AddMonitor FAILED with error :: 3006()\n";
    const std::string sListFailed =
        "Before calling EnumPorts second time ()\nCall to EnumPorts FAILED with error :: 1753()\n";
    const std::string sNoMemory =
        "Memory Allocation for Ports FAILED !!!..() \nUnable to call EnumPorts() the second time!!!..() \n";
    const std::vector<Case> vCases = {
        {"the port is listed", PortLines("USB001", sMonitorThere, kListed, true), {}, {}},
        {"not listed, monitor refused",
         PortLines("USB001", sMonitorFailed, kListed, false),
         {"port-not-found", "usb-monitor"},
         {"(null)", "1722"}},
        {"the listing failed", PortLines("LPT1:", "", sListFailed, false), {"port-list"}, {"1753"}},
        // The allocation's lines stand where the listing's would.
        {"no memory for the listing",
         "Input PortName is :: LPT1:\nBefore calling EnumPorts the first time\n" + sNoMemory +
             "Did not find the Input Port Name :: LPT1: in the list enumerated by EnumPorts() :: fFoundPortName = 0\n",
         {"port-list"},
         {"(null)"}},
    };
    for (const Case& tCase : vCases)
    {
        SCOPED_TRACE(tCase.pszName);
        const std::vector<Finding> vWarnings = Warnings(OnlyRun(
            kHeader + tCase.sPortLines + kStatusLookup + Closing("-printerdriver=M -product=P -port=X", "M", true)));
        std::vector<std::string> vCauses, vCodes;
        for (const Finding& tWarning : vWarnings)
        {
            vCauses.push_back(tWarning.sCause);
            vCodes.push_back(Text(tWarning.osCode));
        }
        EXPECT_EQ(vCauses, tCase.vCauses);
        EXPECT_EQ(vCodes, tCase.vCodes);
    }
}

TEST(ErrorCodeTest, TheTableAndHowACodeIsWritten)
{
    for (int64_t nCode : {0,    2,    3,    5,    6,    8,    14,   32,   33,   87,   112,  122,  126,
                          127,  183,  193,  258,  1008, 1009, 1010, 1011, 1012, 1013, 1014, 1015, 1016,
                          1017, 1018, 1019, 1020, 1021, 1722, 1753, 1797, 1801, 1802, 3006})
    {
        const ErrorCode* ptCode = LookUpErrorCode(nCode);
        ASSERT_NE(ptCode, nullptr) << nCode;
        EXPECT_NE(std::string(ptCode->pszText), "");
    }
    struct Case
    {
        const char* pszText;
        int64_t nCode; // -1: none
    };
    for (const Case& tCase :
         {Case{"5", 5}, Case{"0x7E", 126}, Case{"error_access_denied", 5}, Case{"WAIT_TIMEOUT", 258}, Case{"99999", -1},
          Case{"", -1}, Case{"0x", -1}, Case{"12345678901", -1}, Case{"5 ", -1}})
    {
        SCOPED_TRACE(tCase.pszText);
        const ErrorCode* ptCode = FindErrorCode(tCase.pszText);
        EXPECT_EQ(ptCode == nullptr ? -1 : ptCode->nCode, tCase.nCode);
    }
    EXPECT_EQ(CodeWithName(5), "5 ERROR_ACCESS_DENIED");
    EXPECT_EQ(CodeWithName(4242), "4242");
}

TEST(GroupFindingsTest, OneLinePerCauseSubjectAndCodeMostRunsFirst)
{
    std::vector<LogFile> vFiles(1);
    const std::string sRefused = std::string(kStatusLookup) + "[pin_install.cpp, Line 12]: Error --> dwWaitResult == "
                                                              "WAIT_TIMEOUT\n";
    std::string sBytes;
    const char* const kDrivers[] = {"Model B", "Model A", "Model B"};
    for (int i = 0; i < 3; ++i)
    {
        std::string sHeader = kHeader;
        sHeader.replace(14, 2, std::to_string(10 + i));
        const std::string sCommandLine = std::string("-printerdriver=") + kDrivers[i] + " -product=P -port=USB9";
        sBytes += sHeader + PortLines("USB9", "", kListed, false) + sRefused +
                  Closing(sCommandLine.c_str(), kDrivers[i], false);
    }
    sBytes += kHeader + PortLines("LPT1:", "", kListed, true) +
              "[pin_main.cpp, Line 9]: Error --> fInstall == false\n" +
              Closing("-printerdriver=Model C", "NULL", false);
    vFiles[0].vRuns = ParseLog(sBytes);
    const std::vector<FindingGroup> vGroups = GroupFindings(RunsNewestFirst(vFiles));
    ASSERT_EQ(vGroups.size(), 3u);
    EXPECT_EQ(vGroups[0].sCause, "mutex-timeout");
    EXPECT_FALSE(vGroups[0].fWarning);
    EXPECT_EQ(vGroups[0].cRuns, 3u);
    EXPECT_EQ(vGroups[0].vDrivers, (std::vector<std::string>{"Model A", "Model B"}));
    EXPECT_EQ(vGroups[0].ptFirst->sStarted, "Wed Dec 10 23:12:19 2026");
    EXPECT_EQ(vGroups[0].ptLast->sStarted, "Wed Dec 12 23:12:19 2026");
    EXPECT_EQ(vGroups[1].sCause, "switch-missing");
    EXPECT_EQ(Text(vGroups[1].osSubject), "product,port");
    EXPECT_EQ(vGroups[1].vDrivers, std::vector<std::string>{"Model C"});
    EXPECT_TRUE(vGroups[2].fWarning);
    EXPECT_EQ(vGroups[2].sCause, "port-not-found");
    EXPECT_EQ(vGroups[2].cRuns, 3u);
}

} // namespace
