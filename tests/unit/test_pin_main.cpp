// The Pin's entry: the port verification's lines, the command-line and
// switch checks, and the closing lines of every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <ostream>
#include <string>
#include <vector>

#include "log/log_file.h"
#include "pin/pin_main.h"
#include "pin/pin_pathname.h"
#include "platform/win32.h"
#include "tests/support/scoped_faults.h"
#include "tests/support/test_machine.h"
#include "tests/unit/pin_test_support.h"
#include "tests/unit/qxzglue_test_support.h"

namespace
{

using qxz::test::GlueKeyValues;
using qxz::test::InstallError;
using qxz::test::LoggedMachineTest;
using qxz::test::MainError;
using qxz::test::RegistryError;
using qxz::test::RegReadFailed;
using qxz::test::ScopedFaults;
using qxz::test::ScratchDriverKey;
using qxz::test::SetRawValue;
using qxz::test::TestMachine;
using qxz::test::UtilsError;
using Lines = std::vector<std::string>;

const char kPinPathname[] = "D:\\Setup\\qxzpin14.exe";

Lines operator+(Lines vFirst, const Lines& vSecond)
{
    vFirst.insert(vFirst.end(), vSecond.begin(), vSecond.end());
    return vFirst;
}

// The enumeration's lines when both calls succeed on a fresh machine: the
// fixed ports, each a local port that can be written to.
const Lines kListingHead = {"Before calling EnumPorts the first time",
                            "EnumPorts returned 0 after calling first time :: GetLastError() is 122 ",
                            "Before calling EnumPorts second time ()"};
const Lines kFixedPorts = {"", "Name COM1:,Mon name Local Monitor,Desc Local Port,Res 0 Type=1", " PORT_TYPE_WRITE",
                           "", "Name COM2:,Mon name Local Monitor,Desc Local Port,Res 0 Type=1", " PORT_TYPE_WRITE",
                           "", "Name COM3:,Mon name Local Monitor,Desc Local Port,Res 0 Type=1", " PORT_TYPE_WRITE",
                           "", "Name COM4:,Mon name Local Monitor,Desc Local Port,Res 0 Type=1", " PORT_TYPE_WRITE",
                           "", "Name FILE:,Mon name Local Monitor,Desc Local Port,Res 0 Type=1", " PORT_TYPE_WRITE",
                           "", "Name LPT1:,Mon name Local Monitor,Desc Local Port,Res 0 Type=1", " PORT_TYPE_WRITE",
                           "", "Name LPT2:,Mon name Local Monitor,Desc Local Port,Res 0 Type=1", " PORT_TYPE_WRITE",
                           "", "Name LPT3:,Mon name Local Monitor,Desc Local Port,Res 0 Type=1", " PORT_TYPE_WRITE"};
const Lines kListingTail = {"After calling EnumPorts second time() "};

Lines ListingLines()
{
    return kListingHead + kFixedPorts + kListingTail;
}

// ---- Port records and names ----------------------------------------------------------

const char kPortsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

class PortTest : public LoggedMachineTest
{
protected:
    // One local port beside the fixed ones; the registry under Wine outlives
    // the test, so it goes again.
    void SetUp() override
    {
        SetRawValue(kPortsKey, kSeededPort, REG_SZ, std::string(1, '\0'));
    }
    void TearDown() override
    {
        HKEY hPorts = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPortsKey, 0, KEY_SET_VALUE, &hPorts), ERROR_SUCCESS);
        EXPECT_EQ(RegDeleteValueA(hPorts, kSeededPort), ERROR_SUCCESS);
        RegCloseKey(hPorts);
    }

    // The enumeration's lines with the seeded port listed after the fixed ones.
    static Lines SeededListingLines()
    {
        return kListingHead + kFixedPorts + kSeededPortLines + kListingTail;
    }

    static constexpr const char* kSeededPort = "QXZ9:";
    inline static const Lines kSeededPortLines = {"", "Name QXZ9:,Mon name Local Monitor,Desc Local Port,Res 0 Type=1",
                                                  " PORT_TYPE_WRITE"};
};

