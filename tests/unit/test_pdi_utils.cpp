// GetInstallType: the decision table, the preparation of the two paths, the
// short-name comparison of Windows 95, 98 and Me, and every logged failure.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "log/log_file.h"
#include "pdi/pdi_utils.h"
#include "platform/win32.h"
#include "tests/support/scoped_faults.h"
#include "tests/support/test_machine.h"
#include "tests/unit/pin_test_support.h"
#include "tests/unit/qxzglue_test_support.h"

#ifndef _WIN32
#include "platform/posix/kernel32/version.h"
#endif

namespace
{

using qxz::test::GlueKeyValues;
using qxz::test::kGlueKey;
using qxz::test::LoggedMachineTest;
using qxz::test::PdiError;
using qxz::test::RegReadFailed;
using qxz::test::TestEvent;
using Lines = std::vector<std::string>;

const char kInstallerEvent[] = "QXZ_Installer_Running";
const char kShortPathFailed[] = "GetShortPathName( sFixedGluePath.c_str(), szShortPath, _MAX_PATH ) == 0";

class GetInstallTypeTest : public LoggedMachineTest
{
protected:
    GlueKeyValues m_tGlue;
};

// ---- Decision table ---------------------------------------------------------------

enum class Event
{
    Absent,
    Unsignalled,
    Signalled
};

struct DecisionCase
{
    const char* pszLabel;
    Event eEvent;
    const char* pszPreloadPath;         // null: no "PreloadPath" value
    const char* pszRunPreloadInstaller; // null: no "RunPreloadInstaller" value
    bool fResult;
    InstallType eType; // stored on success; left alone on failure
    Lines vLines;
};

// Test names in failure messages instead of bytes.
void PrintTo(const DecisionCase& tCase, std::ostream* pStream)
{
    *pStream << tCase.pszLabel;
}

const char kGluePath[] = "C:\\Drivers\\Glue\\";
const char kSamePath[] = "c:\\DRIVERS\\glue"; // the Glue path once it has gained its backslash
const char kOtherPath[] = "C:\\Drivers\\Other";

const Lines kPreloadMissing = {RegReadFailed(kGlueKey, "PreloadPath", ERROR_FILE_NOT_FOUND)};

const DecisionCase kDecisionCases[] = {
    {"NoEventOtherPath", Event::Absent, kOtherPath, "true", true, InstallType_Other, {}},
    {"NoEventNoPreloadPath", Event::Absent, nullptr, "true", true, InstallType_Other, kPreloadMissing},
    {"NoEventRunInCapitals", Event::Absent, kSamePath, "TRUE", true, InstallType_PreloadRunInstaller, {}},
    {"NoEventRunAbsent", Event::Absent, kSamePath, nullptr, true, InstallType_Preload, {}},
    {"NoEventRunLeadingBlank", Event::Absent, kSamePath, " true", true, InstallType_Preload, {}},
    {"NoEventRunFalse", Event::Absent, kSamePath, "false", true, InstallType_Preload, {}},
    {"UnsignalledSamePath", Event::Unsignalled, kSamePath, "true", true, InstallType_Other, {}},
    {"UnsignalledNoPreloadPath", Event::Unsignalled, nullptr, nullptr, true, InstallType_Other, kPreloadMissing},
    {"SignalledNoPreloadPath",
     Event::Signalled,
     nullptr,
     nullptr,
     false,
     InstallType_Unknown,
     {kPreloadMissing[0], PdiError("fRegOk == false")}},
    {"SignalledOtherPath",
     Event::Signalled,
     kOtherPath,
     nullptr,
     false,
     InstallType_Unknown,
     {PdiError("sPreloadPath != sFixedGluePath")}},
    {"SignalledSamePath", Event::Signalled, kSamePath, nullptr, true, InstallType_PreloadInstaller, {}},
    {"SignalledSamePathRunTrue", Event::Signalled, kSamePath, "true", true, InstallType_PreloadInstaller, {}},
};

class GetInstallTypeDecisionTest : public GetInstallTypeTest, public ::testing::WithParamInterface<DecisionCase>
{
};

TEST_P(GetInstallTypeDecisionTest, DecidesFromEventPathsAndFlag)
{
    const DecisionCase& tCase = GetParam();
    if (tCase.pszPreloadPath != nullptr)
        m_tGlue.Set("PreloadPath", tCase.pszPreloadPath);
    if (tCase.pszRunPreloadInstaller != nullptr)
        m_tGlue.Set("RunPreloadInstaller", tCase.pszRunPreloadInstaller);

    InstallType eType = InstallType_Unknown;
    {
        std::unique_ptr<TestEvent> pEvent;
        if (tCase.eEvent != Event::Absent)
            pEvent = std::make_unique<TestEvent>(kInstallerEvent, tCase.eEvent == Event::Signalled);

        EXPECT_EQ(GetInstallType(kGluePath, &eType), tCase.fResult);
        if (pEvent)
        {
            EXPECT_EQ(pEvent->IsSignalled(), tCase.eEvent == Event::Signalled) << "state changed";
        }
    }
    EXPECT_EQ(eType, tCase.eType);
    EXPECT_EQ(m_tLog.Lines(), tCase.vLines);

    // The test's handle was the last one: the detection has closed its own.
    EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, kInstallerEvent), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Table, GetInstallTypeDecisionTest, ::testing::ValuesIn(kDecisionCases),
                         [](const auto& tInfo) { return std::string(tInfo.param.pszLabel); });

