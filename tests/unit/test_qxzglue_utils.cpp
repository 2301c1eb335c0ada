// Driver parameters, directory parts, file presence and the OS class.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32.h"
#include "qxzglue/qxzglue_utils.h"
#include "tests/support/scoped_faults.h"
#include "tests/support/test_machine.h"
#include "tests/unit/qxzglue_test_support.h"

#ifndef _WIN32
#include "platform/posix/kernel32/version.h"
#endif

namespace
{

using qxz::test::IsEmulatedMachine;
using qxz::test::LoggedMachineTest;
using qxz::test::RegistryError;
using qxz::test::ScopedFaults;
using qxz::test::ScratchDriverKey;
using qxz::test::SetRawValue;
using qxz::test::UtilsError;

using Lines = std::vector<std::string>;

const char kUnchanged[] = "value before the call";

std::string Text(const CQxCiString& sText)
{
    return std::string(sText.c_str(), sText.length());
}

std::string RegSz(const std::string& sText)
{
    return sText + '\0';
}

class UtilsTest : public LoggedMachineTest
{
protected:
    CQxCiString m_sValue = kUnchanged;
};

// ---- Driver parameters ------------------------------------------------------------

class DriverParameterTest : public UtilsTest
{
protected:
    bool Get(const char* pszCmdLine, const char* pszParameterName)
    {
        return GetDriverParameter(pszCmdLine, m_tKey.DriverName().c_str(), pszParameterName, &m_sValue);
    }