TEST_F(PortTest, RecordLineThenOneLinePerNamedTypeFlag)
{
    char szName[] = "LPT1:";
    char szMonitor[] = "Local Port";
    char szDescription[] = "Printer Port";
    const struct
    {
        PORT_INFO_2A tPort; // name, monitor, description, type, reserved
        Lines vLines;       // the record line starts with a newline: an empty line first
    } kCases[] = {
        {{szName, szMonitor, szDescription, 0x0, 0x0},
         {"", "Name LPT1:,Mon name Local Port,Desc Printer Port,Res 0 Type=0"}},
        {{szName, szMonitor, szDescription, 0x3, 0x0},
         {"", "Name LPT1:,Mon name Local Port,Desc Printer Port,Res 0 Type=3", " PORT_TYPE_WRITE", " PORT_TYPE_READ"}},
        {{szName, szMonitor, szDescription, 0x1f, 0xab},
         {"", "Name LPT1:,Mon name Local Port,Desc Printer Port,Res ab Type=1f", " PORT_TYPE_WRITE", " PORT_TYPE_READ",
          " PORT_TYPE_REDIRECTED", " PORT_TYPE_NET_ATTACHED"}},
        {{szName, szMonitor, szDescription, 0xfffffff4, 0x0},
         {"", "Name LPT1:,Mon name Local Port,Desc Printer Port,Res 0 Type=fffffff4", " PORT_TYPE_REDIRECTED"}},
        // Strings the spooler left null print as empty text.
        {{nullptr, nullptr, nullptr, 0x8, 0x0}, {"", "Name ,Mon name ,Desc ,Res 0 Type=8", " PORT_TYPE_NET_ATTACHED"}},
    };
    Lines vExpected;
    for (const auto& tCase : kCases)
    {
        LogPortRecord(tCase.tPort);
        vExpected = vExpected + tCase.vLines;
    }
    EXPECT_EQ(m_tLog.Lines(), vExpected);
}

TEST(PortNameTest, ComparesTheLengthOfTheShorterName)
{
    const struct
    {
        const char* pszRequested;
        const char* pszEnumerated;
        bool fSame;
    } kCases[] = {
        {"LPT1:", "LPT1:", true},  {"LPT1", "LPT1:", true},   {"LPT1:", "LPT1", true},
        {"lpt1:", "LPT1:", true},  {"COM10", "COM1:", false}, {"USB001", "USB002", false},
        {"FILE:", "LPT1:", false}, {"USB001", nullptr, true}, // no characters to compare
    };
    for (const auto& tCase : kCases)
    {
        EXPECT_EQ(IsSamePortName(tCase.pszRequested, tCase.pszEnumerated), tCase.fSame)
            << tCase.pszRequested << " / " << (tCase.pszEnumerated ? tCase.pszEnumerated : "(null)");
    }
}

TEST(PortNameTest, UsbPortsBeginWithUsbInAnyCase)
{
    const struct
    {
        const char* pszPortName;
        bool fUsb;
    } kCases[] = {{"USB001", true}, {"usb002", true}, {"uSb", true},    {"US", false},
                  {"", false},      {"LPT1:", false}, {"XUSB1", false}, {"US B1", false}};
    for (const auto& tCase : kCases)
        EXPECT_EQ(IsUsbPort(tCase.pszPortName), tCase.fUsb) << tCase.pszPortName;
}

// ---- Port verification against the spooler --------------------------------------------

std::string ResultLine(const std::string& sPortName, bool fFound)
{
    return fFound ? "Found the Input Port Name :: " + sPortName +
                        " in the list enumerated by EnumPorts() :: fFoundPortName = 1"
                  : "Did not find the Input Port Name :: " + sPortName +
                        " in the list enumerated by EnumPorts() :: fFoundPortName = 0";
}