// ---- Path preparation ---------------------------------------------------------------

struct PathCase
{
    const char* pszLabel;
    const char* pszGluePath;
    const char* pszPreloadPath;
    InstallType eType;
};

void PrintTo(const PathCase& tCase, std::ostream* pStream)
{
    *pStream << tCase.pszLabel;
}

// No installer event, no "RunPreloadInstaller": equal paths give
// InstallType_Preload, different ones InstallType_Other.
const PathCase kPathCases[] = {
    {"PreloadGainsBackslash", "C:\\Pre\\", "C:\\Pre", InstallType_Preload},
    {"DoubledBackslashReduced", "C:\\Pre\\\\", "C:\\Pre", InstallType_Preload},
    {"OnlyOneBackslashRemoved", "C:\\Pre\\\\\\", "C:\\Pre", InstallType_Other},
    {"GlueGainsNoBackslash", "C:\\Pre", "C:\\Pre", InstallType_Other},
    {"LetterCaseIgnored", "c:\\PRE\\", "C:\\pre\\", InstallType_Preload},
    {"SlashesNotNormalised", "C:/Pre/", "C:\\Pre", InstallType_Other},
    {"DotsNotNormalised", "C:\\Pre\\.\\", "C:\\Pre", InstallType_Other},
    {"TwoBackslashesOnly", "\\\\", "\\", InstallType_Preload},
    {"EmptyPreloadPath", "C:\\Pre\\", "", InstallType_Other},
};

class GetInstallTypePathTest : public GetInstallTypeTest, public ::testing::WithParamInterface<PathCase>
{
};

TEST_P(GetInstallTypePathTest, ComparesPreparedPaths)
{
    const PathCase& tCase = GetParam();
    m_tGlue.Set("PreloadPath", tCase.pszPreloadPath);

    InstallType eType = InstallType_Unknown;
    EXPECT_TRUE(GetInstallType(tCase.pszGluePath, &eType));
    EXPECT_EQ(eType, tCase.eType);
    EXPECT_EQ(m_tLog.Lines(), Lines());
}

INSTANTIATE_TEST_SUITE_P(Table, GetInstallTypePathTest, ::testing::ValuesIn(kPathCases),
                         [](const auto& tInfo) { return std::string(tInfo.param.pszLabel); });

// ---- Argument checks -------------------------------------------------------------------

TEST_F(GetInstallTypeTest, RefusesBadArgumentsBeforeReadingAnything)
{
    // "PreloadPath" is absent: a read would add the registry's line.
    const struct
    {
        const char* pszGluePath;
        bool fNullType;
        const char* pszCondition;
    } kCases[] = {
        {"", false, "sGluePath.empty()"},
        {"C:\\Pre\\", true, "peType == 0"},
        {"C", false, "sFixedGluePath.length() < 2"},
    };
    Lines vExpected;
    for (const auto& tCase : kCases)
    {
        InstallType eType = InstallType_Unknown;
        EXPECT_FALSE(GetInstallType(tCase.pszGluePath, tCase.fNullType ? nullptr : &eType)) << tCase.pszCondition;
        EXPECT_EQ(eType, InstallType_Unknown) << tCase.pszCondition;
        vExpected.push_back(PdiError(tCase.pszCondition));
    }
    EXPECT_EQ(m_tLog.Lines(), vExpected);
}

// ---- Windows 95, 98 and Me: short names ------------------------------------------------

