// The emulated machine's version setting: every named version, the generic
// form, refused settings, a corrupt setting and an injected failure.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/posix/kernel32/version.h"
#include "platform/posix/machine/atomic_file.h"
#include "platform/posix/machine/machine_root.h"
#include "platform/win32.h"
#include "tests/support/scoped_faults.h"
#include "tests/support/test_machine.h"

namespace
{

struct VersionCase
{
    const char* pszSetting;
    DWORD dwPlatformId;
    DWORD dwMajor;
    DWORD dwMinor;
    DWORD dwBuild; // as reported: 9x keeps major and minor in the high word
    const char* pszServicePack;
};

const VersionCase kVersionCases[] = {
    {"win32s", VER_PLATFORM_WIN32s, 3, 10, 0, ""},
    {"win95", VER_PLATFORM_WIN32_WINDOWS, 4, 0, 0x040003B6, ""},
    {"WIN98", VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0x040A07CE, ""},
    {"winme", VER_PLATFORM_WIN32_WINDOWS, 4, 90, 0x045A0BB8, ""},
    {"nt351", VER_PLATFORM_WIN32_NT, 3, 51, 1057, ""},
    {"nt4", VER_PLATFORM_WIN32_NT, 4, 0, 1381, "Service Pack 6"},
    {"win2k", VER_PLATFORM_WIN32_NT, 5, 0, 2195, "Service Pack 4"},
    {"winxp", VER_PLATFORM_WIN32_NT, 5, 1, 2600, "Service Pack 3"},
    {"vista", VER_PLATFORM_WIN32_NT, 6, 0, 6002, "Service Pack 2"},
    {"win7", VER_PLATFORM_WIN32_NT, 6, 1, 7601, "Service Pack 1"},
    {"win8", VER_PLATFORM_WIN32_NT, 6, 2, 9200, ""},
    {"default", VER_PLATFORM_WIN32_NT, 6, 2, 9200, ""},
    {"1:4.5.0", VER_PLATFORM_WIN32_WINDOWS, 4, 5, 0x04050000, ""},
    {"2:10.0.19045", VER_PLATFORM_WIN32_NT, 10, 0, 19045, ""},
    {"3:1.2.3", 3, 1, 2, 3, ""},
};

bool QueryVersion(OSVERSIONINFOA* ptOsVersion)
{
    memset(ptOsVersion, 0xcc, sizeof *ptOsVersion);
    ptOsVersion->dwOSVersionInfoSize = sizeof *ptOsVersion;
    return GetVersionExA(ptOsVersion) != FALSE;
}

TEST(PosixVersion, EachSettingReportsItsVersion)
{
    for (const VersionCase& tCase : kVersionCases)
    {
        SCOPED_TRACE(tCase.pszSetting);
        qxz::test::TestMachine machine;
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), qxz::posix::SetMachineVersion(tCase.pszSetting));
        OSVERSIONINFOA tOsVersion;
        SetLastError(0xdeadbeef);
        ASSERT_TRUE(QueryVersion(&tOsVersion));
        EXPECT_EQ(0xdeadbeefu, GetLastError());
        EXPECT_EQ(tCase.dwPlatformId, tOsVersion.dwPlatformId);
        EXPECT_EQ(tCase.dwMajor, tOsVersion.dwMajorVersion);
        EXPECT_EQ(tCase.dwMinor, tOsVersion.dwMinorVersion);
        EXPECT_EQ(tCase.dwBuild, tOsVersion.dwBuildNumber);
        EXPECT_STREQ(tCase.pszServicePack, tOsVersion.szCSDVersion);
    }
}

TEST(PosixVersion, TheExtendedRecordTellsTheServicePack)
{
    qxz::test::TestMachine machine;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), qxz::posix::SetMachineVersion("nt4"));
    OSVERSIONINFOEXA tOsVersion;
    memset(&tOsVersion, 0xcc, sizeof tOsVersion);
    tOsVersion.dwOSVersionInfoSize = sizeof tOsVersion;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&tOsVersion)));
    EXPECT_EQ(6, tOsVersion.wServicePackMajor);
    EXPECT_EQ(0, tOsVersion.wServicePackMinor);
    EXPECT_EQ(VER_NT_WORKSTATION, tOsVersion.wProductType);
}

TEST(PosixVersion, UnknownSettingsAreRefusedAndTheOldOneStays)
{
    qxz::test::TestMachine machine;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), qxz::posix::SetMachineVersion("winme"));
    for (const char* pszSetting :
         {"", "win10x", " win98", "1:4.5", "1:4.5.0.1", "a:1.2.3", "1:4.x.0", "1:4.5.", "1:99999999.0.0", "-1:4.0.950"})
    {
        SCOPED_TRACE(pszSetting);
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), qxz::posix::SetMachineVersion(pszSetting));
        OSVERSIONINFOA tOsVersion;
        ASSERT_TRUE(QueryVersion(&tOsVersion));
        EXPECT_EQ(90u, tOsVersion.dwMinorVersion);
    }
}

TEST(PosixVersion, ACorruptSettingFailsTheCallWithInvalidData)
{
    qxz::test::TestMachine machine;
    ASSERT_TRUE(qxz::posix::ReplaceFileAtomically(qxz::posix::MachineFile("version"), "windows 3000\n"));
    OSVERSIONINFOA tOsVersion;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(QueryVersion(&tOsVersion));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), GetLastError());
    EXPECT_EQ(0xccccccccu, tOsVersion.dwMajorVersion);
}

TEST(PosixVersion, AnInjectedFailureIsTheCallsFailure)
{
    qxz::test::TestMachine machine;
    qxz::test::ScopedFaults faults("GetVersionExA=31");
    OSVERSIONINFOA tOsVersion;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(QueryVersion(&tOsVersion));
    EXPECT_EQ(31u, GetLastError());
}

} // namespace