TEST_F(PortTest, SpoolerKnowsTheFixedPorts)
{
    DWORD cbNeeded = 0;
    DWORD cPorts = 0;
    EnumPortsA(nullptr, 2, nullptr, 0, &cbNeeded, &cPorts);
    std::vector<BYTE> vBuffer(cbNeeded);
    ASSERT_TRUE(EnumPortsA(nullptr, 2, vBuffer.data(), cbNeeded, &cbNeeded, &cPorts));
    const PORT_INFO_2A* pPorts = reinterpret_cast<const PORT_INFO_2A*>(vBuffer.data());
    for (const char* pszPort : {"LPT1:", "COM1:", "FILE:"})
    {
        EXPECT_TRUE(std::any_of(pPorts, pPorts + cPorts, [&](const PORT_INFO_2A& tPort) {
            return std::string(tPort.pPortName) == pszPort;
        })) << pszPort;
    }
}

TEST_F(PortTest, ListsEveryPortAndTellsWhetherTheRequestedOneIsAmongThem)
{
    const struct
    {
        const char* pszCmdLine;
        const char* pszPortName;
        bool fFound;
    } kCases[] = {
        {"-printerdriver=M -port=LPT1: -product=P", "LPT1:", true},
        {"-port=lpt1", "lpt1", true},
        {"-port=COM10", "COM10", false},
        {"-port=NOPE9:", "NOPE9:", false},
    };
    Lines vExpected;
    for (const auto& tCase : kCases)
    {
        VerifyPort(tCase.pszCmdLine);
        vExpected = vExpected + Lines({std::string("Input PortName is :: ") + tCase.pszPortName}) +
                    SeededListingLines() + Lines({ResultLine(tCase.pszPortName, tCase.fFound)});
    }
    EXPECT_EQ(m_tLog.Lines(), vExpected);
}

// A port whose name is empty is listed, but it is no requested port: no
// characters compared would find every one.
TEST_F(PortTest, APortWithAnEmptyNameIsNeverTheRequestedOne)
{
    // Wine's spooler stops answering once the Ports key holds a value without a name.
    QXZ_SKIP_UNLESS_EMULATED();
    HKEY hPorts = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPortsKey, 0, KEY_READ | KEY_SET_VALUE, &hPorts), ERROR_SUCCESS);
    const BYTE abEmpty[] = "";
    ASSERT_EQ(RegSetValueExA(hPorts, "", 0, REG_SZ, abEmpty, sizeof abEmpty), ERROR_SUCCESS);
    VerifyPort("-port=NOPE9:");
    RegDeleteValueA(hPorts, "");
    RegCloseKey(hPorts);
    const Lines vEmptyNamedPort = {"", "Name ,Mon name Local Monitor,Desc Local Port,Res 0 Type=1", " PORT_TYPE_WRITE"};
    EXPECT_EQ(m_tLog.Lines(), Lines({"Input PortName is :: NOPE9:"}) + kListingHead + kFixedPorts + kSeededPortLines +
                                  vEmptyNamedPort + kListingTail + Lines({ResultLine("NOPE9:", false)}));
}

TEST_F(PortTest, MissingPortSwitchStillListsThePorts)
{
    VerifyPort("-printerdriver=M");
    VerifyPort("");
    const Lines vMissing = Lines({"FindCmdLineVar() returned FALSE for PortName!!!.. "}) + SeededListingLines() +
                           Lines({ResultLine("", false)});
    EXPECT_EQ(m_tLog.Lines(), vMissing + Lines({UtilsError("sCmdLine.empty()")}) + vMissing);
}

TEST_F(PortTest, UsbPortAddsTheUsbMonitorFirst)
{
    VerifyPort("-port=usb002");
    const Lines vLines = m_tLog.Lines();
    ASSERT_GE(vLines.size(), 4u);
    EXPECT_EQ(vLines[0], "Input PortName is :: usb002");
    EXPECT_EQ(vLines[1], "Calling AddMonitor for usbmon.");
    EXPECT_TRUE(
        std::regex_match(vLines[2], std::regex("Call to AddMonitor (SUCCEEDED\\.|FAILED with error :: [0-9]+\\(\\))")))
        << vLines[2];
    EXPECT_EQ(Lines(vLines.begin() + 3, vLines.end()), SeededListingLines() + Lines({ResultLine("usb002", false)}));
}

