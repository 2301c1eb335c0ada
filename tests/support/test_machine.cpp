#include "tests/support/test_machine.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/win32.h"

#ifndef _WIN32
#include <unistd.h>

#include "platform/posix/machine/machine_root.h"
#include "platform/posix/machine/paths.h"
#endif

namespace qxz::test
{

namespace
{

unsigned g_nDirectoryCounter = 0;

#ifndef _WIN32
void SetRootVariable(bool fPresent, const std::string& sValue)
{
    if (fPresent)
    {
        setenv("QXZ_MACHINE_ROOT", sValue.c_str(), 1);
    }
    else
    {
        unsetenv("QXZ_MACHINE_ROOT");
    }
    qxz::posix::ResetMachineRootForTests();
}
#endif

// Windows form of a path to a host path that this process can open.
std::string HostPath(const std::string& sWindowsPath)
{
#ifdef _WIN32
    return sWindowsPath;
#else
    std::string sPosix;
    DWORD dwError = 0;
    return qxz::posix::ToPosixPath(sWindowsPath.c_str(), &sPosix, &dwError) ? sPosix : std::string();
#endif
}

} // namespace

bool IsEmulatedMachine()
{
#ifdef _WIN32
    return false;
#else
    return true;
#endif
}

TestMachine::TestMachine(const std::string& sHostParent)
{
#ifdef _WIN32
    (void)sHostParent;
#else
    const char* pszOld = getenv("QXZ_MACHINE_ROOT");
    m_fHadRootVariable = pszOld != nullptr;
    if (pszOld != nullptr)
        m_sSavedRootVariable = pszOld;
    const std::filesystem::path parent =
        sHostParent.empty() ? std::filesystem::temp_directory_path() : std::filesystem::path(sHostParent);
    std::string sTemplate = (parent / "qxz-test-XXXXXX").string();
    if (mkdtemp(sTemplate.data()) != nullptr)
        m_sRoot = sTemplate;
    SetRootVariable(true, m_sRoot);
#endif
}

TestMachine::~TestMachine()
{
    std::error_code tError;
    for (const std::string& sDirectory : m_vDirectories)
    {
        std::filesystem::remove_all(HostPath(sDirectory), tError);
    }
#ifndef _WIN32
    if (getenv("QXZ_KEEP_TEST_ROOT") == nullptr && !m_sRoot.empty())
    {
        std::filesystem::remove_all(m_sRoot, tError);
    }
    SetRootVariable(m_fHadRootVariable, m_sSavedRootVariable);
#endif
}

std::string TestMachine::NewDirectory(const std::string& sLabel)
{
    char szBase[MAX_PATH] = "C:\\";
#ifdef _WIN32
    GetTempPathA(sizeof szBase, szBase);
#endif
    std::string sDirectory = std::string(szBase) + "qxz-" + sLabel + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++g_nDirectoryCounter);
    std::error_code tError;
    std::filesystem::remove_all(HostPath(sDirectory), tError);
    if (!CreateDirectoryA(sDirectory.c_str(), nullptr))
        return std::string();
    m_vDirectories.push_back(sDirectory);
    return sDirectory;
}

void DeleteRegistryTree(HKEY hParent, const std::string& sName)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(hParent, sName.c_str(), 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS)
        return;
    char szSubkey[256];
    DWORD cchSubkey = sizeof szSubkey;
    while (RegEnumKeyExA(hKey, 0, szSubkey, &cchSubkey, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
    {
        DeleteRegistryTree(hKey, szSubkey);
        cchSubkey = sizeof szSubkey;
    }
    RegCloseKey(hKey);
    RegDeleteKeyA(hParent, sName.c_str());
}

bool KeyExists(const std::string& sPath)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sPath.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

std::string ReadFileText(const std::string& sWindowsPath)
{
    std::string sText;
    FILE* pFile = fopen(HostPath(sWindowsPath).c_str(), "rb");
    if (pFile == nullptr)
        return sText;
    char achBuffer[4096];
    size_t cbRead;
    while ((cbRead = fread(achBuffer, 1, sizeof achBuffer, pFile)) > 0)
        sText.append(achBuffer, cbRead);
    fclose(pFile);
    return sText;
}

std::vector<std::string> SplitLines(const std::string& sText)
{
    std::vector<std::string> vLines;
    size_t nStart = 0;
    while (nStart < sText.size())
    {
        size_t nEnd = sText.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = sText.size();
        vLines.push_back(sText.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    return vLines;
}

} // namespace qxz::test
