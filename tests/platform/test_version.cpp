// Conformance of GetVersionExA: the record sizes it accepts, what it fills
// in, the last error it sets. Natively the machine is fresh, so it reports
// what a current Windows reports to a program without a compatibility
// manifest; Wine reports the version its prefix is set to.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32.h"
#include "tests/support/test_machine.h"

namespace
{

constexpr DWORD kSentinel = 0xdeadbeef;

TEST(VersionInfo, FillsThePlainRecordAndLeavesTheLastErrorAlone)
{
    qxz::test::TestMachine machine;
    OSVERSIONINFOA tOsVersion;
    memset(&tOsVersion, 0xcc, sizeof tOsVersion);
    tOsVersion.dwOSVersionInfoSize = sizeof tOsVersion;
    SetLastError(kSentinel);
    ASSERT_TRUE(GetVersionExA(&tOsVersion));
    EXPECT_EQ(kSentinel, GetLastError());
    EXPECT_EQ(sizeof tOsVersion, tOsVersion.dwOSVersionInfoSize);
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), tOsVersion.dwPlatformId);
    EXPECT_GE(tOsVersion.dwMajorVersion, 6u);
    EXPECT_LT(strlen(tOsVersion.szCSDVersion), sizeof tOsVersion.szCSDVersion);
    if (qxz::test::IsEmulatedMachine())
    {
        EXPECT_EQ(6u, tOsVersion.dwMajorVersion);
        EXPECT_EQ(2u, tOsVersion.dwMinorVersion);
        EXPECT_EQ(9200u, tOsVersion.dwBuildNumber);
        EXPECT_STREQ("", tOsVersion.szCSDVersion);
    }
}

TEST(VersionInfo, AcceptsTheExtendedRecord)
{
    qxz::test::TestMachine machine;
    OSVERSIONINFOEXA tOsVersion;
    memset(&tOsVersion, 0xcc, sizeof tOsVersion);
    tOsVersion.dwOSVersionInfoSize = sizeof tOsVersion;
    ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&tOsVersion)));
    EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), tOsVersion.dwPlatformId);
    EXPECT_EQ(VER_NT_WORKSTATION, tOsVersion.wProductType);
}

TEST(VersionInfo, RefusesAnyOtherRecordSize)
{
    qxz::test::TestMachine machine;
    for (DWORD cbRecord : {DWORD{0}, DWORD{sizeof(OSVERSIONINFOA) - 1}, DWORD{sizeof(OSVERSIONINFOA) + 1},
                           DWORD{sizeof(OSVERSIONINFOEXA) + 1}})
    {
        SCOPED_TRACE(cbRecord);
        OSVERSIONINFOEXA tOsVersion;
        memset(&tOsVersion, 0xcc, sizeof tOsVersion);
        tOsVersion.dwOSVersionInfoSize = cbRecord;
        SetLastError(kSentinel);
        EXPECT_FALSE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&tOsVersion)));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
        EXPECT_EQ(0xccccccccu, tOsVersion.dwMajorVersion);
    }
}

} // namespace