class GetInstallTypeShortNameTest : public GetInstallTypeTest
{
protected:
    void SetUp() override
    {
        QXZ_SKIP_UNLESS_EMULATED();
        m_sDirectory = m_tMachine.NewDirectory("preload");
        ASSERT_FALSE(m_sDirectory.empty());
    }

    void SetVersion(const char* pszVersion)
    {
#ifndef _WIN32
        ASSERT_EQ(qxz::posix::SetMachineVersion(pszVersion), static_cast<DWORD>(ERROR_SUCCESS)) << pszVersion;
#else
        (void)pszVersion;
#endif
    }

    // An existing directory whose path name is longer than any short path
    // that the conversion's buffer can take.
    std::string MakeOverlongDirectory()
    {
        std::string sPath = m_sDirectory;
        while (sPath.length() < 300)
        {
            sPath += "\\" + std::string(60, 'd');
            EXPECT_TRUE(CreateDirectoryA(sPath.c_str(), nullptr)) << sPath;
        }
        return sPath;
    }

    std::string m_sDirectory; // exists, no trailing backslash
};

TEST_F(GetInstallTypeShortNameTest, OnlyTheWindows9xFamilyComparesShortForms)
{
    // The same existing directory, neither path with a trailing backslash:
    // only the conversion gives the Glue path its backslash.
    m_tGlue.Set("PreloadPath", m_sDirectory);
    const struct
    {
        const char* pszVersion;
        InstallType eType;
    } kCases[] = {{"win95", InstallType_Preload}, {"win98", InstallType_Preload}, {"winme", InstallType_Preload},
                  {"nt4", InstallType_Other},     {"winxp", InstallType_Other},   {"default", InstallType_Other}};
    for (const auto& tCase : kCases)
    {
        SetVersion(tCase.pszVersion);
        InstallType eType = InstallType_Unknown;
        EXPECT_TRUE(GetInstallType(m_sDirectory.c_str(), &eType)) << tCase.pszVersion;
        EXPECT_EQ(eType, tCase.eType) << tCase.pszVersion;
    }
    EXPECT_EQ(m_tLog.Lines(), Lines());
}

TEST_F(GetInstallTypeShortNameTest, GluePathThatCannotBeShortenedFails)
{
    SetVersion("win98");
    m_tGlue.Set("PreloadPath", m_sDirectory);
    // Missing, and existing but too long for the buffer: in both the buffer
    // holds no path, so both fail alike.
    const std::string kGluePaths[] = {m_sDirectory + "\\missing", MakeOverlongDirectory()};
    Lines vExpected;
    for (const std::string& sGluePath : kGluePaths)
    {
        InstallType eType = InstallType_Unknown;
        EXPECT_FALSE(GetInstallType(sGluePath.c_str(), &eType)) << sGluePath;
        EXPECT_EQ(eType, InstallType_Unknown);
        vExpected.push_back(PdiError(kShortPathFailed));
    }
    EXPECT_EQ(m_tLog.Lines(), vExpected);
}

TEST_F(GetInstallTypeShortNameTest, PreloadPathThatCannotBeShortenedKeepsItsLongForm)
{
    SetVersion("winme");
    // Too long for the buffer: the buffer still holds the Glue path's short
    // form, which must not be taken for the preload path.
    m_tGlue.Set("PreloadPath", MakeOverlongDirectory());
    InstallType eType = InstallType_Unknown;
    EXPECT_TRUE(GetInstallType(m_sDirectory.c_str(), &eType));
    EXPECT_EQ(eType, InstallType_Other);

    // A preload path that does not exist is compared as it is, silently.
    m_tGlue.Set("PreloadPath", m_sDirectory + "\\missing");
    eType = InstallType_Unknown;
    EXPECT_TRUE(GetInstallType(m_sDirectory.c_str(), &eType));
    EXPECT_EQ(eType, InstallType_Other);

    // A failed conversion of an equal preload path still matches in its long
    // form (the Glue path is converted without the backslash, so only the
    // preload path's conversion fails).
    m_tGlue.Set("PreloadPath", m_sDirectory + "\\");
    const qxz::test::ScopedFaults tFaults("GetShortPathNameA@" + m_sDirectory + "\\=2");
    eType = InstallType_Unknown;
    EXPECT_TRUE(GetInstallType(m_sDirectory.c_str(), &eType));
    EXPECT_EQ(eType, InstallType_Preload);

    EXPECT_EQ(m_tLog.Lines(), Lines());
}

} // namespace