TEST_F(PortTest, UsbMonitorResultIsLoggedWithItsError)
{
    QXZ_SKIP_UNLESS_EMULATED();
    // A fresh machine has no usbmon.dll; once it is in the system directory
    // the monitor is added, and then it is registered already.
    VerifyPort("-port=USB001");
    char szSystem[MAX_PATH];
    ASSERT_NE(GetSystemDirectoryA(szSystem, sizeof szSystem), 0u);
    const HANDLE hDll = CreateFileA((std::string(szSystem) + "\\usbmon.dll").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(hDll, INVALID_HANDLE_VALUE);
    CloseHandle(hDll);
    VerifyPort("-port=USB001");
    VerifyPort("-port=USB001");

    const Lines vListing = SeededListingLines() + Lines({ResultLine("USB001", false)});
    const Lines vHead = {"Input PortName is :: USB001", "Calling AddMonitor for usbmon."};
    EXPECT_EQ(m_tLog.Lines(), vHead + Lines({"Call to AddMonitor FAILED with error :: 126()"}) + vListing + vHead +
                                  Lines({"Call to AddMonitor SUCCEEDED."}) + vListing + vHead +
                                  Lines({"Call to AddMonitor FAILED with error :: 3006()"}) + vListing);
}

TEST_F(PortTest, FailedEnumerationIsLoggedAndFindsNothing)
{
    QXZ_SKIP_UNLESS_EMULATED();
    {
        const ScopedFaults tFaults("EnumPortsA=5");
        VerifyPort("-port=LPT1:");
    }
    EXPECT_EQ(m_tLog.Lines(),
              Lines({"Input PortName is :: LPT1:", "Before calling EnumPorts the first time",
                     "EnumPorts returned 0 after calling first time :: GetLastError() is 5 ",
                     "Before calling EnumPorts second time ()", "Call to EnumPorts FAILED with error :: 5()",
                     "After calling EnumPorts second time() ", ResultLine("LPT1:", false)}));
}

// ---- Switch checks ---------------------------------------------------------------------

// With the driver key missing, the pre-install fails at its first read.
Lines PreInstallFailedLines(const std::string& sDriverKey)
{
    return {RegistryError("lResult != ERROR_SUCCESS"), RegReadFailed(sDriverKey, "GluePath", ERROR_FILE_NOT_FOUND),
            InstallError("RegGetStringValue( sRegKeyGlueDriver, g_sRegVnGluePath, &sGluePath ) == false"),
            InstallError("ConvertParameters( sDriverName ) == false"), MainError("PreInstall( sDriverName ) == false")};
}

struct SwitchCase
{
    const char* pszLabel;
    const char* pszCmdLine; // "{driver}" stands for the test's driver name
    bool fDriverNameRead;
    Lines vLinesBeforePreInstall; // followed by PreInstallFailedLines when the driver name was read
};

// Test names in failure messages instead of bytes.
void PrintTo(const SwitchCase& tCase, std::ostream* pStream)
{
    *pStream << tCase.pszLabel;
}

const std::string kStatusLookup = UtilsError("sDriverName.empty()"); // the absent status code

const SwitchCase kSwitchCases[] = {
    {"StatusCode",
     "-statuscode=5 -printerdriver={driver} -product=P -port=LPT1:",
     false,
     {"Glue passed a status code to the Pin", "No recovery implemented -- exiting",
      MainError("fStatusCodeSet == true")}},
    {"ProductMissing",
     "-printerdriver={driver} -port=LPT1:",
     false,
     {kStatusLookup, UtilsError("sDriverName.empty()"), MainError("fInstall == false")}},
    {"NoSwitches",
     "-other=1",
     false,
     {kStatusLookup, UtilsError("sDriverName.empty()"), UtilsError("sDriverName.empty()"),
      UtilsError("sDriverName.empty()"), MainError("fInstall == false")}},
    {"EmptyPortAtTheEnd",
     "-printerdriver={driver} -product=P -port=",
     false,
     {kStatusLookup, UtilsError("isCmdLine >= sCmdLine.length()"), UtilsError("sDriverName.empty()"),
      MainError("fInstall == false")}},
    {"EmptyStatusCodeIgnored",
     "-statuscode= -printerdriver={driver} -product=P -port=LPT1:",
     true,
     {UtilsError("sParameterValue.empty()")}},
    {"SwitchNamesInCapitals", "-PRINTERDRIVER={driver} -Product=P -PORT=LPT1:", true, {kStatusLookup}},
};

class SwitchCheckTest : public LoggedMachineTest, public ::testing::WithParamInterface<SwitchCase>
{
protected:
    ScratchDriverKey m_tDriver; // never created: the pre-install fails at once
};

TEST_P(SwitchCheckTest, StopsAtTheFirstFailedCheck)
{
    const SwitchCase& tCase = GetParam();
    std::string sCmdLine = tCase.pszCmdLine;
    const std::string::size_type isDriver = sCmdLine.find("{driver}");
    if (isDriver != std::string::npos)
        sCmdLine.replace(isDriver, 8, m_tDriver.DriverName());

    CQxCiString sDriverName;
    EXPECT_FALSE(RunSwitchChecks(sCmdLine.c_str(), &sDriverName));

    EXPECT_EQ(sDriverName.c_str(), tCase.fDriverNameRead ? m_tDriver.DriverName() : std::string());
    EXPECT_EQ(m_tLog.Lines(), tCase.vLinesBeforePreInstall +
                                  (tCase.fDriverNameRead ? PreInstallFailedLines(m_tDriver.Path()) : Lines()));
}

INSTANTIATE_TEST_SUITE_P(Table, SwitchCheckTest, ::testing::ValuesIn(kSwitchCases),
                         [](const auto& tInfo) { return std::string(tInfo.param.pszLabel); });

// ---- Whole runs of the entry ---------------------------------------------------------------

// The entry opens its own log as the first numbered file in the temporary
// directory, which each test points at a directory of its own.
class PinMainTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_sTempDirectory = m_tMachine.NewDirectory("temp");
        ASSERT_FALSE(m_sTempDirectory.empty());
        for (const char* pszName : {"TEMP", "TMP"})
        {
            const char* pszOld = getenv(pszName);
            m_vSaved.push_back({pszName, pszOld != nullptr, pszOld != nullptr ? pszOld : ""});
            SetVariable(pszName, m_sTempDirectory.c_str());
        }
        SetPinPathname(kPinPathname);
    }
    void TearDown() override
    {
        g_Log.Close();
        SetPinPathname("");
        for (const SavedVariable& tSaved : m_vSaved)
            SetVariable(tSaved.pszName, tSaved.fSet ? tSaved.sValue.c_str() : nullptr);
    }

    static void SetVariable(const char* pszName, const char* pszValue)
    {
#ifdef _WIN32
        _putenv_s(pszName, pszValue != nullptr ? pszValue : "");
#else
        if (pszValue != nullptr)
            setenv(pszName, pszValue, 1);
        else
            unsetenv(pszName);
#endif
    }

    Lines RunLines() const
    {
        return qxz::test::LogFileLines(m_sTempDirectory + "\\qxqxin00.log");
    }

    // The listing part of a run whose command line names the port LPT1:.
    static Lines VerifiedLpt1()
    {
        return Lines({"Input PortName is :: LPT1:"}) + ListingLines() + Lines({ResultLine("LPT1:", true)});
    }

    struct SavedVariable
    {
        const char* pszName;
        bool fSet;
        std::string sValue;
    };

    TestMachine m_tMachine;
    std::string m_sTempDirectory;
    std::vector<SavedVariable> m_vSaved;
};

