// Finding and reading the log files of a directory.
#include "tools/qxzlog/log_directory.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace qxz::qxzlog
{

namespace
{

constexpr const char kLogPrefix[] = "qxqxin";
constexpr const char kLogExtension[] = ".log";
constexpr DWORD kChunkBytes = 1u << 20;

bool EqualIgnoringCase(const char* pszText, const char* pszLower, size_t cch)
{
    for (size_t i = 0; i < cch; ++i)
    {
        if (std::tolower(static_cast<unsigned char>(pszText[i])) != pszLower[i])
            return false;
    }
    return true;
}

bool IsLogName(const std::string& sName)
{
    const size_t cchPrefix = sizeof kLogPrefix - 1;
    const size_t cchExtension = sizeof kLogExtension - 1;
    return sName.size() >= cchPrefix + cchExtension && EqualIgnoringCase(sName.c_str(), kLogPrefix, cchPrefix) &&
           EqualIgnoringCase(sName.c_str() + sName.size() - cchExtension, kLogExtension, cchExtension);
}

// A host path given as such keeps its slashes.
std::string WithSeparator(const std::string& sDirectory)
{
    if (sDirectory.empty() || sDirectory.back() == '\\' || sDirectory.back() == '/')
        return sDirectory;
    const bool fSlashes = sDirectory.find('/') != std::string::npos && sDirectory.find('\\') == std::string::npos;
    return sDirectory + (fSlashes ? "/" : "\\");
}

bool SameTime(const FILETIME& ft1, const FILETIME& ft2)
{
    return CompareFileTime(&ft1, &ft2) == 0;
}

uint64_t Ticks(const FILETIME& ftTime)
{
    return (static_cast<uint64_t>(ftTime.dwHighDateTime) << 32) | ftTime.dwLowDateTime;
}

// A file time as the header's time would show it: local time. Asked only
// where a run has no time of its own, as the runtime's local time can be
// slow (under Wine it reads the time zone every time).
int64_t LocalKey(uint64_t nTicks)
{
    const uint64_t kTicksPerSecond = 10000000u;
    const uint64_t kSecondsFrom1601To1970 = 11644473600u;
    const uint64_t nSeconds = nTicks / kTicksPerSecond;
    if (nSeconds < kSecondsFrom1601To1970)
        return 0;
    const std::time_t nTime = static_cast<std::time_t>(nSeconds - kSecondsFrom1601To1970);
    const std::tm* ptLocal = std::localtime(&nTime);
    if (ptLocal == nullptr)
        return static_cast<int64_t>(nTime);
    return CalendarKey(ptLocal->tm_year + 1900, ptLocal->tm_mon + 1, ptLocal->tm_mday, ptLocal->tm_hour,
                       ptLocal->tm_min, ptLocal->tm_sec);
}

std::string ErrorProblem(const char* pszWhat, DWORD dwError)
{
    char szText[64];
    std::snprintf(szText, sizeof szText, "%s (error %lu)", pszWhat, static_cast<unsigned long>(dwError));
    return szText;
}

// Reads to the end or the limit; a log that a running Pin holds open is read
// as it stands. The size the file had when opened is asked for at once, and
// a byte more: a read that comes back short is the end, so a log costs one
// read. Only a file that grew meanwhile is read on, a chunk at a time.
bool ReadUpToLimit(HANDLE hFile, uint64_t cbSize, std::string* psBytes, bool* pfPartial)
{
    size_t cbWanted = static_cast<size_t>(std::min<uint64_t>(cbSize + 1, kMaxLogBytes));
    for (;;)
    {
        const size_t ibAt = psBytes->size();
        if (cbWanted == 0)
        {
            char chMore;
            DWORD cbMore = 0;
            *pfPartial = ReadFile(hFile, &chMore, 1, &cbMore, nullptr) && cbMore != 0;
            return true;
        }
        psBytes->resize(ibAt + cbWanted);
        DWORD cbRead = 0;
        const BOOL fRead = ReadFile(hFile, &(*psBytes)[ibAt], static_cast<DWORD>(cbWanted), &cbRead, nullptr);
        psBytes->resize(ibAt + (fRead ? cbRead : 0));
        if (!fRead)
            return false;
        if (cbRead < cbWanted)
            return true;
        cbWanted = std::min<size_t>(kChunkBytes, kMaxLogBytes - psBytes->size());
    }
}

} // namespace

bool ReadLogBytes(const std::string& sPath, std::string* psBytes, bool* pfPartial, std::string* psProblem)
{
    psBytes->clear();
    *pfPartial = false;
    // Reading only, sharing everything with the Pin; the attribute right is
    // what setting the access time back takes. A link is opened itself, and
    // not followed.
    HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        *psProblem = ErrorProblem("cannot be opened", GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION tInfo;
    bool fOk = false;
    if (!GetFileInformationByHandle(hFile, &tInfo))
    {
        *psProblem = ErrorProblem("cannot be examined", GetLastError());
    }
    else if ((tInfo.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    {
        *psProblem = "a link, not followed";
    }
    else
    {
        // Windows: the handle's reads no longer move the access time, which
        // may otherwise be written only when the handle closes.
        const FILETIME ftKeep = {0xFFFFFFFF, 0xFFFFFFFF};
        SetFileTime(hFile, nullptr, &ftKeep, nullptr);
        const uint64_t cbSize = (static_cast<uint64_t>(tInfo.nFileSizeHigh) << 32) | tInfo.nFileSizeLow;
        fOk = ReadUpToLimit(hFile, cbSize, psBytes, pfPartial);
        if (!fOk)
            *psProblem = ErrorProblem("cannot be read", GetLastError());
        // The Pin reuses the least recently accessed log: give back the access
        // time that the reading moved where the file system moved it anyway.
        FILETIME ftAccessed;
        if (GetFileTime(hFile, nullptr, &ftAccessed, nullptr) && !SameTime(ftAccessed, tInfo.ftLastAccessTime) &&
            !SetFileTime(hFile, nullptr, &tInfo.ftLastAccessTime, nullptr))
        {
            *psProblem = ErrorProblem("access time not restored", GetLastError());
            fOk = false;
        }
    }
    CloseHandle(hFile);
    return fOk;
}

void ReadLogFile(LogFile* ptFile)
{
    // One buffer for every file read: its memory is set up once, not for
    // each log again.
    static std::string sBytes;
    if (!ReadLogBytes(ptFile->sPath, &sBytes, &ptFile->fPartial, &ptFile->sProblem))
        return;
    ptFile->vRuns = ParseLog(sBytes);
    if (std::any_of(ptFile->vRuns.begin(), ptFile->vRuns.end(), [](const LogRun& tRun) { return !tRun.fStartedKnown; }))
    {
        ptFile->nWrittenKey = LocalKey(ptFile->nWrittenTicks);
    }
    if (sBytes.empty())
    {
        ptFile->sProblem = "empty file";
    }
    else if (ptFile->vRuns.empty())
    {
        ptFile->sProblem = "no run in it (no header line)";
    }
}

bool ReadLogDirectory(const std::string& sDirectory, std::vector<LogFile>* pvFiles, DWORD* pdwError)
{
    if (!ListLogDirectory(sDirectory, pvFiles, pdwError))
        return false;
    for (LogFile& tFile : *pvFiles)
    {
        if (tFile.sProblem.empty())
            ReadLogFile(&tFile);
    }
    return true;
}

bool ListLogDirectory(const std::string& sDirectory, std::vector<LogFile>* pvFiles, DWORD* pdwError)
{
    pvFiles->clear();
    const DWORD dwAttributes = GetFileAttributesA(sDirectory.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    {
        *pdwError = dwAttributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : static_cast<DWORD>(ERROR_DIRECTORY);
        return false;
    }
    const std::string sPrefix = WithSeparator(sDirectory);
    WIN32_FIND_DATAA tFindData;
    HANDLE hFind = FindFirstFileA((sPrefix + kLogPrefix + "*" + kLogExtension).c_str(), &tFindData);
    if (hFind == INVALID_HANDLE_VALUE)
    {
        *pdwError = GetLastError();
        return *pdwError == ERROR_FILE_NOT_FOUND || *pdwError == ERROR_NO_MORE_FILES;
    }
    do
    {
        LogFile tFile;
        tFile.sName = tFindData.cFileName;
        if (!IsLogName(tFile.sName))
            continue;
        tFile.sPath = sPrefix + tFile.sName;
        // A directory cannot be opened as a file: told as what it is.
        if ((tFindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            tFile.sProblem = "a directory";
        tFile.nWrittenTicks = Ticks(tFindData.ftLastWriteTime);
        tFile.cbSize = (static_cast<uint64_t>(tFindData.nFileSizeHigh) << 32) | tFindData.nFileSizeLow;
        pvFiles->push_back(std::move(tFile));
    } while (FindNextFileA(hFind, &tFindData));
    FindClose(hFind);
    std::sort(pvFiles->begin(), pvFiles->end(),
              [](const LogFile& t1, const LogFile& t2) { return t1.sName < t2.sName; });
    return true;
}

std::string LogPathFor(const std::string& sDirectory, const std::string& sFile)
{
    if (sFile.find_first_of("\\/:") != std::string::npos)
        return sFile;
    const bool fNumber = !sFile.empty() && sFile.size() <= 2 &&
                         std::all_of(sFile.begin(), sFile.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
    if (!fNumber)
        return WithSeparator(sDirectory) + sFile;
    char szName[16];
    std::snprintf(szName, sizeof szName, "%s%02d%s", kLogPrefix, std::atoi(sFile.c_str()), kLogExtension);
    return WithSeparator(sDirectory) + szName;
}

int64_t StartKey(const RunRef& tRef)
{
    return tRef.Run().fStartedKnown ? tRef.Run().nStartedKey : tRef.ptFile->nWrittenKey;
}

std::vector<RunRef> RunsNewestFirst(const std::vector<LogFile>& vFiles)
{
    std::vector<RunRef> vRuns;
    for (const LogFile& tFile : vFiles)
    {
        for (size_t i = 0; i < tFile.vRuns.size(); ++i)
            vRuns.push_back({&tFile, i});
    }
    const auto Key = StartKey;
    std::stable_sort(vRuns.begin(), vRuns.end(), [&](const RunRef& t1, const RunRef& t2) {
        if (Key(t1) != Key(t2))
            return Key(t1) > Key(t2);
        if (t1.ptFile->nWrittenTicks != t2.ptFile->nWrittenTicks)
            return t1.ptFile->nWrittenTicks > t2.ptFile->nWrittenTicks;
        return t1.ptFile == t2.ptFile && t1.iRun > t2.iRun;
    });
    return vRuns;
}

} // namespace qxz::qxzlog
