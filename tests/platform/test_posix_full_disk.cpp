// The emulated machine on a full disk: every call that needs space fails
// with an error, and none kills the process (the kernel-object table is
// mapped; a page the disk cannot supply would be a SIGBUS at first touch).
// Runs as root only: the disk is a small tmpfs that the test mounts.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/kernel32/version.h"
#include "platform/posix/machine/atomic_file.h"
#include "platform/posix/machine/machine_root.h"
#include "platform/win32.h"
#include "regtext/reg_text.h"
#include "tests/support/test_machine.h"

namespace
{

constexpr char kKeyPath[] = "SOFTWARE\\Vorquelle\\QXZ\\Glue\\Model A";

// Writes one file until the file system has not one byte left.
bool Fill(const std::string& sDirectory)
{
    FILE* pFile = fopen((sDirectory + "/filler").c_str(), "wb");
    if (pFile == nullptr)
        return false;
    setvbuf(pFile, nullptr, _IONBF, 0);
    static const char achZeros[65536] = {};
    for (size_t cbChunk : {sizeof achZeros, size_t{4096}, size_t{1}})
    {
        while (fwrite(achZeros, 1, cbChunk, pFile) == cbChunk)
        {
        }
    }
    const bool fFull = errno == ENOSPC;
    fclose(pFile);
    return fFull;
}

LONG SetString(HKEY hKey, const char* pszName, const char* pszText)
{
    return RegSetValueExA(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(pszText),
                          static_cast<DWORD>(strlen(pszText) + 1));
}

// A tmpfs of a few hundred KiB, mounted in this process's own mount
// namespace (so that it goes with the process, whatever happens) and
// unmounted when the test ends.
class FullDisk : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "mounting a tmpfs needs root";
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        {
            GTEST_SKIP() << "no mount namespace of its own: " << strerror(errno);
        }
        std::string sTemplate = (std::filesystem::temp_directory_path() / "qxz-full-disk-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(sTemplate.data()));
        m_sDisk = sTemplate;
        ASSERT_EQ(0, mount("tmpfs", m_sDisk.c_str(), "tmpfs", 0, "size=512k")) << strerror(errno);
        m_fMounted = true;
        m_pMachine = std::make_unique<qxz::test::TestMachine>(m_sDisk);
        ASSERT_FALSE(m_pMachine->Root().empty());
    }

    void TearDown() override
    {
        m_pMachine.reset();
        if (m_fMounted)
        {
            EXPECT_EQ(0, umount2(m_sDisk.c_str(), MNT_DETACH)) << strerror(errno);
        }
        if (!m_sDisk.empty())
            rmdir(m_sDisk.c_str());
    }

    std::vector<std::string> FilesLeftAside() const
    {
        std::vector<std::string> vAside;
        for (const auto& entry : std::filesystem::directory_iterator(m_pMachine->Root()))
        {
            if (entry.path().filename().string().find(".new.") != std::string::npos)
            {
                vAside.push_back(entry.path().filename().string());
            }
        }
        return vAside;
    }

    std::string m_sDisk;
    bool m_fMounted = false;
    std::unique_ptr<qxz::test::TestMachine> m_pMachine;
};

DWORD ObjectError(HANDLE hObject)
{
    if (hObject == nullptr)
        return GetLastError();
    CloseHandle(hObject);
    return ERROR_SUCCESS;
}

struct FullDiskCase
{
    const char* pszCall;
    std::function<DWORD()> fnCall; // the call's error, ERROR_SUCCESS when it succeeded
    DWORD dwExpected;
};

TEST_F(FullDisk, EveryCallThatNeedsSpaceFailsWithAnErrorAndTheMachineStaysWhole)
{
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &hKey, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, SetString(hKey, "GluePath", "C:\\Glue\\"));
    std::string sRegistryBefore;
    ASSERT_TRUE(qxz::posix::ReadWholeFile(qxz::posix::MachineFile("registry.reg"), &sRegistryBefore));
    ASSERT_TRUE(Fill(m_sDisk));

    const FullDiskCase kCases[] = {
        // The first object of the machine needs the table of kernel objects.
        {"CreateMutexA", [] { return ObjectError(CreateMutexA(nullptr, FALSE, "QXZ_Full_Mutex")); }, ERROR_DISK_FULL},
        {"CreateEventA", [] { return ObjectError(CreateEventA(nullptr, TRUE, FALSE, "QXZ_Full_Event")); },
         ERROR_DISK_FULL},
        {"OpenMutexA", [] { return ObjectError(OpenMutexA(SYNCHRONIZE, FALSE, "QXZ_Full_Mutex")); }, ERROR_DISK_FULL},
        // The registry reports its own error for a change it cannot write.
        {"RegSetValueExA", [&] { return static_cast<DWORD>(SetString(hKey, "pinpathname", "C:\\p.exe")); },
         ERROR_CANTWRITE},
        {"SetMachineVersion", [] { return qxz::posix::SetMachineVersion("winme"); }, ERROR_DISK_FULL},
        {"WriteFile",
         [] {
             HANDLE hFile =
                 CreateFileA("C:\\big.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
             if (hFile == INVALID_HANDLE_VALUE)
                 return GetLastError();
             static const char achData[65536] = {};
             DWORD cbWritten = 0;
             const DWORD dwError =
                 WriteFile(hFile, achData, sizeof achData, &cbWritten, nullptr) ? ERROR_SUCCESS : GetLastError();
             CloseHandle(hFile);
             return dwError;
         },
         ERROR_DISK_FULL},
    };
    for (const FullDiskCase& tCase : kCases)
    {
        SCOPED_TRACE(tCase.pszCall);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(tCase.dwExpected, tCase.fnCall());
    }
    RegCloseKey(hKey);

    std::string sRegistryAfter;
    ASSERT_TRUE(qxz::posix::ReadWholeFile(qxz::posix::MachineFile("registry.reg"), &sRegistryAfter));
    EXPECT_EQ(sRegistryBefore, sRegistryAfter);
    EXPECT_EQ(std::vector<std::string>{}, FilesLeftAside());
}

} // namespace