TEST_F(PinMainTest, NoCommandLineFailsAfterVerifyingThePort)
{
    const struct
    {
        const char* lpszCmdLine;
        const char* pszCondition;
    } kCases[] = {{"", "*lpszCmdLine == '\\0'"}, {nullptr, "lpszCmdLine == 0"}};
    for (const auto& tCase : kCases)
    {
        EXPECT_EQ(PinMain(tCase.lpszCmdLine), 0);
        EXPECT_EQ(
            RunLines(),
            Lines({UtilsError("sCmdLine.empty()"), "FindCmdLineVar() returned FALSE for PortName!!!.. "}) +
                ListingLines() +
                Lines({ResultLine("", false), MainError(tCase.pszCondition), "Pin Pathname = D:\\Setup\\qxzpin14.exe",
                       "Command Line = NULL", "Driver Name = NULL", "The Pin Failed"}))
            << tCase.pszCondition;
        g_Log.Close();
        // The next run starts its log in the same file again.
        EXPECT_TRUE(DeleteFileA((m_sTempDirectory + "\\qxqxin00.log").c_str()));
    }
}

TEST_F(PinMainTest, StatusCodeEndsTheRunWithoutDriverName)
{
    const char kCmdLine[] = "-statuscode=5 -printerdriver=Model A -product=P -port=LPT1:";
    EXPECT_EQ(PinMain(kCmdLine), 0);
    EXPECT_EQ(RunLines(),
              VerifiedLpt1() +
                  Lines({"Glue passed a status code to the Pin", "No recovery implemented -- exiting",
                         MainError("fStatusCodeSet == true"), "Pin Pathname = D:\\Setup\\qxzpin14.exe",
                         std::string("Command Line = ") + kCmdLine, "Driver Name = NULL", "The Pin Failed"}));
}

