// Conformance of the file, directory and environment calls: each call's
// result, the last error it leaves (a sentinel is set before the call) and
// what it leaves behind. The same tests run against the real Windows API.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/platform/cross_process.h"
#include "tests/support/host_links.h"
#include "tests/support/test_machine.h"

namespace
{

constexpr DWORD kSentinel = 0xdeadbeef;

using qxz::test::IsEmulatedMachine;
using qxz::test::kNoSymbolicLinks;
using qxz::test::MakeSymbolicLink;
using qxz::test::ReadFileText;
using qxz::test::TestMachine;

bool SameTextIgnoringCase(const std::string& s1, const std::string& s2)
{
    if (s1.size() != s2.size())
        return false;
    for (size_t i = 0; i < s1.size(); ++i)
    {
        if (tolower(static_cast<unsigned char>(s1[i])) != tolower(static_cast<unsigned char>(s2[i])))
            return false;
    }
    return true;
}

FILETIME MakeFileTime(uint64_t nTicks)
{
    FILETIME ftTime;
    ftTime.dwLowDateTime = static_cast<DWORD>(nTicks);
    ftTime.dwHighDateTime = static_cast<DWORD>(nTicks >> 32);
    return ftTime;
}

uint64_t Ticks(const FILETIME& ftTime)
{
    return (static_cast<uint64_t>(ftTime.dwHighDateTime) << 32) | ftTime.dwLowDateTime;
}

// 2001-02-03 04:05:06.7 UTC, a time that no test run produces by itself.
constexpr uint64_t kOldTicks = 126258435067000000ull;

class FilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_sDirectory = m_tMachine.NewDirectory("files");
        ASSERT_FALSE(m_sDirectory.empty());
    }

    std::string PathOf(const std::string& sName) const
    {
        return m_sDirectory + "\\" + sName;
    }

    void MakeFile(const std::string& sName, const std::string& sContent)
    {
        HANDLE hFile = CreateFileA(PathOf(sName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(hFile, INVALID_HANDLE_VALUE) << sName;
        DWORD cbWritten = 0;
        ASSERT_TRUE(WriteFile(hFile, sContent.data(), static_cast<DWORD>(sContent.size()), &cbWritten, nullptr));
        ASSERT_EQ(cbWritten, sContent.size());
        ASSERT_TRUE(CloseHandle(hFile));
    }

    HANDLE Open(const std::string& sName, DWORD dwAccess, DWORD dwShareMode, DWORD dwDisposition,
                DWORD dwFlags = FILE_ATTRIBUTE_NORMAL)
    {
        return CreateFileA(PathOf(sName).c_str(), dwAccess, dwShareMode, nullptr, dwDisposition, dwFlags, nullptr);
    }

    std::vector<std::string> FindNames(const std::string& sPattern)
    {
        std::vector<std::string> vNames;
        WIN32_FIND_DATAA tFindData;
        HANDLE hFind = FindFirstFileA(sPattern.c_str(), &tFindData);
        if (hFind == INVALID_HANDLE_VALUE)
            return vNames;
        do
        {
            vNames.push_back(tFindData.cFileName);
        } while (FindNextFileA(hFind, &tFindData));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
        EXPECT_TRUE(FindClose(hFind));
        return vNames;
    }

    TestMachine m_tMachine;
    std::string m_sDirectory;
};

// ---- CreateFileA ----------------------------------------------------------------

struct DispositionCase
{
    DWORD dwDisposition;
    bool fExists;
    bool fOpens;
    DWORD dwError;
    const char* pszContentAfter; // of the file after the handle is closed; null: no file
};

// gtest would otherwise print the raw bytes, padding included.
void PrintTo(const DispositionCase& tCase, std::ostream* pStream)
{
    *pStream << "disposition " << tCase.dwDisposition << (tCase.fExists ? ", file exists" : ", no file");
}

class CreateFileDispositionTest : public FilesTest, public ::testing::WithParamInterface<DispositionCase>
{
};

TEST_P(CreateFileDispositionTest, ResultErrorAndFileLeftBehind)
{
    const DispositionCase& tCase = GetParam();
    if (tCase.fExists)
        MakeFile("f.txt", "old");
    SetLastError(kSentinel);
    HANDLE hFile = Open("f.txt", GENERIC_READ | GENERIC_WRITE, 0, tCase.dwDisposition);
    const DWORD dwError = GetLastError();
    EXPECT_EQ(hFile != INVALID_HANDLE_VALUE, tCase.fOpens);
    EXPECT_EQ(dwError, tCase.dwError);
    if (hFile != INVALID_HANDLE_VALUE)
    {
        EXPECT_TRUE(CloseHandle(hFile));
    }
    if (tCase.pszContentAfter == nullptr)
    {
        EXPECT_EQ(GetFileAttributesA(PathOf("f.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    }
    else
    {
        EXPECT_EQ(ReadFileText(PathOf("f.txt")), tCase.pszContentAfter);
    }
}

INSTANTIATE_TEST_SUITE_P(Dispositions, CreateFileDispositionTest,
                         ::testing::Values(DispositionCase{CREATE_NEW, false, true, ERROR_SUCCESS, ""},
                                           DispositionCase{CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
                                           DispositionCase{CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
                                           DispositionCase{CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
                                           DispositionCase{OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
                                           DispositionCase{OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
                                           DispositionCase{OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
                                           DispositionCase{OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
                                           DispositionCase{TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND,
                                                           nullptr},
                                           DispositionCase{TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""}));

TEST_F(FilesTest, CreateFileInMissingDirectoryIsPathNotFound)
{
    SetLastError(kSentinel);
    EXPECT_EQ(Open("missing\\f.txt", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(kSentinel);
    EXPECT_EQ(Open("missing\\f.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FilesTest, CreateFileOnDirectoryNeedsBackupSemantics)
{
    ASSERT_TRUE(CreateDirectoryA(PathOf("sub").c_str(), nullptr));
    SetLastError(kSentinel);
    EXPECT_EQ(Open("sub", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    SetLastError(kSentinel);
    EXPECT_EQ(Open("sub", GENERIC_READ, 0, CREATE_NEW, FILE_FLAG_BACKUP_SEMANTICS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    HANDLE hDirectory = Open("sub", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    ASSERT_NE(hDirectory, INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION tInfo;
    ASSERT_TRUE(GetFileInformationByHandle(hDirectory, &tInfo));
    EXPECT_NE(tInfo.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_TRUE(CloseHandle(hDirectory));
}

// Wine run by the superuser lets the file system decide, which lets it write.
TEST_F(FilesTest, CreateFileForWritingRefusesReadOnlyFile)
{
    if (!IsEmulatedMachine())
        GTEST_SKIP() << "Windows refuses; Wine run by the superuser does not";
    MakeFile("ro.txt", "keep");
    ASSERT_TRUE(SetFileAttributesA(PathOf("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    SetLastError(kSentinel);
    EXPECT_EQ(Open("ro.txt", GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    HANDLE hFile = Open("ro.txt", GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_NE(hFile, INVALID_HANDLE_VALUE);
    CloseHandle(hFile);
    ASSERT_TRUE(SetFileAttributesA(PathOf("ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(ReadFileText(PathOf("ro.txt")), "keep");
}

struct SharingCase
{
    DWORD dwFirstAccess;
    DWORD dwFirstShare;
    DWORD dwSecondAccess;
    DWORD dwSecondShare;
    bool fSecondOpens;
};

void PrintTo(const SharingCase& tCase, std::ostream* pStream)
{
    *pStream << std::hex << "first 0x" << tCase.dwFirstAccess << "/0x" << tCase.dwFirstShare << ", second 0x"
             << tCase.dwSecondAccess << "/0x" << tCase.dwSecondShare;
}

class CreateFileSharingTest : public FilesTest, public ::testing::WithParamInterface<SharingCase>
{
};

TEST_P(CreateFileSharingTest, SecondOpenHonoursBothShareModes)
{
    const SharingCase& tCase = GetParam();
    MakeFile("shared.txt", "x");
    HANDLE hFirst = Open("shared.txt", tCase.dwFirstAccess, tCase.dwFirstShare, OPEN_EXISTING);
    ASSERT_NE(hFirst, INVALID_HANDLE_VALUE);
    SetLastError(kSentinel);
    HANDLE hSecond = Open("shared.txt", tCase.dwSecondAccess, tCase.dwSecondShare, OPEN_EXISTING);
    if (tCase.fSecondOpens)
    {
        EXPECT_NE(hSecond, INVALID_HANDLE_VALUE);
        CloseHandle(hSecond);
    }
    else
    {
        EXPECT_EQ(hSecond, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    CloseHandle(hFirst);
    // Once the first handle is closed, nothing stands in the way.
    HANDLE hAfter = Open("shared.txt", tCase.dwSecondAccess, tCase.dwSecondShare, OPEN_EXISTING);
    EXPECT_NE(hAfter, INVALID_HANDLE_VALUE);
    CloseHandle(hAfter);
}

INSTANTIATE_TEST_SUITE_P(
    ShareModes, CreateFileSharingTest,
    ::testing::Values(
        SharingCase{GENERIC_READ, 0, GENERIC_READ, 0, false},
        SharingCase{GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, 0, false},
        SharingCase{GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
        SharingCase{GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, false},
        SharingCase{GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
        SharingCase{GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, FILE_SHARE_READ, false},
        SharingCase{GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_WRITE, FILE_SHARE_READ, true}));

// ---- ReadFile, WriteFile ----------------------------------------------------------

TEST_F(FilesTest, WriteThenReadBack)
{
    HANDLE hFile = Open("rw.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    const char achData[] = "line\r\n\0binary";
    DWORD cbWritten = 0;
    ASSERT_TRUE(WriteFile(hFile, achData, sizeof achData, &cbWritten, nullptr));
    EXPECT_EQ(cbWritten, sizeof achData);
    CloseHandle(hFile);

    hFile = Open("rw.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    char achRead[64];
    DWORD cbRead = 0;
    ASSERT_TRUE(ReadFile(hFile, achRead, sizeof achRead, &cbRead, nullptr));
    ASSERT_EQ(cbRead, sizeof achData); // short only at the end of the file
    EXPECT_EQ(memcmp(achRead, achData, sizeof achData), 0);
    ASSERT_TRUE(ReadFile(hFile, achRead, sizeof achRead, &cbRead, nullptr));
    EXPECT_EQ(cbRead, 0u);
    CloseHandle(hFile);
}

TEST_F(FilesTest, ReadAndWriteNeedTheirAccess)
{
    MakeFile("a.txt", "abc");
    char achBuffer[4];
    DWORD cb = 123;
    HANDLE hWriteOnly = Open("a.txt", GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(hWriteOnly, INVALID_HANDLE_VALUE);
    SetLastError(kSentinel);
    EXPECT_FALSE(ReadFile(hWriteOnly, achBuffer, sizeof achBuffer, &cb, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(cb, 0u);
    CloseHandle(hWriteOnly);

    HANDLE hReadOnly = Open("a.txt", GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(hReadOnly, INVALID_HANDLE_VALUE);
    SetLastError(kSentinel);
    EXPECT_FALSE(WriteFile(hReadOnly, "z", 1, &cb, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(hReadOnly);
    EXPECT_EQ(ReadFileText(PathOf("a.txt")), "abc");
}

TEST_F(FilesTest, CallsOnInvalidHandleFail)
{
    char achBuffer[4];
    DWORD cb = 0;
    FILETIME ftTime;
    BY_HANDLE_FILE_INFORMATION tInfo;
    SetLastError(kSentinel);
    EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, achBuffer, sizeof achBuffer, &cb, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_FALSE(GetFileTime(INVALID_HANDLE_VALUE, nullptr, &ftTime, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_FALSE(GetFileInformationByHandle(INVALID_HANDLE_VALUE, &tInfo));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(kSentinel);
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// ---- File times ---------------------------------------------------------------------

// Times are set no later than written, as a write counts as an access.
TEST_F(FilesTest, SetFileTimeChangesOnlyTheTimesGiven)
{
    MakeFile("t.txt", "t");
    HANDLE hFile = Open("t.txt", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    const FILETIME ftOld = MakeFileTime(kOldTicks);
    const FILETIME ftOlder = MakeFileTime(kOldTicks - 10000000);
    const FILETIME ftOldest = MakeFileTime(kOldTicks - 20000000);
    FILETIME ftAccess;
    FILETIME ftWrite;
    ASSERT_TRUE(SetFileTime(hFile, nullptr, nullptr, &ftOlder));
    ASSERT_TRUE(GetFileTime(hFile, nullptr, nullptr, &ftWrite));
    EXPECT_EQ(Ticks(ftWrite), kOldTicks - 10000000);

    ASSERT_TRUE(SetFileTime(hFile, nullptr, &ftOld, nullptr));
    ASSERT_TRUE(GetFileTime(hFile, nullptr, &ftAccess, &ftWrite));
    EXPECT_EQ(Ticks(ftAccess), kOldTicks);
    EXPECT_EQ(Ticks(ftWrite), kOldTicks - 10000000);

    ASSERT_TRUE(SetFileTime(hFile, nullptr, nullptr, &ftOldest));
    ASSERT_TRUE(GetFileTime(hFile, nullptr, &ftAccess, &ftWrite));
    EXPECT_EQ(Ticks(ftAccess), kOldTicks);
    EXPECT_EQ(Ticks(ftWrite), kOldTicks - 20000000);
    CloseHandle(hFile);

    // What was set is what the next open sees, and a directory search too.
    hFile = Open("t.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(GetFileTime(hFile, nullptr, &ftAccess, nullptr));
    EXPECT_EQ(Ticks(ftAccess), kOldTicks);
    CloseHandle(hFile);
    WIN32_FIND_DATAA tFindData;
    HANDLE hFind = FindFirstFileA(PathOf("t.txt").c_str(), &tFindData);
    ASSERT_NE(hFind, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Ticks(tFindData.ftLastWriteTime), kOldTicks - 20000000);
    FindClose(hFind);
}

// A file written after it was last accessed shows the write as its last
// access, as Windows counts a write as an access, in every report of it.
TEST_F(FilesTest, AWriteCountsAsAnAccess)
{
    if (!IsEmulatedMachine())
        GTEST_SKIP() << "Wine reports the access time that the host's file system keeps";
    MakeFile("t.txt", "t");
    HANDLE hFile = Open("t.txt", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    const FILETIME ftOld = MakeFileTime(kOldTicks);
    const FILETIME ftNewer = MakeFileTime(kOldTicks + 10000000);
    ASSERT_TRUE(SetFileTime(hFile, nullptr, &ftOld, &ftNewer));
    FILETIME ftAccess;
    ASSERT_TRUE(GetFileTime(hFile, nullptr, &ftAccess, nullptr));
    EXPECT_EQ(Ticks(ftAccess), kOldTicks + 10000000);
    BY_HANDLE_FILE_INFORMATION tInfo;
    ASSERT_TRUE(GetFileInformationByHandle(hFile, &tInfo));
    EXPECT_EQ(Ticks(tInfo.ftLastAccessTime), kOldTicks + 10000000);
    CloseHandle(hFile);
    WIN32_FIND_DATAA tFindData;
    HANDLE hFind = FindFirstFileA(PathOf("t.txt").c_str(), &tFindData);
    ASSERT_NE(hFind, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Ticks(tFindData.ftLastAccessTime), kOldTicks + 10000000);
    FindClose(hFind);
}

// Windows needs FILE_WRITE_ATTRIBUTES, which GENERIC_READ does not grant.
TEST_F(FilesTest, SetFileTimeNeedsWriteAccess)
{
    if (!IsEmulatedMachine())
        GTEST_SKIP() << "Windows refuses; Wine does not check the handle's access";
    MakeFile("t.txt", "t");
    HANDLE hFile = Open("t.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    const FILETIME ftOld = MakeFileTime(kOldTicks);
    SetLastError(kSentinel);
    EXPECT_FALSE(SetFileTime(hFile, nullptr, &ftOld, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    FILETIME ftAccess;
    ASSERT_TRUE(GetFileTime(hFile, nullptr, &ftAccess, nullptr));
    EXPECT_NE(Ticks(ftAccess), kOldTicks);
    CloseHandle(hFile);
}

// A reader that sets the access time back needs the attribute right only:
// the handle reads, sets times, and cannot write data. The file may be
// read-only, and others may hold it open for writing meanwhile.
TEST_F(FilesTest, SetFileTimeWithTheAttributeRightAlone)
{
    MakeFile("t.txt", "t");
    ASSERT_TRUE(SetFileAttributesA(PathOf("t.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE hWriter = Open("t.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    ASSERT_NE(hWriter, INVALID_HANDLE_VALUE);
    HANDLE hFile = Open("t.txt", GENERIC_READ | FILE_WRITE_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    char ch = 0;
    DWORD cbDone = 0;
    ASSERT_TRUE(ReadFile(hFile, &ch, 1, &cbDone, nullptr));
    EXPECT_EQ(cbDone, 1u);
    const FILETIME ftOld = MakeFileTime(kOldTicks);
    SetLastError(kSentinel);
    EXPECT_TRUE(SetFileTime(hFile, nullptr, &ftOld, &ftOld));
    FILETIME ftAccess;
    ASSERT_TRUE(GetFileTime(hFile, nullptr, &ftAccess, nullptr));
    EXPECT_EQ(Ticks(ftAccess), kOldTicks);
    SetLastError(kSentinel);
    EXPECT_FALSE(WriteFile(hFile, "x", 1, &cbDone, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(hFile);
    CloseHandle(hWriter);
    ASSERT_TRUE(SetFileAttributesA(PathOf("t.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(ReadFileText(PathOf("t.txt")), "t");
}

// A time with every bit set changes nothing now; Windows then stops the
// handle's own operations from moving that time.
TEST_F(FilesTest, SetFileTimeWithEveryBitSetKeepsTheTime)
{
    MakeFile("t.txt", "t");
    HANDLE hFile = Open("t.txt", GENERIC_READ | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    const FILETIME ftOld = MakeFileTime(kOldTicks);
    ASSERT_TRUE(SetFileTime(hFile, nullptr, &ftOld, &ftOld));
    const FILETIME ftEveryBit = MakeFileTime(~0ull);
    SetLastError(kSentinel);
    EXPECT_TRUE(SetFileTime(hFile, nullptr, &ftEveryBit, nullptr));
    FILETIME ftAccess;
    ASSERT_TRUE(GetFileTime(hFile, nullptr, &ftAccess, nullptr));
    EXPECT_EQ(Ticks(ftAccess), kOldTicks);
    CloseHandle(hFile);
}

// A file is no terminal.
TEST_F(FilesTest, IsattyIsFalseForAFile)
{
    MakeFile("t.txt", "t");
    FILE* pFile = _fsopen(PathOf("t.txt").c_str(), "r", _SH_DENYNO);
    ASSERT_NE(pFile, nullptr);
    EXPECT_EQ(_isatty(_fileno(pFile)), 0);
    fclose(pFile);
}

TEST(CompareFileTimeTest, OrdersByTheWhole64Bits)
{
    struct Case
    {
        uint64_t nFirst;
        uint64_t nSecond;
        LONG nExpected;
    };
    const Case atCases[] = {
        {0, 0, 0},
        {1, 2, -1},
        {2, 1, 1},
        {0x100000000ull, 0xFFFFFFFFull, 1}, // the high half decides first
        {0x7FFFFFFFFFFFFFFFull, 0x7FFFFFFFFFFFFFFEull, 1},
        {kOldTicks, 0x7FFFFFFFFFFFFFFFull, -1},
    };
    for (const Case& tCase : atCases)
    {
        const FILETIME ftFirst = MakeFileTime(tCase.nFirst);
        const FILETIME ftSecond = MakeFileTime(tCase.nSecond);
        EXPECT_EQ(CompareFileTime(&ftFirst, &ftSecond), tCase.nExpected) << tCase.nFirst << " vs " << tCase.nSecond;
    }
}

TEST_F(FilesTest, FileInformationDescribesTheFile)
{
    MakeFile("info.txt", "12345");
    HANDLE hFile = Open("info.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION tInfo;
    ASSERT_TRUE(GetFileInformationByHandle(hFile, &tInfo));
    EXPECT_EQ(tInfo.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY), 0u);
    EXPECT_EQ(tInfo.nFileSizeLow, 5u);
    EXPECT_EQ(tInfo.nFileSizeHigh, 0u);
    EXPECT_EQ(tInfo.nNumberOfLinks, 1u);
    CloseHandle(hFile);
}

// ---- Share modes across processes ----------------------------------------------------------------

constexpr DWORD kGenerous = 60000; // a bound on waits that must not time out

// A child holds a file open for writing with the share mode of its
// argument ("<share mode>|<event base>|<path>"), signals "<base>held" and
// keeps it open until "<base>done" is signalled.
TEST(FilesRole, DISABLED_HoldFileOpen)
{
    const std::string sArgument = qxz::test::RoleArgument();
    const size_t isFirst = sArgument.find('|');
    const size_t isSecond = sArgument.find('|', isFirst + 1);
    ASSERT_NE(isSecond, std::string::npos) << sArgument;
    const DWORD dwShareMode = static_cast<DWORD>(std::stoul(sArgument.substr(0, isFirst)));
    const std::string sBase = sArgument.substr(isFirst + 1, isSecond - isFirst - 1);
    HANDLE hFile = CreateFileA(sArgument.substr(isSecond + 1).c_str(), GENERIC_WRITE, dwShareMode, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    HANDLE hHeld = CreateEventA(nullptr, TRUE, FALSE, (sBase + "held").c_str());
    HANDLE hDone = CreateEventA(nullptr, TRUE, FALSE, (sBase + "done").c_str());
    ASSERT_TRUE(hHeld != nullptr && hDone != nullptr);
    SetEvent(hHeld);
    EXPECT_EQ(WaitForSingleObject(hDone, kGenerous), WAIT_OBJECT_0);
    CloseHandle(hFile);
    CloseHandle(hHeld);
    CloseHandle(hDone);
}

struct HeldElsewhereCase
{
    const char* pszLabel;
    DWORD dwHolderShare;
    bool fSharedOpens; // another open for writing that shares reading and writing
    bool fDeletes;
};

void PrintTo(const HeldElsewhereCase& tCase, std::ostream* pStream)
{
    *pStream << tCase.pszLabel;
}

class HeldElsewhereTest : public FilesTest, public ::testing::WithParamInterface<HeldElsewhereCase>
{
};

// What another process holds open is seen here: an open that shares
// nothing is refused, others as both share modes say, and a deletion as the
// holder's delete sharing says.
TEST_P(HeldElsewhereTest, OpensAndDeletionMeetTheHoldersShareMode)
{
    const HeldElsewhereCase& tCase = GetParam();
    MakeFile("held.txt", "held");
    const std::string sBase = "QxzTest_HeldElsewhere_" + std::to_string(GetCurrentProcessId()) + "_" +
                              std::to_string(tCase.dwHolderShare) + "_";
    HANDLE hHeld = CreateEventA(nullptr, TRUE, FALSE, (sBase + "held").c_str());
    HANDLE hDone = CreateEventA(nullptr, TRUE, FALSE, (sBase + "done").c_str());
    ASSERT_TRUE(hHeld != nullptr && hDone != nullptr);
    PROCESS_INFORMATION tChild{};
    ASSERT_TRUE(qxz::test::StartRole("FilesRole", "DISABLED_HoldFileOpen",
                                     std::to_string(tCase.dwHolderShare) + "|" + sBase + "|" + PathOf("held.txt"),
                                     &tChild));
    ASSERT_EQ(WaitForSingleObject(hHeld, kGenerous), WAIT_OBJECT_0);

    SetLastError(kSentinel);
    HANDLE hAlone = Open("held.txt", GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_EQ(hAlone, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (hAlone != INVALID_HANDLE_VALUE)
        CloseHandle(hAlone);

    SetLastError(kSentinel);
    HANDLE hShared =
        Open("held.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    EXPECT_EQ(hShared != INVALID_HANDLE_VALUE, tCase.fSharedOpens);
    if (hShared != INVALID_HANDLE_VALUE)
    {
        CloseHandle(hShared);
    }
    else
    {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }

    SetLastError(kSentinel);
    const BOOL fDeleted = DeleteFileA(PathOf("held.txt").c_str());
    EXPECT_EQ(fDeleted != FALSE, tCase.fDeletes);
    if (!fDeleted)
    {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }

    SetEvent(hDone);
    EXPECT_EQ(qxz::test::FinishRole(tChild), 0u);
    CloseHandle(hHeld);
    CloseHandle(hDone);
}

// The holders that the program and its tools are: across processes the
// emulated machine tells only sharing nothing from sharing the data, and a
// holder that shares deletion is seen by deletions alone.
INSTANTIATE_TEST_SUITE_P(Holders, HeldElsewhereTest,
                         ::testing::Values(HeldElsewhereCase{"shares nothing", 0, false, false},
                                           HeldElsewhereCase{"shares reading and writing",
                                                             FILE_SHARE_READ | FILE_SHARE_WRITE, true, false}));

// The path the system resolved: the name's own directory and name; the size
// with its NUL for a buffer that is too small.
TEST_F(FilesTest, GetFinalPathNameByHandleTellsWhereTheFileIs)
{
    MakeFile("Final.txt", "x");
    HANDLE hFile = Open("Final.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    HANDLE hDirectory = CreateFileA(m_sDirectory.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(hDirectory, INVALID_HANDLE_VALUE);
    char szFile[MAX_PATH];
    char szDirectory[MAX_PATH];
    const DWORD cchFile = GetFinalPathNameByHandleA(hFile, szFile, MAX_PATH, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    const DWORD cchDirectory =
        GetFinalPathNameByHandleA(hDirectory, szDirectory, MAX_PATH, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    ASSERT_GT(cchFile, 4u);
    ASSERT_GT(cchDirectory, 4u);
    EXPECT_EQ(std::string(szFile, 4), "\\\\?\\");
    EXPECT_TRUE(
        SameTextIgnoringCase(std::string(szFile, cchFile), std::string(szDirectory, cchDirectory) + "\\Final.txt"))
        << szFile << " in " << szDirectory;
    // Windows asks for the NUL too; Wine 8 asks for one character less.
    char szSmall[4];
    const DWORD cchAsked =
        GetFinalPathNameByHandleA(hFile, szSmall, sizeof szSmall, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    EXPECT_TRUE(cchAsked == cchFile + 1 || cchAsked == cchFile) << cchAsked;
    CloseHandle(hFile);
    CloseHandle(hDirectory);
}

// A range lock, even past the end of the file, is refused to every other
// handle and given up when its handle is closed; reading the data is not
// stopped.
TEST_F(FilesTest, LockFileRefusesTheRangeToOtherHandles)
{
    MakeFile("locked.txt", "data");
    const DWORD dwShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE hFirst = Open("locked.txt", GENERIC_WRITE, dwShare, OPEN_EXISTING);
    HANDLE hSecond = Open("locked.txt", GENERIC_WRITE, dwShare, OPEN_EXISTING);
    ASSERT_TRUE(hFirst != INVALID_HANDLE_VALUE && hSecond != INVALID_HANDLE_VALUE);
    EXPECT_TRUE(LockFile(hFirst, 0, 0x7FFFFFFF, 1, 0));
    SetLastError(kSentinel);
    EXPECT_FALSE(LockFile(hSecond, 0, 0x7FFFFFFF, 1, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_LOCK_VIOLATION));
    EXPECT_TRUE(LockFile(hSecond, 1, 0x7FFFFFFF, 1, 0));
    EXPECT_EQ(ReadFileText(PathOf("locked.txt")), "data");
    CloseHandle(hFirst);
    EXPECT_TRUE(LockFile(hSecond, 0, 0x7FFFFFFF, 1, 0));
    CloseHandle(hSecond);
}

TEST_F(FilesTest, OpenWithoutDataAccessMeetsNoShareMode)
{
    MakeFile("held.txt", "12345");
    HANDLE hHeld = Open("held.txt", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
    SetLastError(kSentinel);
    EXPECT_EQ(Open("held.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    HANDLE hLook = Open("held.txt", 0, 0, OPEN_EXISTING);
    ASSERT_NE(hLook, INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION tInfo;
    ASSERT_TRUE(GetFileInformationByHandle(hLook, &tInfo));
    EXPECT_EQ(tInfo.nFileSizeLow, 5u);
    char achBuffer[8];
    DWORD cbRead = 0;
    SetLastError(kSentinel);
    EXPECT_FALSE(ReadFile(hLook, achBuffer, sizeof achBuffer, &cbRead, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(hLook);
    CloseHandle(hHeld);
}

// ---- Links ------------------------------------------------------------------------------

TEST_F(FilesTest, HardLinkIsASecondNameOfTheSameFile)
{
    MakeFile("first.txt", "shared");
    ASSERT_TRUE(CreateHardLinkA(PathOf("second.txt").c_str(), PathOf("first.txt").c_str(), nullptr));
    BY_HANDLE_FILE_INFORMATION atInfo[2];
    const char* const apszNames[] = {"first.txt", "second.txt"};
    for (int i = 0; i < 2; ++i)
    {
        HANDLE hFile = Open(apszNames[i], GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
        ASSERT_NE(hFile, INVALID_HANDLE_VALUE) << apszNames[i];
        ASSERT_TRUE(GetFileInformationByHandle(hFile, &atInfo[i]));
        CloseHandle(hFile);
        EXPECT_EQ(atInfo[i].nNumberOfLinks, 2u) << apszNames[i];
        EXPECT_EQ(atInfo[i].dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u) << apszNames[i];
    }
    EXPECT_EQ(atInfo[0].nFileIndexLow, atInfo[1].nFileIndexLow);
    EXPECT_EQ(atInfo[0].nFileIndexHigh, atInfo[1].nFileIndexHigh);
    MakeFile("second.txt", "written through the second name");
    EXPECT_EQ(ReadFileText(PathOf("first.txt")), "written through the second name");

    ASSERT_TRUE(DeleteFileA(PathOf("first.txt").c_str()));
    HANDLE hFile = Open("second.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(GetFileInformationByHandle(hFile, &atInfo[1]));
    EXPECT_EQ(atInfo[1].nNumberOfLinks, 1u);
    CloseHandle(hFile);
}

TEST_F(FilesTest, HardLinkFailures)
{
    MakeFile("taken.txt", "keep");
    MakeFile("source.txt", "s");
    struct Case
    {
        const char* pszName;
        const char* pszExisting;
        DWORD dwError;
    };
    const Case atCases[] = {{"taken.txt", "source.txt", ERROR_ALREADY_EXISTS},
                            {"new.txt", "missing.txt", ERROR_FILE_NOT_FOUND}};
    for (const Case& tCase : atCases)
    {
        SetLastError(kSentinel);
        EXPECT_FALSE(CreateHardLinkA(PathOf(tCase.pszName).c_str(), PathOf(tCase.pszExisting).c_str(), nullptr))
            << tCase.pszName;
        EXPECT_EQ(GetLastError(), tCase.dwError) << tCase.pszName;
    }
    EXPECT_EQ(ReadFileText(PathOf("taken.txt")), "keep");
    EXPECT_EQ(GetFileAttributesA(PathOf("new.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Opening the entry itself changes nothing for an entry that is no link.
TEST_F(FilesTest, OpenReparsePointFlagOnOrdinaryEntries)
{
    MakeFile("plain.txt", "plain");
    ASSERT_TRUE(CreateDirectoryA(PathOf("sub").c_str(), nullptr));
    struct Case
    {
        const char* pszName;
        DWORD dwAttribute;
        DWORD cbSize;
    };
    const Case atCases[] = {{"plain.txt", 0, 5}, {"sub", FILE_ATTRIBUTE_DIRECTORY, 0}};
    for (const Case& tCase : atCases)
    {
        HANDLE hFile = Open(tCase.pszName, GENERIC_READ, 0, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
        ASSERT_NE(hFile, INVALID_HANDLE_VALUE) << tCase.pszName;
        BY_HANDLE_FILE_INFORMATION tInfo;
        ASSERT_TRUE(GetFileInformationByHandle(hFile, &tInfo));
        CloseHandle(hFile);
        EXPECT_EQ(tInfo.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT), tCase.dwAttribute)
            << tCase.pszName;
        EXPECT_EQ(tInfo.nFileSizeLow, tCase.cbSize) << tCase.pszName;
        EXPECT_EQ(tInfo.nNumberOfLinks, 1u) << tCase.pszName;
    }
}

struct SymbolicLinkCase
{
    const char* pszLabel;
    bool fDangling;
    DWORD dwAccess;
    DWORD dwDisposition;
    DWORD dwFlags;
    DWORD dwError; // the last error after the open
    bool fOpens;
    bool fReparsePoint;    // the handle is the link's own
    const char* pszTarget; // the target's content afterwards; null: no target
};

void PrintTo(const SymbolicLinkCase& tCase, std::ostream* pStream)
{
    *pStream << tCase.pszLabel;
}

class SymbolicLinkTest : public FilesTest, public ::testing::WithParamInterface<SymbolicLinkCase>
{
};

TEST_P(SymbolicLinkTest, FollowedUnlessTheLinkItselfIsAskedFor)
{
    if (!IsEmulatedMachine())
        GTEST_SKIP() << kNoSymbolicLinks;
    const SymbolicLinkCase& tCase = GetParam();
    if (!tCase.fDangling)
        MakeFile("target.txt", "target");
    ASSERT_TRUE(MakeSymbolicLink(PathOf("link.txt"), "target.txt"));
    SetLastError(kSentinel);
    HANDLE hFile = Open("link.txt", tCase.dwAccess, 0, tCase.dwDisposition, tCase.dwFlags);
    EXPECT_EQ(GetLastError(), tCase.dwError);
    ASSERT_EQ(hFile != INVALID_HANDLE_VALUE, tCase.fOpens);
    if (hFile != INVALID_HANDLE_VALUE)
    {
        BY_HANDLE_FILE_INFORMATION tInfo;
        ASSERT_TRUE(GetFileInformationByHandle(hFile, &tInfo));
        EXPECT_EQ((tInfo.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0, tCase.fReparsePoint);
        if (tCase.fReparsePoint)
        {
            EXPECT_EQ(tInfo.nFileSizeLow, 0u);
        }
        CloseHandle(hFile);
    }
    if (tCase.pszTarget == nullptr)
    {
        EXPECT_EQ(GetFileAttributesA(PathOf("target.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    }
    else
    {
        EXPECT_EQ(ReadFileText(PathOf("target.txt")), tCase.pszTarget);
    }
}

constexpr DWORD kLinkItself = FILE_FLAG_OPEN_REPARSE_POINT;

INSTANTIATE_TEST_SUITE_P(Links, SymbolicLinkTest,
                         ::testing::Values(SymbolicLinkCase{"read through", false, GENERIC_READ, OPEN_EXISTING, 0,
                                                            ERROR_SUCCESS, true, false, "target"},
                                           SymbolicLinkCase{"read itself", false, GENERIC_READ, OPEN_EXISTING,
                                                            kLinkItself, ERROR_SUCCESS, true, true, "target"},
                                           SymbolicLinkCase{"truncate through", false, GENERIC_WRITE, TRUNCATE_EXISTING,
                                                            0, ERROR_SUCCESS, true, false, ""},
                                           // A handle for writing can always be written: a link has no data to write.
                                           SymbolicLinkCase{"write itself", false, GENERIC_WRITE, OPEN_ALWAYS,
                                                            kLinkItself, ERROR_ACCESS_DENIED, false, false, "target"},
                                           SymbolicLinkCase{"dangling, read through", true, GENERIC_READ, OPEN_EXISTING,
                                                            0, ERROR_FILE_NOT_FOUND, false, false, nullptr},
                                           SymbolicLinkCase{"dangling, read itself", true, GENERIC_READ, OPEN_EXISTING,
                                                            kLinkItself, ERROR_SUCCESS, true, true, nullptr},
                                           SymbolicLinkCase{"dangling, created through", true, GENERIC_WRITE,
                                                            OPEN_ALWAYS, 0, ERROR_SUCCESS, true, false, ""},
                                           SymbolicLinkCase{"dangling, write itself", true, GENERIC_WRITE, OPEN_ALWAYS,
                                                            kLinkItself, ERROR_ACCESS_DENIED, false, false, nullptr},
                                           SymbolicLinkCase{"dangling, new", true, GENERIC_WRITE, CREATE_NEW, 0,
                                                            ERROR_FILE_EXISTS, false, false, nullptr},
                                           SymbolicLinkCase{"dangling, new itself", true, GENERIC_WRITE, CREATE_NEW,
                                                            kLinkItself, ERROR_FILE_EXISTS, false, false, nullptr}));

// ---- SetEndOfFile ---------------------------------------------------------------------

TEST_F(FilesTest, SetEndOfFileCutsAtTheHandlesPosition)
{
    MakeFile("cut.txt", "abcdef");
    HANDLE hFile = Open("cut.txt", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    char achRead[3];
    DWORD cbRead = 0;
    ASSERT_TRUE(ReadFile(hFile, achRead, sizeof achRead, &cbRead, nullptr));
    EXPECT_TRUE(SetEndOfFile(hFile));
    BY_HANDLE_FILE_INFORMATION tInfo;
    ASSERT_TRUE(GetFileInformationByHandle(hFile, &tInfo));
    EXPECT_EQ(tInfo.nFileSizeLow, 3u);
    CloseHandle(hFile);
    EXPECT_EQ(ReadFileText(PathOf("cut.txt")), "abc");

    SetLastError(kSentinel);
    EXPECT_FALSE(SetEndOfFile(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(FilesTest, SetEndOfFileNeedsWriteAccess)
{
    MakeFile("cut.txt", "abc");
    HANDLE hFile = Open("cut.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    SetLastError(kSentinel);
    EXPECT_FALSE(SetEndOfFile(hFile));
    // Windows refuses with ERROR_ACCESS_DENIED, Wine with ERROR_INVALID_PARAMETER.
    if (IsEmulatedMachine())
    {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    CloseHandle(hFile);
    EXPECT_EQ(ReadFileText(PathOf("cut.txt")), "abc");
}

// ---- DeleteFileA ----------------------------------------------------------------------

TEST_F(FilesTest, DeleteFileRemovesTheFile)
{
    MakeFile("d.txt", "d");
    SetLastError(kSentinel);
    EXPECT_TRUE(DeleteFileA(PathOf("d.txt").c_str()));
    EXPECT_EQ(GetFileAttributesA(PathOf("d.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteFileA(PathOf("d.txt").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteFileA(PathOf("missing\\d.txt").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FilesTest, DeleteFileRefusesDirectoryReadOnlyAndOpenFiles)
{
    ASSERT_TRUE(CreateDirectoryA(PathOf("sub").c_str(), nullptr));
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteFileA(PathOf("sub").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    MakeFile("ro.txt", "r");
    ASSERT_TRUE(SetFileAttributesA(PathOf("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteFileA(PathOf("ro.txt").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(SetFileAttributesA(PathOf("ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileA(PathOf("ro.txt").c_str()));

    MakeFile("open.txt", "o");
    HANDLE hFile = Open("open.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    SetLastError(kSentinel);
    EXPECT_FALSE(DeleteFileA(PathOf("open.txt").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(hFile);
    EXPECT_TRUE(DeleteFileA(PathOf("open.txt").c_str()));
}

// ---- Directories and attributes -------------------------------------------------------------

TEST_F(FilesTest, CreateDirectoryMakesOneLevel)
{
    SetLastError(kSentinel);
    EXPECT_TRUE(CreateDirectoryA(PathOf("new").c_str(), nullptr));
    const DWORD dwAttributes = GetFileAttributesA(PathOf("new").c_str());
    ASSERT_NE(dwAttributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(dwAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);

    SetLastError(kSentinel);
    EXPECT_FALSE(CreateDirectoryA(PathOf("new").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    MakeFile("file", "f");
    SetLastError(kSentinel);
    EXPECT_FALSE(CreateDirectoryA(PathOf("file").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    SetLastError(kSentinel);
    EXPECT_FALSE(CreateDirectoryA(PathOf("a\\b").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA(PathOf("a").c_str()), INVALID_FILE_ATTRIBUTES);

    // A final backslash names the same directory.
    EXPECT_TRUE(CreateDirectoryA(PathOf("slash\\").c_str(), nullptr));
    EXPECT_NE(GetFileAttributesA(PathOf("slash").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FilesTest, RemoveDirectoryRemovesOnlyEmptyDirectories)
{
    ASSERT_TRUE(CreateDirectoryA(PathOf("full").c_str(), nullptr));
    MakeFile("full\\x.txt", "x");
    SetLastError(kSentinel);
    EXPECT_FALSE(RemoveDirectoryA(PathOf("full").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));

    ASSERT_TRUE(DeleteFileA(PathOf("full\\x.txt").c_str()));
    EXPECT_TRUE(RemoveDirectoryA(PathOf("full").c_str()));
    EXPECT_EQ(GetFileAttributesA(PathOf("full").c_str()), INVALID_FILE_ATTRIBUTES);

    SetLastError(kSentinel);
    EXPECT_FALSE(RemoveDirectoryA(PathOf("full").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    MakeFile("plain.txt", "p");
    SetLastError(kSentinel);
    EXPECT_FALSE(RemoveDirectoryA(PathOf("plain.txt").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
    EXPECT_NE(GetFileAttributesA(PathOf("plain.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FilesTest, FileAttributesOfFilesDirectoriesAndMissingPaths)
{
    MakeFile("f.txt", "f");
    EXPECT_EQ(GetFileAttributesA(PathOf("f.txt").c_str()) & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY), 0u);
    EXPECT_NE(GetFileAttributesA(m_sDirectory.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    // Names are found whatever their case.
    EXPECT_NE(GetFileAttributesA(PathOf("F.TXT").c_str()), INVALID_FILE_ATTRIBUTES);

    ASSERT_TRUE(SetFileAttributesA(PathOf("f.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_NE(GetFileAttributesA(PathOf("f.txt").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    ASSERT_TRUE(SetFileAttributesA(PathOf("f.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA(PathOf("f.txt").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);

    struct Case
    {
        const char* pszName;
        DWORD dwError;
    };
    const Case atMissing[] = {{"missing.txt", ERROR_FILE_NOT_FOUND}, {"missing\\f.txt", ERROR_PATH_NOT_FOUND}};
    for (const Case& tCase : atMissing)
    {
        SetLastError(kSentinel);
        EXPECT_EQ(GetFileAttributesA(PathOf(tCase.pszName).c_str()), INVALID_FILE_ATTRIBUTES) << tCase.pszName;
        EXPECT_EQ(GetLastError(), tCase.dwError) << tCase.pszName;
        SetLastError(kSentinel);
        EXPECT_FALSE(SetFileAttributesA(PathOf(tCase.pszName).c_str(), FILE_ATTRIBUTE_NORMAL)) << tCase.pszName;
        EXPECT_EQ(GetLastError(), tCase.dwError) << tCase.pszName;
    }
}

// ---- FindFirstFileA, FindNextFileA, FindClose ----------------------------------------------

TEST_F(FilesTest, FindListsDirectoryWithDotEntriesFirst)
{
    MakeFile("b.log", "bb");
    MakeFile("a.txt", "a");
    ASSERT_TRUE(CreateDirectoryA(PathOf("sub").c_str(), nullptr));
    std::vector<std::string> vNames = FindNames(m_sDirectory + "\\*");
    ASSERT_EQ(vNames.size(), 5u);
    EXPECT_EQ(vNames[0], ".");
    EXPECT_EQ(vNames[1], "..");
    std::sort(vNames.begin() + 2, vNames.end());
    EXPECT_EQ(vNames, (std::vector<std::string>{".", "..", "a.txt", "b.log", "sub"}));
}

TEST_F(FilesTest, FindInADriveRootHasNoDotEntries)
{
    const std::vector<std::string> vNames = FindNames("C:\\*");
    EXPECT_FALSE(vNames.empty());
    EXPECT_EQ(std::count(vNames.begin(), vNames.end(), "."), 0);
    EXPECT_EQ(std::count(vNames.begin(), vNames.end(), ".."), 0);
}

TEST_F(FilesTest, FindMatchesWildcardsIgnoringCase)
{
    for (const char* pszName : {"qxqxin00.log", "qxqxin01.log", "QXQXIN02.LOG", "qxqxin.log", "other.txt", "abc"})
    {
        MakeFile(pszName, "x");
    }
    struct Case
    {
        const char* pszMask;
        std::vector<std::string> vExpected;
    };
    const Case atCases[] = {
        {"qxqxin??.log", {"QXQXIN02.LOG", "qxqxin00.log", "qxqxin01.log"}},
        {"*.log", {"QXQXIN02.LOG", "qxqxin.log", "qxqxin00.log", "qxqxin01.log"}},
        {"*.TXT", {"other.txt"}},
        {"a?c", {"abc"}},
        {"*c", {"abc"}},
        {"qxqxin01.log", {"qxqxin01.log"}},
        {"QXQXIN01.LOG", {"qxqxin01.log"}},
    };
    for (const Case& tCase : atCases)
    {
        std::vector<std::string> vNames = FindNames(PathOf(tCase.pszMask));
        std::sort(vNames.begin(), vNames.end());
        EXPECT_EQ(vNames, tCase.vExpected) << tCase.pszMask;
    }
}

TEST_F(FilesTest, FindOfAPathItselfDescribesTheEntry)
{
    MakeFile("entry.txt", "12345");
    WIN32_FIND_DATAA tFindData;
    HANDLE hFind = FindFirstFileA(PathOf("entry.txt").c_str(), &tFindData);
    ASSERT_NE(hFind, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(tFindData.cFileName, "entry.txt");
    EXPECT_EQ(tFindData.nFileSizeLow, 5u);
    EXPECT_EQ(tFindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    SetLastError(kSentinel);
    EXPECT_FALSE(FindNextFileA(hFind, &tFindData));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(hFind));

    ASSERT_TRUE(CreateDirectoryA(PathOf("sub").c_str(), nullptr));
    hFind = FindFirstFileA(PathOf("sub").c_str(), &tFindData);
    ASSERT_NE(hFind, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(tFindData.cFileName, "sub");
    EXPECT_NE(tFindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    FindClose(hFind);
}

TEST_F(FilesTest, FindFailures)
{
    ASSERT_TRUE(CreateDirectoryA(PathOf("sub").c_str(), nullptr));
    struct Case
    {
        std::string sPattern;
        DWORD dwError;
    };
    const Case atCases[] = {
        {PathOf("nothing*"), ERROR_FILE_NOT_FOUND},   {PathOf("missing.txt"), ERROR_FILE_NOT_FOUND},
        {PathOf("missing\\*"), ERROR_PATH_NOT_FOUND}, {PathOf("missing\\x.txt"), ERROR_PATH_NOT_FOUND},
        {PathOf("sub\\"), ERROR_FILE_NOT_FOUND}, // a final backslash names no entry
    };
    for (const Case& tCase : atCases)
    {
        WIN32_FIND_DATAA tFindData;
        SetLastError(kSentinel);
        EXPECT_EQ(FindFirstFileA(tCase.sPattern.c_str(), &tFindData), INVALID_HANDLE_VALUE) << tCase.sPattern;
        EXPECT_EQ(GetLastError(), tCase.dwError) << tCase.sPattern;
    }
}

// ---- _fsopen --------------------------------------------------------------------------

TEST_F(FilesTest, SharedStreamIsReadableWhileOpen)
{
    FILE* pStream = _fsopen(PathOf("s.log").c_str(), "w", _SH_DENYNO);
    ASSERT_NE(pStream, nullptr);
    fputs("first", pStream);
    fflush(pStream);
    // Another open, even for writing, is allowed while the stream is open.
    HANDLE hFile = Open("s.log", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    char achBuffer[16];
    DWORD cbRead = 0;
    ASSERT_TRUE(ReadFile(hFile, achBuffer, sizeof achBuffer, &cbRead, nullptr));
    EXPECT_EQ(std::string(achBuffer, cbRead), "first");
    CloseHandle(hFile);
    fclose(pStream);

    pStream = _fsopen(PathOf("s.log").c_str(), "a", _SH_DENYNO);
    ASSERT_NE(pStream, nullptr);
    fputs("+second", pStream);
    fclose(pStream);
    EXPECT_EQ(ReadFileText(PathOf("s.log")), "first+second");

    pStream = _fsopen(PathOf("s.log").c_str(), "w", _SH_DENYNO);
    ASSERT_NE(pStream, nullptr);
    fclose(pStream);
    EXPECT_EQ(ReadFileText(PathOf("s.log")), "");
}

TEST_F(FilesTest, StreamInMissingDirectoryFails)
{
    EXPECT_EQ(_fsopen(PathOf("missing\\s.log").c_str(), "w", _SH_DENYNO), nullptr);
    EXPECT_EQ(_fsopen(PathOf("absent.log").c_str(), "r", _SH_DENYNO), nullptr);
}

// ---- Descriptors and streams over handles ---------------------------------------------------

// True when nothing holds the file open any more: an open that allows no
// sharing gets it.
bool NothingHolds(const std::string& sPath)
{
    HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(hFile);
    return true;
}

// _fdopen never empties the file, whatever the mode: "w" writes from the start.
TEST_F(FilesTest, StreamOverAHandleWritesItsFileAndClosesIt)
{
    struct Case
    {
        const char* pszMode;
        int nFlags;
        const char* pszExpected;
    };
    const Case atCases[] = {{"w", 0, "new content"}, {"a", _O_APPEND, "old contentnew"}};
    for (const Case& tCase : atCases)
    {
        SCOPED_TRACE(tCase.pszMode);
        MakeFile("over.log", "old content");
        HANDLE hFile = Open("over.log", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
        ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(hFile), tCase.nFlags);
        ASSERT_NE(fd, -1);
        FILE* pStream = _fdopen(fd, tCase.pszMode);
        ASSERT_NE(pStream, nullptr);
        EXPECT_GE(fputs("new", pStream), 0);
        EXPECT_EQ(fclose(pStream), 0);
        EXPECT_TRUE(NothingHolds(PathOf("over.log")));
        EXPECT_EQ(ReadFileText(PathOf("over.log")), tCase.pszExpected);
    }
}

TEST_F(FilesTest, TheDescriptorOwnsTheHandle)
{
    MakeFile("fd.log", "x");
    HANDLE hFile = Open("fd.log", GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(hFile), 0);
    ASSERT_NE(fd, -1);
    // The emulated machine's share check does not see descriptors.
    if (!IsEmulatedMachine())
    {
        EXPECT_FALSE(NothingHolds(PathOf("fd.log")));
    }
    EXPECT_EQ(_close(fd), 0);
    EXPECT_TRUE(NothingHolds(PathOf("fd.log")));
}

// ---- GetShortPathNameA --------------------------------------------------------------------

// Names that are 8.3 names already, so that Windows gives them back unchanged.
class ShortPathTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CreateDirectoryA(m_sDirectory.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        HANDLE hFile =
            CreateFileA(m_sFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(hFile, INVALID_HANDLE_VALUE);
        CloseHandle(hFile);
    }
    void TearDown() override
    {
        DeleteFileA(m_sFile.c_str());
        RemoveDirectoryA(m_sDirectory.c_str());
    }

    TestMachine m_tMachine;
    const std::string m_sDirectory = "C:\\QXZSHORT";
    const std::string m_sFile = "C:\\QXZSHORT\\A.TXT";
};

TEST_F(ShortPathTest, ExistingPathIsCopiedWithBufferRule)
{
    char szShort[MAX_PATH];
    SetLastError(kSentinel);
    const DWORD cch = GetShortPathNameA(m_sFile.c_str(), szShort, sizeof szShort);
    EXPECT_EQ(cch, m_sFile.size());
    EXPECT_STREQ(szShort, m_sFile.c_str());

    // Too small a buffer: the size needed, terminating zero included.
    char szSmall[4] = "xyz";
    EXPECT_EQ(GetShortPathNameA(m_sFile.c_str(), szSmall, sizeof szSmall), m_sFile.size() + 1);
    EXPECT_EQ(GetShortPathNameA(m_sFile.c_str(), nullptr, 0), m_sFile.size() + 1);
    // Exactly the length is still one short.
    std::vector<char> vExact(m_sFile.size());
    EXPECT_EQ(GetShortPathNameA(m_sFile.c_str(), vExact.data(), static_cast<DWORD>(vExact.size())), m_sFile.size() + 1);
}

TEST_F(ShortPathTest, MissingPathFails)
{
    char szShort[MAX_PATH];
    // Whichever component is missing, the name is not found.
    for (const char* pszPath : {"C:\\QXZSHORT\\B.TXT", "C:\\QXZSHORT\\NONE\\B.TXT", "C:\\QXZSHORT\\A.TXT\\B"})
    {
        SetLastError(kSentinel);
        EXPECT_EQ(GetShortPathNameA(pszPath, szShort, sizeof szShort), 0u) << pszPath;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << pszPath;
    }
}

// ---- System directories, module name ------------------------------------------------------

// A drive's root is a directory but no entry of one: its attributes are
// found, a search for it finds nothing.
TEST(SystemPathsTest, ADrivesRootHasAttributesButIsNoDirectoryEntry)
{
    TestMachine tMachine;
    for (const char* pszDrive : {"C:\\", "C:", "c:\\"})
    {
        const DWORD dwAttributes = GetFileAttributesA(pszDrive);
        EXPECT_NE(dwAttributes, INVALID_FILE_ATTRIBUTES) << pszDrive;
        EXPECT_NE(dwAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u) << pszDrive;
    }
    WIN32_FIND_DATAA tFindData;
    const HANDLE hFind = FindFirstFileA("C:\\", &tFindData);
    EXPECT_EQ(hFind, INVALID_HANDLE_VALUE);
    if (hFind != INVALID_HANDLE_VALUE)
        FindClose(hFind);
}

TEST(SystemPathsTest, WindowsAndSystemDirectoriesWithBufferRule)
{
    TestMachine tMachine;
    char szWindows[MAX_PATH];
    const UINT cchWindows = GetWindowsDirectoryA(szWindows, sizeof szWindows);
    ASSERT_GT(cchWindows, 3u);
    ASSERT_EQ(cchWindows, strlen(szWindows));
    EXPECT_TRUE(SameTextIgnoringCase(szWindows, "C:\\WINDOWS"));
    EXPECT_NE(GetFileAttributesA(szWindows) & FILE_ATTRIBUTE_DIRECTORY, 0u);

    char szSystem[MAX_PATH];
    const UINT cchSystem = GetSystemDirectoryA(szSystem, sizeof szSystem);
    ASSERT_EQ(cchSystem, strlen(szSystem));
    EXPECT_TRUE(SameTextIgnoringCase(szSystem, std::string(szWindows) + "\\SYSTEM32"));
    EXPECT_NE(GetFileAttributesA(szSystem) & FILE_ATTRIBUTE_DIRECTORY, 0u);

    char szSmall[4] = "xyz";
    EXPECT_EQ(GetWindowsDirectoryA(szSmall, sizeof szSmall), cchWindows + 1);
    EXPECT_STREQ(szSmall, "xyz");
    EXPECT_EQ(GetWindowsDirectoryA(nullptr, 0), cchWindows + 1);
    EXPECT_EQ(GetSystemDirectoryA(szSmall, cchSystem), cchSystem + 1);
}

TEST(SystemPathsTest, ComputerNameWithBufferRule)
{
    TestMachine tMachine;
    char szName[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD cchName = sizeof szName;
    SetLastError(kSentinel);
    ASSERT_TRUE(GetComputerNameA(szName, &cchName));
    EXPECT_GT(cchName, 0u);
    EXPECT_LE(cchName, static_cast<DWORD>(MAX_COMPUTERNAME_LENGTH));
    EXPECT_EQ(cchName, strlen(szName));

    // Too small: the size asked for counts the NUL.
    char szSmall[2] = "x";
    DWORD cchSmall = 1;
    SetLastError(kSentinel);
    EXPECT_FALSE(GetComputerNameA(szSmall, &cchSmall));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
    EXPECT_EQ(cchSmall, cchName + 1);
}

TEST(SystemPathsTest, ModuleFileNameIsThisProgram)
{
    TestMachine tMachine;
    char szModule[MAX_PATH];
    const DWORD cchModule = GetModuleFileNameA(nullptr, szModule, sizeof szModule);
    ASSERT_GT(cchModule, 3u);
    ASSERT_EQ(cchModule, strlen(szModule));
    EXPECT_EQ(szModule[1], ':');
    EXPECT_EQ(szModule[2], '\\');
    const DWORD dwAttributes = GetFileAttributesA(szModule);
    ASSERT_NE(dwAttributes, INVALID_FILE_ATTRIBUTES) << szModule;
    EXPECT_EQ(dwAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);

    // A name that does not fit is cut; the result is the buffer's size.
    char szSmall[8];
    SetLastError(kSentinel);
    EXPECT_EQ(GetModuleFileNameA(nullptr, szSmall, sizeof szSmall), sizeof szSmall);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(szSmall, sizeof szSmall - 1), std::string(szModule, sizeof szSmall - 1));
}

// ---- Environment ----------------------------------------------------------------------------

TEST(EnvironmentTest, SetGetAndRemove)
{
    const char* pszName = "QXZ_TEST_VARIABLE";
    ASSERT_TRUE(SetEnvironmentVariableA(pszName, "value one"));
    char szValue[64];
    SetLastError(kSentinel);
    EXPECT_EQ(GetEnvironmentVariableA(pszName, szValue, sizeof szValue), 9u);
    EXPECT_STREQ(szValue, "value one");

    // Too small: the size needed, terminating zero included.
    EXPECT_EQ(GetEnvironmentVariableA(pszName, szValue, 9), 10u);
    EXPECT_EQ(GetEnvironmentVariableA(pszName, nullptr, 0), 10u);

    ASSERT_TRUE(SetEnvironmentVariableA(pszName, nullptr));
    SetLastError(kSentinel);
    EXPECT_EQ(GetEnvironmentVariableA(pszName, szValue, sizeof szValue), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
}

TEST(EnvironmentTest, EmptyValueIsPresent)
{
    const char* pszName = "QXZ_TEST_EMPTY";
    ASSERT_TRUE(SetEnvironmentVariableA(pszName, ""));
    char szValue[8] = "xyz";
    SetLastError(kSentinel);
    EXPECT_EQ(GetEnvironmentVariableA(pszName, szValue, sizeof szValue), 0u);
    EXPECT_EQ(GetLastError(), kSentinel); // not ERROR_ENVVAR_NOT_FOUND: it is there
    EXPECT_STREQ(szValue, "");
    ASSERT_TRUE(SetEnvironmentVariableA(pszName, nullptr));
}

// ---- Injected faults (emulated machine only) ----------------------------------------------

TEST(FaultTest, InjectedFaultFailsTheCallWithItsCode)
{
    if (!IsEmulatedMachine())
        GTEST_SKIP() << "faults are injected into the emulated machine only";
    TestMachine tMachine;
    ASSERT_TRUE(SetEnvironmentVariableA("QXZ_FAULTS", "FindFirstFileA=5;GetWindowsDirectoryA#2=8"));
    WIN32_FIND_DATAA tFindData;
    SetLastError(kSentinel);
    EXPECT_EQ(FindFirstFileA("C:\\WINDOWS", &tFindData), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    char szWindows[MAX_PATH];
    EXPECT_NE(GetWindowsDirectoryA(szWindows, sizeof szWindows), 0u);
    SetLastError(kSentinel);
    EXPECT_EQ(GetWindowsDirectoryA(szWindows, sizeof szWindows), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    ASSERT_TRUE(SetEnvironmentVariableA("QXZ_FAULTS", nullptr));
    WIN32_FIND_DATAA tAfter;
    HANDLE hFind = FindFirstFileA("C:\\WINDOWS", &tAfter);
    EXPECT_NE(hFind, INVALID_HANDLE_VALUE);
    FindClose(hFind);
}

} // namespace
