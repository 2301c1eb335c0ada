// Where the logs go: the temporary directory.
#include <cstdlib>

#include "log/log_file.h"
#include "platform/win32.h"

namespace
{

// A variable that is not set reads as empty.
std::string EnvironmentValue(const char* pszName)
{
    const char* pszValue = getenv(pszName);
    return pszValue == nullptr ? std::string() : std::string(pszValue);
}

// The directory search does not find a directory named with a final
// backslash ("C:\Temp\"), although TEMP and TMP are often written that way.
// A drive's root keeps its backslash.
std::string WithoutFinalBackslash(const std::string& sDirectory)
{
    const size_t cch = sDirectory.size();
    if (cch >= 2 && sDirectory[cch - 1] == '\\' && sDirectory[cch - 2] != ':' && sDirectory[cch - 2] != '\\')
    {
        return sDirectory.substr(0, cch - 1);
    }
    return sDirectory;
}

// A drive alone: its root ("C:\") or its current directory ("C:"). The
// directory search finds neither, as neither is an entry of a directory.
bool IsDriveRoot(const std::string& sPath)
{
    const size_t cch = sPath.size();
    const char chLetter = static_cast<char>(cch > 0 ? sPath[0] | 0x20 : 0);
    return (cch == 2 || (cch == 3 && sPath[2] == '\\')) && sPath[1] == ':' && chLetter >= 'a' && chLetter <= 'z';
}

// The directory that TEMP, else TMP, else the TEMP directory at the root of
// the Windows drive names, as it is written.
bool NamedTempDirectory(std::string* psDirectory)
{
    std::string sDirectory = EnvironmentValue("TEMP");
    if (sDirectory.empty())
        sDirectory = EnvironmentValue("TMP");
    if (sDirectory.empty())
    {
        char szWindows[MAX_PATH];
        const UINT cchWindows = GetWindowsDirectoryA(szWindows, sizeof szWindows);
        if (cchWindows == 0 || cchWindows >= sizeof szWindows)
            return false;
        sDirectory = std::string(szWindows, cchWindows).substr(0, 3) + "TEMP";
    }
    *psDirectory = sDirectory;
    return true;
}

std::string WithFinalBackslash(const std::string& sDirectory)
{
    return sDirectory.back() == '\\' ? sDirectory : sDirectory + '\\';
}

} // namespace

bool CLogFile::GetTempDirectory(std::string* psDirectory)
{
    std::string sDirectory;
    if (!NamedTempDirectory(&sDirectory))
        return false;
    const std::string sSearchPath = WithoutFinalBackslash(sDirectory);
    if (!PathExists(sSearchPath) && !CreateDirectoryA(sDirectory.c_str(), nullptr))
        return false;
    if (!PathExists(sSearchPath))
        return false;
    // Child processes find the same directory; a TMP that is set stays as it is.
    if (getenv("TMP") == nullptr && !SetEnvironmentVariableA("TMP", sDirectory.c_str()))
        return false;
    *psDirectory = WithFinalBackslash(sDirectory);
    return true;
}

bool CLogFile::FindTempDirectory(std::string* psDirectory)
{
    std::string sDirectory;
    if (!NamedTempDirectory(&sDirectory) || !PathExists(WithoutFinalBackslash(sDirectory)))
        return false;
    *psDirectory = WithFinalBackslash(sDirectory);
    return true;
}

bool CLogFile::PathExists(const std::string& sPath)
{
    if (sPath.empty())
        return false;
    if (IsDriveRoot(sPath))
        return GetFileAttributesA(sPath.c_str()) != INVALID_FILE_ATTRIBUTES;
    WIN32_FIND_DATAA tFindData;
    HANDLE hFind = FindFirstFileA(sPath.c_str(), &tFindData);
    if (hFind == INVALID_HANDLE_VALUE)
        return false;
    FindClose(hFind);
    return true;
}
