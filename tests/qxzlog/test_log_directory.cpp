// Reading a directory of logs: which files, what each holds, the order of
// runs, and that reading leaves every log as it was, its access time too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/support/host_links.h"
#include "tests/support/test_machine.h"
#include "tools/qxzlog/log_directory.h"
#include "tools/qxzlog/output.h"

namespace
{

using qxz::qxzlog::JsonString;
using qxz::qxzlog::LogFile;
using qxz::qxzlog::LogPathFor;
using qxz::qxzlog::ReadLogDirectory;
using qxz::qxzlog::RunRef;
using qxz::qxzlog::RunsNewestFirst;
using qxz::test::kNoSymbolicLinks;
using qxz::test::MakeSymbolicLink;
using qxz::test::ReadFileText;
using qxz::test::TestMachine;

// 2001-02-03 04:05:06 UTC and ten days later: times no test run makes itself.
constexpr uint64_t kOldTicks = 126258435060000000ull;
constexpr uint64_t kTenDays = 10ull * 86400 * 10000000;

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

std::string Header(const char* pszTime)
{
    return std::string("\n**** ") + pszTime + " - Logging Enabled ****\n\n";
}

class LogDirectoryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_sDirectory = m_tMachine.NewDirectory("logs");
        ASSERT_FALSE(m_sDirectory.empty());
    }

    std::string PathOf(const std::string& sName) const
    {
        return m_sDirectory + "\\" + sName;
    }

    // A file with the given bytes, last written at nWritten and last accessed
    // at nAccessed: before its last write, so that reading it would move the
    // access time even where the file system updates it only then.
    void MakeFile(const std::string& sName, const std::string& sBytes, uint64_t nWritten = kOldTicks + kTenDays,
                  uint64_t nAccessed = kOldTicks)
    {
        HANDLE hFile = CreateFileA(PathOf(sName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(hFile, INVALID_HANDLE_VALUE) << sName;
        DWORD cbWritten = 0;
        ASSERT_TRUE(WriteFile(hFile, sBytes.data(), static_cast<DWORD>(sBytes.size()), &cbWritten, nullptr));
        const FILETIME ftAccessed = MakeFileTime(nAccessed);
        const FILETIME ftWritten = MakeFileTime(nWritten);
        ASSERT_TRUE(SetFileTime(hFile, nullptr, &ftAccessed, &ftWritten));
        ASSERT_TRUE(CloseHandle(hFile));
    }

    // Last access and last write, as a directory search reports them.
    std::pair<uint64_t, uint64_t> Times(const std::string& sName)
    {
        WIN32_FIND_DATAA tFindData;
        HANDLE hFind = FindFirstFileA(PathOf(sName).c_str(), &tFindData);
        EXPECT_NE(hFind, INVALID_HANDLE_VALUE) << sName;
        if (hFind == INVALID_HANDLE_VALUE)
            return {0, 0};
        FindClose(hFind);
        return {Ticks(tFindData.ftLastAccessTime), Ticks(tFindData.ftLastWriteTime)};
    }

    TestMachine m_tMachine;
    std::string m_sDirectory;
};

TEST_F(LogDirectoryTest, ReadingLeavesEveryLogAndItsTimesAsTheyWere)
{
    const std::string sLog = Header("Wed Dec 09 23:12:19 2026") + "Driver Name = Model A\nThe Pin Succeeded\n";
    const std::string sBig(3u << 20, 'x');
    MakeFile("qxqxin00.log", sLog);
    MakeFile("qxqxin01.log", sLog + sBig, kOldTicks + 2 * kTenDays, kOldTicks + 1);
    MakeFile("qxqxin02.log", "");
    const std::vector<std::string> vNames = {"qxqxin00.log", "qxqxin01.log", "qxqxin02.log"};
    std::vector<std::pair<uint64_t, uint64_t>> vBefore;
    for (const std::string& sName : vNames)
        vBefore.push_back(Times(sName));
    // Accessed no later than written (the emulated machine shows the write as an access).
    ASSERT_LE(vBefore[0].first, vBefore[0].second);

    std::vector<LogFile> vFiles;
    DWORD dwError = 0;
    ASSERT_TRUE(ReadLogDirectory(m_sDirectory, &vFiles, &dwError));
    ASSERT_EQ(vFiles.size(), 3u);
    EXPECT_EQ(vFiles[0].vRuns.size(), 1u);
    EXPECT_EQ(vFiles[1].vRuns.size(), 1u);
    EXPECT_EQ(vFiles[2].sProblem, "empty file");
    for (size_t i = 0; i < vNames.size(); ++i)
    {
        SCOPED_TRACE(vNames[i]);
        EXPECT_EQ(Times(vNames[i]), vBefore[i]);
    }
    EXPECT_EQ(ReadFileText(PathOf("qxqxin00.log")), sLog);
    EXPECT_EQ(ReadFileText(PathOf("qxqxin01.log")), sLog + sBig);
}

// A running Pin holds its log open for writing, sharing it; it is read as it
// stands, and the Pin goes on writing.
TEST_F(LogDirectoryTest, ALogHeldOpenByAWriterIsReadAsItStands)
{
    const std::string sLog = Header("Wed Dec 09 23:12:19 2026") + "Input PortName is :: USB001\n";
    MakeFile("qxqxin00.log", sLog);
    HANDLE hWriter = CreateFileA(PathOf("qxqxin00.log").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(hWriter, INVALID_HANDLE_VALUE);
    std::vector<LogFile> vFiles;
    DWORD dwError = 0;
    ASSERT_TRUE(ReadLogDirectory(m_sDirectory, &vFiles, &dwError));
    ASSERT_EQ(vFiles.size(), 1u);
    ASSERT_EQ(vFiles[0].vRuns.size(), 1u) << vFiles[0].sProblem;
    EXPECT_EQ(vFiles[0].vRuns[0].tPort.sValue, "USB001");
    DWORD cbWritten = 0;
    EXPECT_TRUE(WriteFile(hWriter, "x", 1, &cbWritten, nullptr));
    CloseHandle(hWriter);
}

TEST_F(LogDirectoryTest, WhatIsNoLogIsToldAsSuch)
{
    ASSERT_TRUE(CreateDirectoryA(PathOf("qxqxin05.log").c_str(), nullptr));
    MakeFile("qxqxin06.log", std::string("\x01\x02\xff garbage\n", 12));
    MakeFile("other.log", Header("Wed Dec 09 23:12:19 2026"));
    MakeFile("qxqxin07.txt", Header("Wed Dec 09 23:12:19 2026"));
    const bool fLink = MakeSymbolicLink(PathOf("qxqxin08.log"), PathOf("qxqxin06.log"));
    std::vector<LogFile> vFiles;
    DWORD dwError = 0;
    ASSERT_TRUE(ReadLogDirectory(m_sDirectory, &vFiles, &dwError));
    ASSERT_EQ(vFiles.size(), fLink ? 3u : 2u);
    EXPECT_EQ(vFiles[0].sName, "qxqxin05.log");
    EXPECT_EQ(vFiles[0].sProblem, "a directory");
    EXPECT_EQ(vFiles[1].sProblem, "no run in it (no header line)");
    if (!fLink)
        GTEST_SKIP() << kNoSymbolicLinks;
    EXPECT_EQ(vFiles[2].sProblem, "a link, not followed");
}

TEST_F(LogDirectoryTest, ADirectoryThatIsMissingOrEmpty)
{
    std::vector<LogFile> vFiles;
    DWORD dwError = 0;
    EXPECT_TRUE(ReadLogDirectory(m_sDirectory, &vFiles, &dwError));
    EXPECT_TRUE(vFiles.empty());
    EXPECT_FALSE(ReadLogDirectory(PathOf("missing"), &vFiles, &dwError));
    MakeFile("file", "x");
    EXPECT_FALSE(ReadLogDirectory(PathOf("file"), &vFiles, &dwError));
    EXPECT_EQ(dwError, static_cast<DWORD>(ERROR_DIRECTORY));
}

// Newest first by the header's time, whatever the numbers say; a run without
// a time by its file's last write; equal times by the last write.
TEST_F(LogDirectoryTest, RunsNewestFirst)
{
    MakeFile("qxqxin00.log", Header("Thu Dec 10 08:00:00 2026"), kOldTicks + 1);
    MakeFile("qxqxin01.log", Header("Wed Dec 09 23:12:19 2026") + Header("Wed Dec 09 23:12:20 2026"), kOldTicks + 2);
    MakeFile("qxqxin02.log", Header("Unknown"), kOldTicks + 3);
    MakeFile("qxqxin03.log", Header("Thu Dec 10 08:00:00 2026"), kOldTicks + 4);
    std::vector<LogFile> vFiles;
    DWORD dwError = 0;
    ASSERT_TRUE(ReadLogDirectory(m_sDirectory, &vFiles, &dwError));
    std::vector<std::string> vOrder;
    for (const RunRef& tRef : RunsNewestFirst(vFiles))
    {
        vOrder.push_back(tRef.ptFile->sName + "#" + std::to_string(tRef.iRun + 1));
    }
    const std::vector<std::string> vExpected = {"qxqxin03.log#1", "qxqxin00.log#1", "qxqxin01.log#2", "qxqxin01.log#1",
                                                "qxqxin02.log#1"};
    EXPECT_EQ(vOrder, vExpected);
}

TEST(LogPathForTest, NumbersNamesAndPaths)
{
    const struct
    {
        const char* pszDirectory;
        const char* pszFile;
        const char* pszPath;
    } aCases[] = {
        {"C:\\TEMP", "7", "C:\\TEMP\\qxqxin07.log"},   {"C:\\TEMP\\", "07", "C:\\TEMP\\qxqxin07.log"},
        {"/tmp/logs", "99", "/tmp/logs/qxqxin99.log"}, {"C:\\TEMP", "qxqxin03.log", "C:\\TEMP\\qxqxin03.log"},
        {"C:\\TEMP", "100", "C:\\TEMP\\100"},          {"C:\\TEMP", "Z:\\x\\a.log", "Z:\\x\\a.log"},
        {"C:\\TEMP", "/x/a.log", "/x/a.log"},
    };
    for (const auto& tCase : aCases)
    {
        EXPECT_EQ(LogPathFor(tCase.pszDirectory, tCase.pszFile), tCase.pszPath) << tCase.pszFile;
    }
}

TEST(JsonStringTest, EscapesEveryByteThatJsonCannotCarryAsItIs)
{
    const struct
    {
        std::string sBytes;
        const char* pszJson;
    } aCases[] = {
        {"Model A", "\"Model A\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {std::string("\0\n\x1f\x7f", 4), "\"\\u0000\\u000a\\u001f\\u007f\""},
        {"\x80\xe9\xff", "\"\\u0080\\u00e9\\u00ff\""},
        {"%s%n", "\"%s%n\""},
        {"", "\"\""},
    };
    for (const auto& tCase : aCases)
        EXPECT_EQ(JsonString(tCase.sBytes), tCase.pszJson);
}

} // namespace
