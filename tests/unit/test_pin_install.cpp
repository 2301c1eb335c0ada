// The pre-install: the hand-off with Glue and the installer (events, the
// installer's mutex, "pintimeout", "languagedir") and the registrations of
// the Pin and its siblings, with what stays written when a step fails.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "log/log_file.h"
#include "pin/pin_install.h"
#include "pin/pin_pathname.h"
#include "platform/win32.h"
#include "tests/support/scoped_faults.h"
#include "tests/support/test_machine.h"
#include "tests/unit/pin_test_support.h"
#include "tests/unit/qxzglue_test_support.h"

namespace
{

using qxz::test::CapturedLog;
using qxz::test::GlueKeyValues;
using qxz::test::InstallError;
using qxz::test::kGlueKey;
using qxz::test::LoggedMachineTest;
using qxz::test::PdiError;
using qxz::test::QueryRawValue;
using qxz::test::RawValue;
using qxz::test::RegistryError;
using qxz::test::RegReadFailed;
using qxz::test::ScopedFaults;
using qxz::test::ScratchDriverKey;
using qxz::test::SetRawValue;
using qxz::test::TestEvent;
using qxz::test::UtilsError;
using Lines = std::vector<std::string>;

const char kGlueRanEvent[] = "QXZ_Glue_Ran";
const char kInstallerEvent[] = "QXZ_Installer_Running";
const char kInstallerMutex[] = "QXZ_Installation_Initializing";
const char kPinPathname[] = "D:\\Setup\\qxzpin14.exe";

class PinInstallTest : public LoggedMachineTest
{
protected:
    void SetUp() override
    {
        SetPinPathname(kPinPathname);
    }
    void TearDown() override
    {
        SetPinPathname("");
    }

    // The driver's Glue path exists; "PreloadPath" names it only when the
    // preload installer is to run this installation.
    void PrepareDriver(bool fPreloadPath = false)
    {
        m_sGluePath = m_tMachine.NewDirectory("glue") + "\\";
        SetGluePath(m_sGluePath);
        m_tGlue.Set("PreloadPath", fPreloadPath ? m_sGluePath : std::string("C:\\Elsewhere\\"));
    }
    void SetGluePath(const std::string& sGluePath)
    {
        SetRawValue(m_tDriver.Path(), "GluePath", REG_SZ, sGluePath + '\0');
    }

    RawValue DriverValue(const char* pszName) const
    {
        return QueryRawValue(m_tDriver.Path(), pszName);
    }
    bool HasDriverValue(const char* pszName) const
    {
        return DriverValue(pszName).lResult == ERROR_SUCCESS;
    }
    std::string DriverText(const char* pszName) const
    {
        const RawValue tValue = DriverValue(pszName);
        EXPECT_EQ(tValue.lResult, ERROR_SUCCESS) << pszName;
        EXPECT_EQ(tValue.dwType, static_cast<DWORD>(REG_SZ)) << pszName;
        return tValue.sData.c_str(); // without the terminating NUL
    }
    CQxCiString DriverName() const
    {
        return m_tDriver.DriverName().c_str();
    }

