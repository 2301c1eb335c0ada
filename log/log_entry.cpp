// The defence against names planted in a shared temporary directory.
#include "log/log_entry.h"

#include "log/log_file.h"
#include "text/ascii_case.h"

namespace qxz::log
{

namespace
{

// The path that the system resolved for an open handle, without the "\\?\"
// that it begins with; empty when the system does not tell.
std::string FinalPath(HANDLE hFile)
{
    const DWORD cchNeeded = GetFinalPathNameByHandleA(hFile, nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (cchNeeded == 0)
        return std::string();
    // Some systems count the NUL in the size they ask for, others do not.
    const DWORD cchBuffer = cchNeeded + 1;
    std::string sPath(cchBuffer, '\0');
    const DWORD cchPath =
        GetFinalPathNameByHandleA(hFile, &sPath[0], cchBuffer, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (cchPath == 0 || cchPath >= cchBuffer)
        return std::string();
    sPath.resize(cchPath);
    return sPath.compare(0, 4, "\\\\?\\") == 0 ? sPath.substr(4) : sPath;
}

} // namespace

std::string ResolvedDirectory(const std::string& sFileName)
{
    const std::string sDirectory = CLogFile::GetDirectoryPart(sFileName);
    if (sDirectory.empty())
        return std::string();
    HANDLE hDirectory = CreateFileA(sDirectory.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (hDirectory == INVALID_HANDLE_VALUE)
        return std::string();
    std::string sResolved = FinalPath(hDirectory);
    CloseHandle(hDirectory);
    if (!sResolved.empty() && sResolved.back() != '\\')
        sResolved += '\\';
    return sResolved;
}

// The temporary directory may be writable by others, and this program runs
// elevated: a link planted under a log's name (symbolic, hard, or any other
// reparse point) would have it write into a file of the planter's choice,
// and a pipe or device would hold it up or take its lines. Only a file on
// disk that is neither, and no directory, is written. Some systems follow a
// host's symbolic link whatever they are asked and show the file it points
// to: such a file does not resolve to the name's own directory and name.
bool IsOrdinaryFile(HANDLE hFile, const BY_HANDLE_FILE_INFORMATION& tInfo, const std::string& sResolvedDirectory,
                    const std::string& sFileName)
{
    if (GetFileType(hFile) != FILE_TYPE_DISK ||
        (tInfo.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        tInfo.nNumberOfLinks != 1)
    {
        return false;
    }
    return sResolvedDirectory.empty() ||
           EqualIgnoringAsciiCase(FinalPath(hFile), sResolvedDirectory + CLogFile::GetFileNamePart(sFileName));
}

bool IsOrdinaryFileClosing(HANDLE hFile, const std::string& sResolvedDirectory, const std::string& sFileName,
                           BY_HANDLE_FILE_INFORMATION* ptSeen)
{
    BY_HANDLE_FILE_INFORMATION tInfo;
    const bool fOrdinary =
        GetFileInformationByHandle(hFile, &tInfo) && IsOrdinaryFile(hFile, tInfo, sResolvedDirectory, sFileName);
    CloseHandle(hFile);
    if (fOrdinary && ptSeen != nullptr)
        *ptSeen = tInfo;
    return fOrdinary;
}

bool HoldsOtherThanOrdinaryFile(const std::string& sName, const std::string& sResolvedDirectory)
{
    HANDLE hEntry = CreateFileA(sName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, kOpenEntryItself, nullptr);
    return hEntry != INVALID_HANDLE_VALUE && !IsOrdinaryFileClosing(hEntry, sResolvedDirectory, sName, nullptr);
}

} // namespace qxz::log