TEST_F(PinMainTest, FailedPreInstallNamesTheDriver)
{
    const ScratchDriverKey tDriver;
    const std::string sCmdLine = "-printerdriver=" + tDriver.DriverName() + " -product=P -port=LPT1:";
    EXPECT_EQ(PinMain(sCmdLine.c_str()), 0);
    EXPECT_EQ(RunLines(), VerifiedLpt1() + Lines({kStatusLookup}) + PreInstallFailedLines(tDriver.Path()) +
                              Lines({"Pin Pathname = D:\\Setup\\qxzpin14.exe", "Command Line = " + sCmdLine,
                                     "Driver Name = " + tDriver.DriverName(), "The Pin Failed"}));
}

TEST_F(PinMainTest, SuccessfulRunRegistersThePinAndSaysSo)
{
    const ScratchDriverKey tDriver;
    GlueKeyValues tGlue;
    tGlue.Set("PreloadPath", "C:\\Elsewhere\\");
    tGlue.Set("OverrideLanguage", "German");
    SetRawValue(tDriver.Path(), "GluePath", REG_SZ, m_tMachine.NewDirectory("glue") + "\\" + '\0');
    // The port need not exist: the verification only logs.
    const std::string sCmdLine = "-printerdriver=" + tDriver.DriverName() + " -product=P -port=NOPE9:";

    EXPECT_EQ(PinMain(sCmdLine.c_str()), 0);

    EXPECT_EQ(RunLines(),
              Lines({"Input PortName is :: NOPE9:"}) + ListingLines() +
                  Lines({ResultLine("NOPE9:", false), kStatusLookup, "Pin Pathname = D:\\Setup\\qxzpin14.exe",
                         "Command Line = " + sCmdLine, "Driver Name = " + tDriver.DriverName(), "The Pin Succeeded"}));
    const qxz::test::RawValue tRunGhoul = qxz::test::QueryRawValue(tDriver.Path(), "runghoul");
    EXPECT_EQ(tRunGhoul.sData, std::string("true", 5));
}

} // namespace