    ScratchDriverKey m_tKey;
};

// The one builder of a driver's key: the Glue key, one backslash, the name
// as it is (blanks, a backslash and bytes above 0x7F kept).
TEST(RegKeyGlueDriverTest, IsTheGlueKeyABackslashAndTheName)
{
    const std::pair<const char*, const char*> atCases[] = {
        {"Model A", "SOFTWARE\\Vorquelle\\QXZ\\Glue\\Model A"},
        {"", "SOFTWARE\\Vorquelle\\QXZ\\Glue\\"},
        {"a\\b", "SOFTWARE\\Vorquelle\\QXZ\\Glue\\a\\b"},
        {"Mod\xE8le %s", "SOFTWARE\\Vorquelle\\QXZ\\Glue\\Mod\xE8le %s"},
    };
    for (const auto& [pszDriver, pszKey] : atCases)
        EXPECT_EQ(std::string(RegKeyGlueDriver(pszDriver).c_str()), pszKey) << pszDriver;
}

TEST_F(DriverParameterTest, CommandLineWinsAndTheRegistryIsNotRead)
{
    SetRawValue(m_tKey.Path(), "port", REG_SZ, RegSz("LPT1:"));
    const CQxCiString sNoSuchDriver = (m_tKey.DriverName() + "-absent").c_str();

    EXPECT_TRUE(Get("-printerdriver=x -port=USB001", "port"));
    EXPECT_EQ(Text(m_sValue), "USB001");
    // Had the registry been read for a driver without a key, it would have
    // logged its failure to open the key.
    EXPECT_TRUE(GetDriverParameter("-port=USB002", sNoSuchDriver, "port", &m_sValue));
    EXPECT_EQ(Text(m_sValue), "USB002");

    EXPECT_EQ(m_tLog.Lines(), Lines{});
}

TEST_F(DriverParameterTest, RegistryValueStandsInForAnAbsentSwitch)
{
    SetRawValue(m_tKey.Path(), "languagedir", REG_SZ, RegSz("C:\\Lang\\DEU"));

    EXPECT_TRUE(Get("-printerdriver=x -port=USB001", "LanguageDir"));

    EXPECT_EQ(Text(m_sValue), "C:\\Lang\\DEU");
    EXPECT_EQ(m_tLog.Lines(), Lines{});
}

TEST_F(DriverParameterTest, MalformedOrMissingCommandLineFallsBackToTheRegistry)
{
    SetRawValue(m_tKey.Path(), "port", REG_SZ, RegSz("USB003"));
    const struct
    {
        const char* pszCmdLine;
        const char* pszCondition; // FindCmdLineVar's own line
    } kCases[] = {
        {"-port=a=b", "isValue == CQxCiString::npos"},
        {"-product=x -port=", "isCmdLine >= sCmdLine.length()"},
        {"", "sCmdLine.empty()"},
    };
    Lines vExpected;
    for (const auto& tCase : kCases)
    {
        m_sValue = kUnchanged;

        EXPECT_TRUE(Get(tCase.pszCmdLine, "port")) << tCase.pszCmdLine;

        EXPECT_EQ(Text(m_sValue), "USB003");
        vExpected.push_back(UtilsError(tCase.pszCondition));
    }
    EXPECT_EQ(m_tLog.Lines(), vExpected);
}

TEST_F(DriverParameterTest, EmptyValueCountsAsNone)
{
    SetRawValue(m_tKey.Path(), "port", REG_SZ, RegSz("USB004"));
    SetRawValue(m_tKey.Path(), "product", REG_SZ, RegSz(""));

    // An empty switch does not fall back to the registry's value.
    EXPECT_FALSE(Get("-port= -printerdriver=x", "port"));
    EXPECT_FALSE(Get("-port=USB001", "product"));

    EXPECT_EQ(Text(m_sValue), kUnchanged);
    EXPECT_EQ(m_tLog.Lines(), (Lines{UtilsError("sParameterValue.empty()"), UtilsError("sParameterValue.empty()")}));
}

TEST_F(DriverParameterTest, AbsentEverywhere)
{
    SetRawValue(m_tKey.Path(), "GluePath", REG_SZ, RegSz("C:\\Glue"));
    const CQxCiString sNoSuchDriver = (m_tKey.DriverName() + "-absent").c_str();

    // The driver's key exists but lacks the value: silent.
    EXPECT_FALSE(Get("-port=USB001", "product"));
    EXPECT_EQ(m_tLog.Lines(), Lines{});

    // The driver's key does not exist: the registry reports it.
    EXPECT_FALSE(GetDriverParameter("-port=USB001", sNoSuchDriver, "product", &m_sValue));
    EXPECT_EQ(m_tLog.Lines(), Lines{RegistryError("lResult != ERROR_SUCCESS")});

    EXPECT_EQ(Text(m_sValue), kUnchanged);
}

TEST_F(DriverParameterTest, ArgumentChecks)
{
    const struct
    {
        const char* pszDriverName;
        const char* pszParameterName;
        CQxCiString* psValue;
        const char* pszCondition;
    } kCases[] = {
        {"", "", nullptr, "sParameterName.empty()"},
        {"", "port", nullptr, "psParameterValue == 0"},
        {"", "port", &m_sValue, "sDriverName.empty()"},
    };
    Lines vExpected;
    for (const auto& tCase : kCases)
    {
        EXPECT_FALSE(GetDriverParameter("-product=x", tCase.pszDriverName, tCase.pszParameterName, tCase.psValue))
            << tCase.pszCondition;
        vExpected.push_back(UtilsError(tCase.pszCondition));
    }
    EXPECT_EQ(m_tLog.Lines(), vExpected);
    EXPECT_EQ(Text(m_sValue), kUnchanged);
}

TEST_F(DriverParameterTest, IsDriverParameterSet)
{
    SetRawValue(m_tKey.Path(), "product", REG_SZ, RegSz("Model A series"));
    const CQxCiString sCmdLine = "-printerdriver=Model A -port=USB001";

    EXPECT_TRUE(IsDriverParameterSet(sCmdLine, "", "port"));
    EXPECT_TRUE(IsDriverParameterSet(sCmdLine, m_tKey.DriverName().c_str(), "product"));
    EXPECT_EQ(m_tLog.Lines(), Lines{});

    // Without a driver name only the command line counts.
    EXPECT_FALSE(IsDriverParameterSet(sCmdLine, "", "product"));
    EXPECT_EQ(m_tLog.Lines(), Lines{UtilsError("sDriverName.empty()")});
}

// ---- Directory part ---------------------------------------------------------------

struct PathCase
{
    const char* pszPathname;
    const char* pszPath;      // the directory part; null when GetPath fails
    const char* pszCondition; // its error line's condition
};

std::ostream& operator<<(std::ostream& os, const PathCase& tCase)
{
    return os << '"' << tCase.pszPathname << '"';
}

class GetPathTest : public UtilsTest, public ::testing::WithParamInterface<PathCase>
{
};

TEST_P(GetPathTest, CutsAfterTheLastBackslash)
{
    const PathCase& tCase = GetParam();

    EXPECT_EQ(GetPath(tCase.pszPathname, &m_sValue), tCase.pszPath != nullptr);

    EXPECT_EQ(Text(m_sValue), tCase.pszPath != nullptr ? tCase.pszPath : kUnchanged);
    EXPECT_EQ(m_tLog.Lines(), tCase.pszCondition != nullptr ? Lines{UtilsError(tCase.pszCondition)} : Lines{});
}

INSTANTIATE_TEST_SUITE_P(
    Pathnames, GetPathTest,
    ::testing::Values(PathCase{"C:\\Program Files\\QXZ\\qxzpin14.exe", "C:\\Program Files\\QXZ\\", nullptr},
                      PathCase{"C:\\Program Files\\QXZ\\", "C:\\Program Files\\QXZ\\", nullptr},
                      PathCase{"\\qxzpin14.exe", "\\", nullptr}, PathCase{"C:\\a/b/qxzpin14.exe", "C:\\", nullptr},
                      PathCase{"C:/a/qxzpin14.exe", nullptr, "isPathname == CQxCiString::npos"},
                      PathCase{"qxzpin14.exe", nullptr, "isPathname == CQxCiString::npos"},
                      PathCase{"", nullptr, "sPathname.empty()"}));

TEST_F(UtilsTest, GetPathNeedsSomewhereToPutTheResult)
{
    EXPECT_FALSE(GetPath("C:\\a\\b", nullptr));

    EXPECT_EQ(m_tLog.Lines(), Lines{UtilsError("psPath == 0")});
}

// ---- File presence ----------------------------------------------------------------

TEST_F(UtilsTest, IsFilePresent)
{
    const std::string sDirectory = m_tMachine.NewDirectory("present");
    const std::string sEmptyDirectory = m_tMachine.NewDirectory("empty");
    ASSERT_FALSE(sDirectory.empty());
    ASSERT_FALSE(sEmptyDirectory.empty());
    const std::string sFile = sDirectory + "\\qxzghl14.exe";
    const HANDLE hFile =
        CreateFileA(sFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    CloseHandle(hFile);

    const struct
    {
        std::string sPathname;
        bool fPresent;
    } kCases[] = {
        {sFile, true},
        {sDirectory, true},
        {sDirectory + "\\", true},
        {sEmptyDirectory + "\\", true}, // found through its "." entry
        {sDirectory + "\\*.exe", true}, // wildcards stay wildcards
        {sDirectory + "\\*.dll", false},
        {sDirectory + "\\qxzpdi14.exe", false},
        {sFile + "\\", false}, // a file has no entries
        {sDirectory + "\\missing\\", false},
        {"", false},
    };
    for (const auto& tCase : kCases)
    {
        EXPECT_EQ(IsFilePresent(tCase.sPathname.c_str()), tCase.fPresent) << '"' << tCase.sPathname << '"';
    }
    EXPECT_EQ(m_tLog.Lines(), Lines{});
}

// ---- OS class ---------------------------------------------------------------------

TEST(OsClass, ValuesAreFixed)
{
    EXPECT_EQ(OsClass_Win95, 0);
    EXPECT_EQ(OsClass_Win98, 1);
    EXPECT_EQ(OsClass_WinMe, 2);
    EXPECT_EQ(OsClass_WinNt4, 3);
    EXPECT_EQ(OsClass_Win2000, 4);
    EXPECT_EQ(OsClass_WinXp, 5);
    EXPECT_EQ(OsClass_Unknown, 6);
}

TEST_F(UtilsTest, RunningWindowsIsOfTheNtFamily)
{
    // Every Windows that runs this test, and the emulated machine's default,
    // is NT 5 or later.
    const OsClass eOsClass = GetOsClass();

    EXPECT_TRUE(eOsClass == OsClass_Win2000 || eOsClass == OsClass_WinXp) << eOsClass;
    EXPECT_EQ(m_tLog.Lines(), Lines{});
}

TEST_F(UtilsTest, FailedVersionQueryGivesUnknown)
{
    if (!IsEmulatedMachine())
        GTEST_SKIP() << "needs an injected fault";
    ScopedFaults tFaults("GetVersionExA=" + std::to_string(ERROR_INVALID_PARAMETER));

    EXPECT_EQ(GetOsClass(), OsClass_Unknown);

    EXPECT_EQ(m_tLog.Lines(), Lines{UtilsError("GetVersionEx( &tOsVersion ) == 0")});
}

#ifndef _WIN32
// The emulated machine reports whichever version it is set to.
struct VersionCase
{
    const char* pszVersion; // PLATFORM:MAJOR.MINOR.BUILD
    OsClass eOsClass;
    const char* pszCondition; // its error line's condition, if any
};

std::ostream& operator<<(std::ostream& os, const VersionCase& tCase)
{
    return os << tCase.pszVersion;
}

class OsClassTest : public UtilsTest, public ::testing::WithParamInterface<VersionCase>
{
};

TEST_P(OsClassTest, ClassifiesTheReportedVersion)
{
    const VersionCase& tCase = GetParam();
    ASSERT_EQ(qxz::posix::SetMachineVersion(tCase.pszVersion), static_cast<DWORD>(ERROR_SUCCESS));

    EXPECT_EQ(GetOsClass(), tCase.eOsClass);

    EXPECT_EQ(m_tLog.Lines(), tCase.pszCondition != nullptr ? Lines{UtilsError(tCase.pszCondition)} : Lines{});
}

const char kOtherPlatform[] =
    "(tOsVersion.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) && (tOsVersion.dwPlatformId != VER_PLATFORM_WIN32_NT)";

INSTANTIATE_TEST_SUITE_P(
    Versions, OsClassTest,
    ::testing::Values(
        VersionCase{"1:4.0.950", OsClass_Win95, nullptr}, VersionCase{"1:4.10.1998", OsClass_Win98, nullptr},
        VersionCase{"1:4.90.3000", OsClass_WinMe, nullptr}, VersionCase{"1:4.5.0", OsClass_Unknown, nullptr},
        VersionCase{"2:3.51.1057", OsClass_Unknown, "tOsVersion.dwMajorVersion < 4"},
        VersionCase{"2:4.0.1381", OsClass_WinNt4, nullptr}, VersionCase{"2:4.10.0", OsClass_WinNt4, nullptr},
        VersionCase{"2:5.0.2195", OsClass_Win2000, nullptr}, VersionCase{"2:5.1.2600", OsClass_WinXp, nullptr},
        VersionCase{"2:6.0.6000", OsClass_Win2000, nullptr}, VersionCase{"2:6.1.7601", OsClass_WinXp, nullptr},
        VersionCase{"2:6.2.9200", OsClass_WinXp, nullptr}, VersionCase{"2:10.0.19045", OsClass_Win2000, nullptr},
        VersionCase{"0:3.10.0", OsClass_Unknown, kOtherPlatform},
        VersionCase{"3:4.0.0", OsClass_Unknown, kOtherPlatform}));
#endif

} // namespace
