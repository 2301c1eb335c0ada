// Directory-entry search: FindFirstFileA, FindNextFileA, FindClose. The
// pattern's last component may hold * and ?; names match ignoring case.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/machine/call_steps.h"
#include "platform/posix/machine/file_status.h"
#include "platform/posix/machine/handles.h"
#include "platform/posix/machine/last_error.h"
#include "platform/posix/machine/machine_root.h"

using namespace qxz::posix;

namespace
{

// The entries found, taken when the search starts and handed out in turn.
class FindObject : public HandleObject
{
public:
    explicit FindObject(std::vector<WIN32_FIND_DATAA> vEntries)
        : HandleObject(HandleKind::Find), m_vEntries(std::move(vEntries))
    {
    }

    bool Next(WIN32_FIND_DATAA* pFindData)
    {
        if (m_nNext >= m_vEntries.size())
            return false;
        *pFindData = m_vEntries[m_nNext++];
        return true;
    }

private:
    std::vector<WIN32_FIND_DATAA> m_vEntries;
    size_t m_nNext = 0;
};

bool SameLetter(char ch1, char ch2)
{
    return tolower(static_cast<unsigned char>(ch1)) == tolower(static_cast<unsigned char>(ch2));
}

// * matches any run of characters (dots too), ? exactly one.
bool MatchesMask(const char* pszMask, const char* pszName)
{
    const char* pszStar = nullptr;
    const char* pszAfterStar = nullptr;
    while (*pszName != '\0')
    {
        if (*pszMask == '*')
        {
            pszStar = pszMask++;
            pszAfterStar = pszName;
        }
        else if (*pszMask != '\0' && (*pszMask == '?' || SameLetter(*pszMask, *pszName)))
        {
            ++pszMask;
            ++pszName;
        }
        else if (pszStar != nullptr)
        {
            pszMask = pszStar + 1;
            pszName = ++pszAfterStar;
        }
        else
        {
            return false;
        }
    }
    while (*pszMask == '*')
        ++pszMask;
    return *pszMask == '\0';
}

bool IsDriveRoot(const std::string& sPosixDirectory)
{
    std::string sDirectory = sPosixDirectory;
    while (sDirectory.size() > 1 && sDirectory.back() == '/')
        sDirectory.pop_back();
    return sDirectory == "/" || sDirectory == MachineRoot() + "/drive_c";
}

bool DescribeEntry(const std::string& sPosixDirectory, const char* pszName, WIN32_FIND_DATAA* pFindData)
{
    const std::string sPath = sPosixDirectory + "/" + pszName;
    struct stat tStat;
    // A dangling link is still an entry.
    if (stat(sPath.c_str(), &tStat) != 0 && lstat(sPath.c_str(), &tStat) != 0)
        return false;
    WIN32_FIND_DATAA tFindData;
    memset(&tFindData, 0, sizeof tFindData);
    tFindData.dwFileAttributes = AttributesFromStat(tStat);
    FileTimesFromStat(tStat, &tFindData.ftCreationTime, &tFindData.ftLastAccessTime, &tFindData.ftLastWriteTime);
    const uint64_t cbSize = S_ISDIR(tStat.st_mode) ? 0 : static_cast<uint64_t>(tStat.st_size);
    tFindData.nFileSizeHigh = static_cast<DWORD>(cbSize >> 32);
    tFindData.nFileSizeLow = static_cast<DWORD>(cbSize);
    strncpy(tFindData.cFileName, pszName, sizeof tFindData.cFileName - 1);
    *pFindData = tFindData;
    return true;
}

// "." and ".." come first, as Windows lists them; the rest by name.
bool ListedBefore(const WIN32_FIND_DATAA& tFirst, const WIN32_FIND_DATAA& tSecond)
{
    auto Rank = [](const char* pszName) { return strcmp(pszName, ".") == 0 ? 0 : strcmp(pszName, "..") == 0 ? 1 : 2; };
    const int nFirst = Rank(tFirst.cFileName);
    const int nSecond = Rank(tSecond.cFileName);
    if (nFirst != nSecond)
        return nFirst < nSecond;
    return strcmp(tFirst.cFileName, tSecond.cFileName) < 0;
}

// The entries of a directory that match the mask; false with the last error
// set when the directory cannot be read.
bool FindEntries(const std::string& sPosixDirectory, const std::string& sMask, std::vector<WIN32_FIND_DATAA>* pvEntries)
{
    struct stat tStat;
    if (stat(sPosixDirectory.c_str(), &tStat) != 0 || !S_ISDIR(tStat.st_mode))
    {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    DIR* pDirectory = opendir(sPosixDirectory.c_str());
    if (pDirectory == nullptr)
    {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    // "*.*" is every name, with or without a dot.
    const std::string sNameMask = sMask == "*.*" ? "*" : sMask;
    const bool fRoot = IsDriveRoot(sPosixDirectory);
    while (const struct dirent* pEntry = readdir(pDirectory))
    {
        const bool fDots = strcmp(pEntry->d_name, ".") == 0 || strcmp(pEntry->d_name, "..") == 0;
        if (fDots && fRoot)
            continue; // a drive's root has no "." nor ".."
        if (!MatchesMask(sNameMask.c_str(), pEntry->d_name))
            continue;
        WIN32_FIND_DATAA tFindData;
        if (DescribeEntry(sPosixDirectory, pEntry->d_name, &tFindData))
            pvEntries->push_back(tFindData);
    }
    closedir(pDirectory);
    std::sort(pvEntries->begin(), pvEntries->end(), ListedBefore);
    return true;
}

// Splits a pattern into its directory (Windows form, possibly empty or a
// drive such as "C:") and its last component.
void SplitPattern(const std::string& sPattern, std::string* psDirectory, std::string* psMask)
{
    size_t isSeparator = sPattern.find_last_of("\\/");
    if (isSeparator == std::string::npos && sPattern.size() >= 2 && sPattern[1] == ':')
        isSeparator = 1;
    if (isSeparator == std::string::npos)
    {
        psDirectory->clear();
        *psMask = sPattern;
    }
    else
    {
        *psDirectory = sPattern.substr(0, isSeparator + 1);
        *psMask = sPattern.substr(isSeparator + 1);
    }
}

} // namespace

extern "C" {

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData)
{
    if (CallFaulted("FindFirstFileA", lpFileName))
        return INVALID_HANDLE_VALUE;
    if (lpFileName == nullptr || lpFileName[0] == '\0')
    {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string sDirectory;
    std::string sMask;
    SplitPattern(lpFileName, &sDirectory, &sMask);
    // A pattern that ends in a separator names no entry.
    if (sMask.empty())
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string sPosixDirectory = ".";
    if (!sDirectory.empty() && !PosixPathOf(sDirectory.c_str(), &sPosixDirectory))
        return INVALID_HANDLE_VALUE;
    std::vector<WIN32_FIND_DATAA> vEntries;
    if (!FindEntries(sPosixDirectory, sMask, &vEntries))
        return INVALID_HANDLE_VALUE;
    if (vEntries.empty())
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto pFind = std::make_unique<FindObject>(std::move(vEntries));
    pFind->Next(lpFindFileData);
    return NewHandle(std::move(pFind));
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData)
{
    if (CallFaulted("FindNextFileA", nullptr))
        return FALSE;
    auto* pFind = static_cast<FindObject*>(LookupHandle(hFindFile, HandleKind::Find));
    if (pFind == nullptr)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!pFind->Next(lpFindFileData))
    {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile)
{
    if (CallFaulted("FindClose", nullptr))
        return FALSE;
    if (LookupHandle(hFindFile, HandleKind::Find) == nullptr || !ReleaseHandle(hFindFile))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

} // extern "C"