    GlueKeyValues m_tGlue;
    ScratchDriverKey m_tDriver;
    std::string m_sGluePath;
};

// ---- ConvertParameters: failures before the wait ----------------------------------

TEST_F(PinInstallTest, EmptyDriverNameTouchesNoKernelObject)
{
    const TestEvent tGlueRan(kGlueRanEvent, false);
    EXPECT_FALSE(ConvertParameters(""));
    EXPECT_FALSE(tGlueRan.IsSignalled());
    EXPECT_EQ(m_tLog.Lines(), Lines({InstallError("sDriverName.empty()")}));
}

enum class GluePath
{
    Absent,
    Empty,
    Missing,
    Existing
};

struct HandOffFailureCase
{
    const char* pszLabel;
    GluePath eGluePath;
    bool fInstallerSignalled; // with a "PreloadPath" other than the Glue path
    Lines (*pfnExpectedLines)(const std::string& sDriverKey);
};

// Test names in failure messages instead of bytes.
void PrintTo(const HandOffFailureCase& tCase, std::ostream* pStream)
{
    *pStream << tCase.pszLabel;
}

const HandOffFailureCase kHandOffFailures[] = {
    {"NoGluePath", GluePath::Absent, false,
     [](const std::string& sDriverKey) {
         return Lines({RegistryError("lResult != ERROR_SUCCESS"),
                       RegReadFailed(sDriverKey, "GluePath", ERROR_FILE_NOT_FOUND),
                       InstallError("RegGetStringValue( sRegKeyGlueDriver, g_sRegVnGluePath, &sGluePath ) == false")});
     }},
    {"EmptyGluePath", GluePath::Empty, false,
     [](const std::string&) { return Lines({InstallError("IsFilePresent( sGluePath ) == false")}); }},
    {"MissingGluePath", GluePath::Missing, false,
     [](const std::string&) { return Lines({InstallError("IsFilePresent( sGluePath ) == false")}); }},
    {"NoInstallType", GluePath::Existing, true,
     [](const std::string&) {
         return Lines({PdiError("sPreloadPath != sFixedGluePath"),
                       InstallError("GetInstallType( sGluePath, &eInstallType ) == false")});
     }},
};

class HandOffFailureTest : public PinInstallTest, public ::testing::WithParamInterface<HandOffFailureCase>
{
};

TEST_P(HandOffFailureTest, SignalsGlueThenFailsWithoutWaiting)
{
    const HandOffFailureCase& tCase = GetParam();
    switch (tCase.eGluePath)
    {
        case GluePath::Absent: break;
        case GluePath::Empty: SetGluePath(""); break;
        case GluePath::Missing: SetGluePath(m_tMachine.NewDirectory("glue") + "\\missing\\"); break;
        case GluePath::Existing: PrepareDriver(); break;
    }
    const TestEvent tGlueRan(kGlueRanEvent, false);
    const TestEvent tInstaller(kInstallerEvent, tCase.fInstallerSignalled);

    EXPECT_FALSE(ConvertParameters(DriverName()));
    EXPECT_TRUE(tGlueRan.IsSignalled());
    EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, kInstallerMutex), nullptr) << "the mutex was not to be touched";
    EXPECT_EQ(m_tLog.Lines(), tCase.pfnExpectedLines(m_tDriver.Path()));
    EXPECT_FALSE(HasDriverValue("pintimeout"));
}

INSTANTIATE_TEST_SUITE_P(Table, HandOffFailureTest, ::testing::ValuesIn(kHandOffFailures),
                         [](const auto& tInfo) { return std::string(tInfo.param.pszLabel); });

// ---- ConvertParameters: successful hand-offs --------------------------------------------

struct HandOffCase
{
    const char* pszLabel;
    bool fPreloadInstaller;           // the installer's event signalled and the Glue path is the preload path
    const char* pszOverrideLanguage;  // null: no "OverrideLanguage"
    const char* pszLanguageDirBefore; // null: no "languagedir" yet
    const char* pszLanguageDirAfter;  // null: none afterwards
    bool fOverrideMissingLogged;
};

void PrintTo(const HandOffCase& tCase, std::ostream* pStream)
{
    *pStream << tCase.pszLabel;
}

const HandOffCase kHandOffs[] = {
    {"OverrideCopied", false, "German", nullptr, "German", false},
    {"OverrideReplacesLanguageDir", false, "German", "French", "German", false},
    {"NoOverrideLeavesLanguageDir", false, nullptr, "French", "French", true},
    {"NoOverrideNoLanguageDir", false, nullptr, nullptr, nullptr, true},
    {"EmptyOverrideNotCopied", false, "", "French", "French", false},
    {"PreloadInstaller", true, "German", nullptr, "German", false},
};

class HandOffTest : public PinInstallTest, public ::testing::WithParamInterface<HandOffCase>
{
};

TEST_P(HandOffTest, CopiesLanguageOverrideAfterTheWait)
{
    const HandOffCase& tCase = GetParam();
    PrepareDriver(tCase.fPreloadInstaller);
    if (tCase.pszOverrideLanguage != nullptr)
        m_tGlue.Set("OverrideLanguage", tCase.pszOverrideLanguage);
    if (tCase.pszLanguageDirBefore != nullptr)
        SetRawValue(m_tDriver.Path(), "languagedir", REG_SZ, std::string(tCase.pszLanguageDirBefore) + '\0');
    const TestEvent tGlueRan(kGlueRanEvent, false);
    std::unique_ptr<TestEvent> pInstaller;
    if (tCase.fPreloadInstaller)
        pInstaller = std::make_unique<TestEvent>(kInstallerEvent, true);

    EXPECT_TRUE(ConvertParameters(DriverName()));

    EXPECT_TRUE(tGlueRan.IsSignalled());
    if (tCase.pszLanguageDirAfter != nullptr)
    {
        EXPECT_EQ(DriverText("languagedir"), tCase.pszLanguageDirAfter);
    }
    else
    {
        EXPECT_FALSE(HasDriverValue("languagedir"));
    }

    const RawValue tPinTimeout = DriverValue("pintimeout");
    if (tCase.fPreloadInstaller)
    {
        EXPECT_EQ(tPinTimeout.dwType, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(tPinTimeout.sData, std::string("\xb4\0\0\0", 4));
    }
    else
    {
        EXPECT_NE(tPinTimeout.lResult, ERROR_SUCCESS);
    }

    Lines vExpected;
    if (tCase.fOverrideMissingLogged)
        vExpected.push_back(RegReadFailed(kGlueKey, "OverrideLanguage", ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(m_tLog.Lines(), vExpected);
}

INSTANTIATE_TEST_SUITE_P(Table, HandOffTest, ::testing::ValuesIn(kHandOffs),
                         [](const auto& tInfo) { return std::string(tInfo.param.pszLabel); });

// ---- ConvertParameters: the installer's mutex --------------------------------------------

// Another thread of the test plays the installer that holds the mutex.
TEST_F(PinInstallTest, PinTimeoutIsWrittenBeforeTheWait)
{
    PrepareDriver(true);
    m_tGlue.Set("OverrideLanguage", "German");
    const TestEvent tInstaller(kInstallerEvent, true);

    std::promise<void> tOwned;
    std::atomic<bool> fSeenWhileHeld{false};
    std::thread tInstallerThread([&] {
        const HANDLE hMutex = CreateMutexA(nullptr, TRUE, kInstallerMutex);
        tOwned.set_value();
        // Holds the mutex until "pintimeout" appears (bounded, so that a Pin
        // that writes it only after the wait cannot hang the test).
        for (int iPoll = 0; iPoll < 3000 && !fSeenWhileHeld; ++iPoll)
        {
            if (HasDriverValue("pintimeout"))
                fSeenWhileHeld = true;
            else
                Sleep(10);
        }
        ReleaseMutex(hMutex);
        CloseHandle(hMutex);
    });
    tOwned.get_future().wait();

    EXPECT_TRUE(ConvertParameters(DriverName()));
    tInstallerThread.join();
    EXPECT_TRUE(fSeenWhileHeld);
    EXPECT_EQ(DriverText("languagedir"), "German");
    EXPECT_EQ(m_tLog.Lines(), Lines());
}

TEST_F(PinInstallTest, InstallerHoldingTheMutexMakesTheWaitTimeOut)
{
    PrepareDriver();
    m_tGlue.Set("OverrideLanguage", "German");

    std::promise<void> tOwned;
    std::promise<void> tDone;
    std::thread tInstallerThread([&] {
        const HANDLE hMutex = CreateMutexA(nullptr, TRUE, kInstallerMutex);
        tOwned.set_value();
        tDone.get_future().wait();
        ReleaseMutex(hMutex);
        CloseHandle(hMutex);
    });
    tOwned.get_future().wait();

    EXPECT_FALSE(ConvertParameters(DriverName()));
    tDone.set_value();
    tInstallerThread.join();

    EXPECT_FALSE(HasDriverValue("languagedir"));
    EXPECT_EQ(m_tLog.Lines(), Lines({InstallError("dwWaitResult == WAIT_TIMEOUT")}));
}

TEST_F(PinInstallTest, AbandonedMutexFailsTheHandOff)
{
    PrepareDriver();
    m_tGlue.Set("OverrideLanguage", "German");
    // Owned by a thread that ends without releasing it; the test's handle
    // keeps the mutex in existence.
    HANDLE hMutex = nullptr;
    std::thread([&] { hMutex = CreateMutexA(nullptr, TRUE, kInstallerMutex); }).join();
    ASSERT_NE(hMutex, nullptr);

    EXPECT_FALSE(ConvertParameters(DriverName()));
    CloseHandle(hMutex);

    EXPECT_FALSE(HasDriverValue("languagedir"));
    EXPECT_EQ(m_tLog.Lines(), Lines({InstallError("dwWaitResult == WAIT_ABANDONED")}));
}

TEST_F(PinInstallTest, MutexAcquiredFromTheInstallerIsReleasedAgain)
{
    PrepareDriver();
    // The installer has created the mutex and released it.
    const HANDLE hMutex = CreateMutexA(nullptr, FALSE, kInstallerMutex);
    ASSERT_NE(hMutex, nullptr);

    EXPECT_TRUE(ConvertParameters(DriverName()));

    DWORD dwInstallerWait = WAIT_FAILED;
    std::thread([&] {
        dwInstallerWait = WaitForSingleObject(hMutex, 0);
        if (dwInstallerWait == WAIT_OBJECT_0)
            ReleaseMutex(hMutex);
    }).join();
    CloseHandle(hMutex);
    EXPECT_EQ(dwInstallerWait, static_cast<DWORD>(WAIT_OBJECT_0));
}

// ---- ConvertParameters: platform failures (emulated machine) ------------------------------

struct HandOffFaultCase
{
    const char* pszLabel;
    const char* pszFaults;
    bool fPreloadInstaller;
    bool fResult;
    bool fGlueSignalled;
    Lines (*pfnExpectedLines)(const std::string& sDriverKey);
};

void PrintTo(const HandOffFaultCase& tCase, std::ostream* pStream)
{
    *pStream << tCase.pszLabel;
}

const HandOffFaultCase kHandOffFaults[] = {
    {"CreateEvent", "CreateEventA@QXZ_Glue_Ran=5", false, false, false,
     [](const std::string&) { return Lines({InstallError("hEventGlueRan == 0")}); }},
    {"SetEvent", "SetEvent=6", false, false, false,
     [](const std::string&) { return Lines({InstallError("SetEvent( hEventGlueRan ) == FALSE")}); }},
    {"CreateMutex", "CreateMutexA@QXZ_Installation_Initializing=5", false, false, true,
     [](const std::string&) { return Lines({InstallError("hMutexInstallerInitializing == 0")}); }},
    {"Wait", "WaitForSingleObject=6", false, false, true,
     [](const std::string&) { return Lines({InstallError("dwWaitResult == WAIT_FAILED")}); }},
    {"LanguageDirWrite", "RegSetValueExA@languagedir=5", false, false, true,
     [](const std::string& sDriverKey) {
         return Lines(
             {RegistryError("lResult != ERROR_SUCCESS"),
              "RegSetStringValue (" + sDriverKey + ", languagedir, German) Failed, lResult = 5",
              InstallError(
                  "RegSetStringValue( sRegKeyGlueDriver, g_sSwitchLanguageDir, sOverrideLanguage ) == false")});
     }},
    // A failed "pintimeout" is only logged: the hand-off goes on.
    {"PinTimeoutWrite", "RegSetValueExA@pintimeout=5", true, true, true,
     [](const std::string& sDriverKey) {
         return Lines({RegistryError("lResult != ERROR_SUCCESS"),
                       "RegSetDwordValue (" + sDriverKey + ", pintimeout, 0x000000b4) Failed, lResult = 5"});
     }},
};

class HandOffFaultTest : public PinInstallTest, public ::testing::WithParamInterface<HandOffFaultCase>
{
};

TEST_P(HandOffFaultTest, LogsTheFailedStep)
{
    QXZ_SKIP_UNLESS_EMULATED();
    const HandOffFaultCase& tCase = GetParam();
    PrepareDriver(tCase.fPreloadInstaller);
    m_tGlue.Set("OverrideLanguage", "German");
    const TestEvent tGlueRan(kGlueRanEvent, false);
    std::unique_ptr<TestEvent> pInstaller;
    if (tCase.fPreloadInstaller)
        pInstaller = std::make_unique<TestEvent>(kInstallerEvent, true);

    bool fResult = false;
    {
        const ScopedFaults tFaults(tCase.pszFaults);
        fResult = ConvertParameters(DriverName());
    }
    EXPECT_EQ(fResult, tCase.fResult);
    EXPECT_EQ(tGlueRan.IsSignalled(), tCase.fGlueSignalled);
    EXPECT_EQ(m_tLog.Lines(), tCase.pfnExpectedLines(m_tDriver.Path()));
}

INSTANTIATE_TEST_SUITE_P(Table, HandOffFaultTest, ::testing::ValuesIn(kHandOffFaults),
                         [](const auto& tInfo) { return std::string(tInfo.param.pszLabel); });

// ---- Registrations -----------------------------------------------------------------------

TEST_F(PinInstallTest, RegistrationsRefuseMissingDriverOrPinPathname)
{
    const struct
    {
        const char* pszName;
        bool (*pfnRegister)(const CQxCiString&);
    } kRegistrations[] = {{"RegisterPin", RegisterPin}, {"RegisterPdi", RegisterPdi}, {"RegisterGhoul", RegisterGhoul}};
    Lines vExpected;
    for (const auto& tRegistration : kRegistrations)
    {
        EXPECT_FALSE(tRegistration.pfnRegister("")) << tRegistration.pszName;
        vExpected.push_back(InstallError("sDriverName.empty()"));
        SetPinPathname("");
        EXPECT_FALSE(tRegistration.pfnRegister(DriverName())) << tRegistration.pszName;
        vExpected.push_back(InstallError("sPinPathname.empty()"));
        SetPinPathname(kPinPathname);
    }
    EXPECT_EQ(m_tLog.Lines(), vExpected);
    EXPECT_FALSE(qxz::test::KeyExists(m_tDriver.Path()));
}

struct SiblingCase
{
    const char* pszLabel;
    bool (*pfnRegister)(const CQxCiString&);
    const char* pszValueName;
    const char* pszPathname; // registered for kPinPathname
    const char* pszPathVariable;
};

void PrintTo(const SiblingCase& tCase, std::ostream* pStream)
{
    *pStream << tCase.pszLabel;
}

const SiblingCase kSiblings[] = {
    {"Pdi", RegisterPdi, "pdipathname", "D:\\Setup\\qxzpdi14.exe", "sPdiPathname"},
    {"Ghoul", RegisterGhoul, "ghoulpathname", "D:\\Setup\\qxzghl14.exe", "sGhoulPathname"},
};

class SiblingTest : public PinInstallTest, public ::testing::WithParamInterface<SiblingCase>
{
};

TEST_P(SiblingTest, RegistersTheSiblingBesideThePin)
{
    const SiblingCase& tCase = GetParam();
    EXPECT_TRUE(tCase.pfnRegister(DriverName()));
    EXPECT_EQ(DriverText(tCase.pszValueName), tCase.pszPathname);
    EXPECT_EQ(m_tLog.Lines(), Lines());
}

TEST_P(SiblingTest, PinPathnameWithoutBackslashHasNoDirectory)
{
    const SiblingCase& tCase = GetParam();
    const std::string sVariable = tCase.pszPathVariable;
    Lines vExpected;
    // A bare name, and one written with forward slashes only.
    for (const char* pszPinPathname : {"qxzpin14.exe", "D:/Setup/qxzpin14.exe"})
    {
        SetPinPathname(pszPinPathname);
        EXPECT_FALSE(tCase.pfnRegister(DriverName())) << pszPinPathname;
        vExpected.push_back(UtilsError("isPathname == CQxCiString::npos"));
        vExpected.push_back(InstallError("GetPath( sPinPathname, &" + sVariable + " ) == false"));
    }
    EXPECT_FALSE(HasDriverValue(tCase.pszValueName));
    EXPECT_EQ(m_tLog.Lines(), vExpected);
}

TEST_P(SiblingTest, FailedWriteIsLoggedUnderTheSiblingsNames)
{
    QXZ_SKIP_UNLESS_EMULATED();
    const SiblingCase& tCase = GetParam();
    const std::string sValueName = tCase.pszValueName;
    const std::string sVariable = tCase.pszPathVariable;
    bool fResult = true;
    {
        const ScopedFaults tFaults("RegSetValueExA@" + sValueName + "=5");
        fResult = tCase.pfnRegister(DriverName());
    }
    EXPECT_FALSE(fResult);
    const std::string sSwitch = sValueName == "pdipathname" ? "g_sSwitchPdiPathname" : "g_sSwitchGhoulPathname";
    EXPECT_EQ(m_tLog.Lines(), Lines({RegistryError("lResult != ERROR_SUCCESS"),
                                     "RegSetStringValue (" + m_tDriver.Path() + ", " + sValueName + ", " +
                                         tCase.pszPathname + ") Failed, lResult = 5",
                                     InstallError("RegSetStringValue( sRegKeyGlueDriver, " + sSwitch + ", " +
                                                  sVariable + " ) == false")}));
}

INSTANTIATE_TEST_SUITE_P(Table, SiblingTest, ::testing::ValuesIn(kSiblings),
                         [](const auto& tInfo) { return std::string(tInfo.param.pszLabel); });

// ---- PreInstall ----------------------------------------------------------------------------

TEST_F(PinInstallTest, PreInstallRegistersAllAfterTheHandOff)
{
    PrepareDriver();
    m_tGlue.Set("OverrideLanguage", "German");
    const TestEvent tGlueRan(kGlueRanEvent, false);

    EXPECT_TRUE(PreInstall(DriverName()));

    EXPECT_TRUE(tGlueRan.IsSignalled());
    EXPECT_EQ(DriverText("pinpathname"), "D:\\Setup\\qxzpin14.exe");
    EXPECT_EQ(DriverText("pdipathname"), "D:\\Setup\\qxzpdi14.exe");
    EXPECT_EQ(DriverText("ghoulpathname"), "D:\\Setup\\qxzghl14.exe");
    EXPECT_EQ(DriverText("runghoul"), "true");
    EXPECT_EQ(DriverText("languagedir"), "German");
    EXPECT_EQ(m_tLog.Lines(), Lines());
}

TEST_F(PinInstallTest, PreInstallRefusesEmptyDriverName)
{
    const TestEvent tGlueRan(kGlueRanEvent, false);
    EXPECT_FALSE(PreInstall(""));
    EXPECT_FALSE(tGlueRan.IsSignalled());
    EXPECT_EQ(m_tLog.Lines(), Lines({InstallError("sDriverName.empty()")}));
}

TEST_F(PinInstallTest, FailedHandOffRegistersNothing)
{
    SetGluePath("");
    EXPECT_FALSE(PreInstall(DriverName()));
    for (const char* pszName : {"pinpathname", "pdipathname", "ghoulpathname", "runghoul"})
    {
        EXPECT_FALSE(HasDriverValue(pszName)) << pszName;
    }
    EXPECT_EQ(m_tLog.Lines(), Lines({InstallError("IsFilePresent( sGluePath ) == false"),
                                     InstallError("ConvertParameters( sDriverName ) == false")}));
}

TEST_F(PinInstallTest, BarePinPathnameStopsAfterRegisteringThePin)
{
    PrepareDriver();
    m_tGlue.Set("OverrideLanguage", "German");
    SetPinPathname("qxzpin14.exe");

    EXPECT_FALSE(PreInstall(DriverName()));

    EXPECT_EQ(DriverText("pinpathname"), "qxzpin14.exe");
    for (const char* pszName : {"pdipathname", "ghoulpathname", "runghoul"})
    {
        EXPECT_FALSE(HasDriverValue(pszName)) << pszName;
    }
    EXPECT_EQ(m_tLog.Lines(), Lines({UtilsError("isPathname == CQxCiString::npos"),
                                     InstallError("GetPath( sPinPathname, &sPdiPathname ) == false"),
                                     InstallError("RegisterPdi( sDriverName ) == false")}));
}

// Failing each write in turn shows the order of the writes, what stays
// written and the stack of lines each failure leaves.
TEST_F(PinInstallTest, FailedWriteKeepsTheEarlierWrites)
{
    QXZ_SKIP_UNLESS_EMULATED();
    m_tGlue.Set("OverrideLanguage", "German");
    const struct
    {
        const char* pszValueName;
        const char* pszData;
        std::string sOwnLine; // the failing step's own line, before PreInstall's
        std::string sPreInstallLine;
    } kSteps[] = {
        {"pinpathname", "D:\\Setup\\qxzpin14.exe",
         InstallError("RegSetStringValue( sRegKeyGlueDriver, g_sSwitchPinPathname, sPinPathname ) == false"),
         InstallError("RegisterPin( sDriverName ) == false")},
        {"pdipathname", "D:\\Setup\\qxzpdi14.exe",
         InstallError("RegSetStringValue( sRegKeyGlueDriver, g_sSwitchPdiPathname, sPdiPathname ) == false"),
         InstallError("RegisterPdi( sDriverName ) == false")},
        {"ghoulpathname", "D:\\Setup\\qxzghl14.exe",
         InstallError("RegSetStringValue( sRegKeyGlueDriver, g_sSwitchGhoulPathname, sGhoulPathname ) == false"),
         InstallError("RegisterGhoul( sDriverName ) == false")},
        {"runghoul", "true", "",
         InstallError(
             "RegSetStringValue( g_sRegKeyGlue + \"\\\\\" + sDriverName, g_sSwitchRunGhoul,\"true\" ) == false")},
    };
    for (size_t iFailing = 0; iFailing < std::size(kSteps); ++iFailing)
    {
        qxz::test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, m_tDriver.Path());
        PrepareDriver();
        const std::string sFailing = kSteps[iFailing].pszValueName;
        CapturedLog tLog(m_tMachine);
        bool fResult = true;
        {
            const ScopedFaults tFaults("RegSetValueExA@" + sFailing + "=5");
            fResult = PreInstall(DriverName());
        }
        EXPECT_FALSE(fResult) << sFailing;
        for (size_t iStep = 0; iStep < std::size(kSteps); ++iStep)
        {
            if (iStep < iFailing)
            {
                EXPECT_EQ(DriverText(kSteps[iStep].pszValueName), kSteps[iStep].pszData) << sFailing;
            }
            else
            {
                EXPECT_FALSE(HasDriverValue(kSteps[iStep].pszValueName))
                    << kSteps[iStep].pszValueName << " after " << sFailing;
            }
        }
        Lines vExpected = {RegistryError("lResult != ERROR_SUCCESS"), "RegSetStringValue (" + m_tDriver.Path() + ", " +
                                                                          sFailing + ", " + kSteps[iFailing].pszData +
                                                                          ") Failed, lResult = 5"};
        if (!kSteps[iFailing].sOwnLine.empty())
            vExpected.push_back(kSteps[iFailing].sOwnLine);
        vExpected.push_back(kSteps[iFailing].sPreInstallLine);
        EXPECT_EQ(tLog.Lines(), vExpected) << sFailing;
    }
}

} // namespace
