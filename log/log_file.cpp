#include "log/log_file.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <new>

#include "platform/win32.h"

CLogFile g_Log;

namespace
{

// The part of a name after its last backslash, empty when the name ends in
// one: extensions and numbers are looked for here only, never in directories.
std::string NameAfterLastBackslash(const std::string& sFileName)
{
    size_t isBackslash = sFileName.rfind('\\');
    return isBackslash == std::string::npos ? sFileName : sFileName.substr(isBackslash + 1);
}

std::string NumberedName(const std::string& sDirectory, const std::string& sBase, uint32_t dwNumber,
                         const std::string& sExtension)
{
    char szNumber[16];
    snprintf(szNumber, sizeof szNumber, "%2.2d", static_cast<int>(dwNumber));
    return sDirectory + sBase + szNumber + sExtension;
}

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

constexpr uint32_t kNumberCount = 100;

// Opens a link or other reparse point itself instead of what it points to,
// and a directory at all, so that either can be recognised.
constexpr DWORD kOpenEntryItself = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;

// Shared, so that others can read the log while this run writes it.
constexpr DWORD kLogShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The log's owner lock: one byte far past any text, which one handle at a
// time can hold. A run holds it on its file for as long as it writes, so
// that two runs never write one file, while readers are not stopped.
constexpr DWORD kOwnerLockOffsetHigh = 0x7FFFFFFF;

bool SameTextIgnoringCase(const std::string& s1, const std::string& s2)
{
    return s1.size() == s2.size() && std::equal(s1.begin(), s1.end(), s2.begin(), [](char ch1, char ch2) {
               return tolower(static_cast<unsigned char>(ch1)) == tolower(static_cast<unsigned char>(ch2));
           });
}

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

// Where the files of a name's directory resolve to, ending with a
// backslash; empty when the system does not tell.
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
           SameTextIgnoringCase(FinalPath(hFile), sResolvedDirectory + CLogFile::GetFileNamePart(sFileName));
}

// Whether the handle has an ordinary file, and then its last access time;
// the handle is closed.
bool IsOrdinaryFileClosing(HANDLE hFile, const std::string& sResolvedDirectory, const std::string& sFileName,
                           FILETIME* pftAccessed)
{
    BY_HANDLE_FILE_INFORMATION tInfo;
    const bool fOrdinary =
        GetFileInformationByHandle(hFile, &tInfo) && IsOrdinaryFile(hFile, tInfo, sResolvedDirectory, sFileName);
    CloseHandle(hFile);
    if (fOrdinary && pftAccessed != nullptr)
        *pftAccessed = tInfo.ftLastAccessTime;
    return fOrdinary;
}

// Whether the name holds something other than an ordinary file, as an open
// without data access sees it: such an open meets no share mode, so a link
// held open elsewhere shows as well.
bool HoldsOtherThanOrdinaryFile(const std::string& sName, const std::string& sResolvedDirectory)
{
    HANDLE hEntry = CreateFileA(sName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, kOpenEntryItself, nullptr);
    return hEntry != INVALID_HANDLE_VALUE && !IsOrdinaryFileClosing(hEntry, sResolvedDirectory, sName, nullptr);
}

enum CandidateState
{
    CandidateState_Free,       // the number is taken at once
    CandidateState_PassedOver, // neither free nor to be reused
    CandidateState_Present,    // an ordinary file, reused when it is the least recently accessed
};

CandidateState ProbeCandidate(const std::string& sCandidate, const std::string& sResolvedDirectory,
                              FILETIME* pftAccessed)
{
    // No sharing: the open fails for a file that another run holds open.
    HANDLE hFile = CreateFileA(sCandidate.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, kOpenEntryItself, nullptr);
    if (hFile != INVALID_HANDLE_VALUE)
    {
        return IsOrdinaryFileClosing(hFile, sResolvedDirectory, sCandidate, pftAccessed) ? CandidateState_Present
                                                                                         : CandidateState_PassedOver;
    }
    // Free only when nothing is there. A file in use is another run's log, and
    // one that cannot be looked at is no file of this run's to empty: either
    // is passed over.
    if (GetLastError() != ERROR_FILE_NOT_FOUND)
        return CandidateState_PassedOver;
    return HoldsOtherThanOrdinaryFile(sCandidate, sResolvedDirectory) ? CandidateState_PassedOver : CandidateState_Free;
}

// How an attempt to open the log's file for writing ended.
enum OpenResult
{
    OpenResult_Opened,
    OpenResult_Refused, // no ordinary file of this run's: never written, the next number is tried
    OpenResult_Failed,
};

// The log's file opened for writing, checked on the handle itself: the
// directory may have changed since the number was chosen. A missing file is
// made without following anything; an existing one is opened as the entry
// itself. This run must get the file's owner lock, and the file must be an
// ordinary one at its name (a file removed from under it is not); only then
// is it emptied.
OpenResult OpenLogFile(const std::string& sFileName, bool fAppend, HANDLE* phFile)
{
    const std::string sResolvedDirectory = ResolvedDirectory(sFileName);
    const DWORD dwFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE hFile = CreateFileA(sFileName.c_str(), GENERIC_WRITE, kLogShareMode, nullptr, CREATE_NEW, dwFlags, nullptr);
    if (hFile == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS)
    {
        hFile = CreateFileA(sFileName.c_str(), GENERIC_WRITE, kLogShareMode, nullptr, OPEN_EXISTING, dwFlags, nullptr);
        if (hFile == INVALID_HANDLE_VALUE)
        {
            const DWORD dwError = GetLastError();
            const bool fRefused = dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_SHARING_VIOLATION ||
                                  HoldsOtherThanOrdinaryFile(sFileName, sResolvedDirectory);
            return fRefused ? OpenResult_Refused : OpenResult_Failed;
        }
    }
    if (hFile == INVALID_HANDLE_VALUE)
        return OpenResult_Failed;
    // The lock first: what is checked then stays as it is while this run
    // writes. A file that cannot be described is not written either, but is
    // no reason to try the next number.
    BY_HANDLE_FILE_INFORMATION tInfo;
    OpenResult eResult = OpenResult_Refused;
    if (LockFile(hFile, 0, kOwnerLockOffsetHigh, 1, 0))
    {
        eResult = !GetFileInformationByHandle(hFile, &tInfo)                     ? OpenResult_Failed
                  : !IsOrdinaryFile(hFile, tInfo, sResolvedDirectory, sFileName) ? OpenResult_Refused
                  : !fAppend && !SetEndOfFile(hFile)                             ? OpenResult_Failed
                                                                                 : OpenResult_Opened;
    }
    if (eResult == OpenResult_Opened)
    {
        *phFile = hFile;
    }
    else
    {
        CloseHandle(hFile);
    }
    return eResult;
}

// A text-mode stream that owns the handle from now on.
FILE* StreamOnHandle(HANDLE hFile, bool fAppend)
{
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(hFile), _O_TEXT | (fAppend ? _O_APPEND : 0));
    if (fd == -1)
    {
        CloseHandle(hFile);
        return nullptr;
    }
    FILE* pFile = _fdopen(fd, fAppend ? "a" : "w");
    if (pFile == nullptr)
        _close(fd);
    return pFile;
}

OpenResult OpenStreamOnFile(const std::string& sFileName, bool fAppend, FILE** ppFile)
{
    HANDLE hFile = INVALID_HANDLE_VALUE;
    const OpenResult eResult = OpenLogFile(sFileName, fAppend, &hFile);
    if (eResult != OpenResult_Opened)
        return eResult;
    *ppFile = StreamOnHandle(hFile, fAppend);
    return *ppFile != nullptr ? OpenResult_Opened : OpenResult_Failed;
}

} // namespace

CLogFile::CLogFile() = default;

CLogFile::~CLogFile()
{
    Close();
}

bool CLogFile::Open(const std::string& sFileName, uint32_t dwMaxLevel, uint32_t dwFlags)
{
    Close();
    if (sFileName.empty())
        return false;
    m_sFileName = sFileName;
    m_dwMaxLevel = dwMaxLevel;
    m_dwFlags = dwFlags;
    m_dwOpenFlags = dwFlags;
    return WriteHeader();
}

bool CLogFile::LogMessage(uint32_t dwLevel, const char* pszFormat, ...)
{
    if (!Accepts(dwLevel) || pszFormat == nullptr)
        return false;
    std::string sLine;
    if ((m_dwFlags & LogFlag_Timestamp) != 0)
        sLine = "[" + GetTimeText() + "]: ";
    va_list vaArguments;
    va_start(vaArguments, pszFormat);
    sLine += FormatText(pszFormat, vaArguments);
    va_end(vaArguments);
    return WriteLine(sLine);
}

bool CLogFile::LogError(uint32_t dwLevel, const char* pszSourcePath, int32_t nLine, const char* pszFormat, ...)
{
    if (!Accepts(dwLevel) || pszSourcePath == nullptr || pszFormat == nullptr)
        return false;
    std::string sLine = "[";
    if ((m_dwFlags & LogFlag_Timestamp) != 0)
        sLine += GetTimeText() + ", ";
    sLine += (m_dwFlags & LogFlag_FullSourcePath) != 0 ? std::string(pszSourcePath) : GetFileNamePart(pszSourcePath);
    sLine += ", Line " + std::to_string(nLine) + "]: ";
    va_list vaArguments;
    va_start(vaArguments, pszFormat);
    sLine += FormatText(pszFormat, vaArguments);
    va_end(vaArguments);
    return WriteLine(sLine);
}

void CLogFile::Close()
{
    CloseStream();
    m_sFileName.clear();
    m_sOpenFileName.clear();
    m_dwMaxLevel = 0;
    m_dwFlags = 0;
    m_dwOpenFlags = 0;
    m_fEnabled = false;
}

bool CLogFile::Accepts(uint32_t dwLevel) const
{
    return m_fEnabled && dwLevel <= m_dwMaxLevel;
}

bool CLogFile::WriteHeader()
{
    if (m_fEnabled)
        return true;
    if (WriteLine("\n**** " + GetTimeText() + " - Logging Enabled ****\n"))
        m_fEnabled = true;
    return m_fEnabled;
}

bool CLogFile::WriteLine(const std::string& sLine)
{
    if (sLine.empty())
        return false;
    if (((m_dwFlags ^ m_dwOpenFlags) & LogFlag_Numbered) != 0 || m_sFileName != m_sOpenFileName)
    {
        CloseStream();
        m_dwOpenFlags = m_dwFlags;
    }
    if (m_pFile == nullptr && !OpenStream())
        return false;
    // Flushed at once, so that the log is complete up to the last line even
    // when the process is ended abruptly. A line that could not be written is
    // lost, and the stream's error is cleared for the next one.
    if (fprintf(m_pFile, "%s\n", sLine.c_str()) < 0 || fflush(m_pFile) != 0)
    {
        clearerr(m_pFile);
        return false;
    }
    return true;
}

// Places the file (temporary directory, number) and opens it. A stream that
// cannot be opened is reported, so that logging stays off rather than
// pretending the header was written.
bool CLogFile::OpenStream()
{
    if ((m_dwFlags & LogFlag_NameAsGiven) == 0)
    {
        std::string sDirectory;
        if (!GetTempDirectory(&sDirectory))
            return false;
        m_sFileName = sDirectory + GetFileNamePart(m_sFileName);
    }
    const bool fAppend = (m_dwFlags & LogFlag_Append) != 0;
    if ((m_dwFlags & LogFlag_Numbered) == 0)
    {
        m_sOpenFileName = m_sFileName;
        return OpenStreamOnFile(m_sFileName, fAppend, &m_pFile) == OpenResult_Opened;
    }
    // A number whose file is refused is passed over and the choice made again
    // without it. A name that carries its own number goes on with the next
    // one, as it does without looking at files.
    const std::string sUnnumbered = m_sFileName;
    std::string sChooseFrom = sUnnumbered;
    NumberSet passedOver;
    for (uint32_t nTry = 0; nTry < kNumberCount; ++nTry)
    {
        uint32_t dwNumber = 0;
        if (!ChooseFileNumberPassingOver(sChooseFrom, passedOver, &dwNumber))
            return false;
        m_sFileName = NumberedName(GetDirectoryPart(sUnnumbered), GetBaseWithoutNumber(sUnnumbered), dwNumber,
                                   GetExtension(sUnnumbered));
        m_sOpenFileName = m_sFileName;
        const OpenResult eResult = OpenStreamOnFile(m_sFileName, fAppend, &m_pFile);
        if (eResult != OpenResult_Refused)
            return eResult == OpenResult_Opened;
        passedOver.set(dwNumber);
        if (!GetNumberSuffix(sChooseFrom).empty())
            sChooseFrom = m_sFileName;
    }
    return false;
}

void CLogFile::CloseStream()
{
    if (m_pFile != nullptr)
    {
        fclose(m_pFile);
        m_pFile = nullptr;
    }
}

// The text is measured by a formatting call that only counts, then formatted
// into a buffer of that size.
std::string CLogFile::FormatText(const char* pszFormat, va_list vaArguments)
{
    if (pszFormat == nullptr)
        return std::string();
    va_list vaMeasure;
    va_copy(vaMeasure, vaArguments);
    const int cchText = vsnprintf(nullptr, 0, pszFormat, vaMeasure);
    va_end(vaMeasure);
    if (cchText < 0)
        return std::string();
    const size_t cbBuffer = static_cast<size_t>(cchText) + 1;
    std::unique_ptr<char[]> pszBuffer(new (std::nothrow) char[cbBuffer]);
    if (pszBuffer == nullptr)
        return std::string();
    if (vsnprintf(pszBuffer.get(), cbBuffer, pszFormat, vaArguments) < 0)
        return std::string();
    // Up to the first zero byte, as a C text ends there.
    return std::string(pszBuffer.get());
}

std::string CLogFile::GetFileNamePart(const std::string& sFileName)
{
    size_t isBackslash = sFileName.rfind('\\');
    if (isBackslash == std::string::npos || isBackslash + 1 == sFileName.size())
        return sFileName;
    return sFileName.substr(isBackslash + 1);
}

std::string CLogFile::GetDirectoryPart(const std::string& sFileName)
{
    size_t isBackslash = sFileName.rfind('\\');
    return isBackslash == std::string::npos ? std::string() : sFileName.substr(0, isBackslash + 1);
}

std::string CLogFile::GetNameWithoutExtension(const std::string& sFileName)
{
    const std::string sName = NameAfterLastBackslash(sFileName);
    return sName.substr(0, sName.rfind('.'));
}

std::string CLogFile::GetExtension(const std::string& sFileName)
{
    const std::string sName = NameAfterLastBackslash(sFileName);
    size_t isDot = sName.rfind('.');
    if (isDot == std::string::npos || isDot + 1 == sName.size())
        return std::string();
    return sName.substr(isDot);
}

std::string CLogFile::GetNumberSuffix(const std::string& sFileName)
{
    const std::string sName = GetNameWithoutExtension(sFileName);
    const size_t cch = sName.size();
    auto IsDigit = [](char ch) { return ch >= '0' && ch <= '9'; };
    if (cch < 2 || !IsDigit(sName[cch - 2]) || !IsDigit(sName[cch - 1]))
        return std::string();
    return sName.substr(cch - 2);
}

std::string CLogFile::GetBaseWithoutNumber(const std::string& sFileName)
{
    const std::string sName = GetNameWithoutExtension(sFileName);
    if (GetNumberSuffix(sFileName).empty())
        return sName;
    return sName.substr(0, sName.size() - 2);
}

bool CLogFile::GetTempDirectory(std::string* psDirectory)
{
    std::string sDirectory = EnvironmentValue("TEMP");
    if (sDirectory.empty())
        sDirectory = EnvironmentValue("TMP");
    if (sDirectory.empty())
    {
        // TEMP at the root of the Windows drive.
        char szWindows[MAX_PATH];
        const UINT cchWindows = GetWindowsDirectoryA(szWindows, sizeof szWindows);
        if (cchWindows == 0 || cchWindows >= sizeof szWindows)
            return false;
        sDirectory = std::string(szWindows, cchWindows).substr(0, 3) + "TEMP";
    }
    const std::string sSearchPath = WithoutFinalBackslash(sDirectory);
    if (!PathExists(sSearchPath) && !CreateDirectoryA(sDirectory.c_str(), nullptr))
        return false;
    if (!PathExists(sSearchPath))
        return false;
    // Child processes find the same directory; a TMP that is set stays as it is.
    if (getenv("TMP") == nullptr && !SetEnvironmentVariableA("TMP", sDirectory.c_str()))
        return false;
    if (sDirectory.back() != '\\')
        sDirectory += '\\';
    *psDirectory = sDirectory;
    return true;
}

bool CLogFile::ChooseFileNumber(const std::string& sFileName, uint32_t* pdwNumber)
{
    return ChooseFileNumberPassingOver(sFileName, NumberSet(), pdwNumber);
}

bool CLogFile::ChooseFileNumberPassingOver(const std::string& sFileName, const NumberSet& passedOver,
                                           uint32_t* pdwNumber)
{
    if (sFileName.empty())
        return false;
    const std::string sSuffix = GetNumberSuffix(sFileName);
    if (sSuffix.size() == 2)
    {
        // A numbered name goes on with the next number, without looking at files.
        const uint32_t dwNext = static_cast<uint32_t>((sSuffix[0] - '0') * 10 + (sSuffix[1] - '0')) + 1;
        *pdwNumber = dwNext > 99 ? 0 : dwNext;
        return true;
    }
    const std::string sDirectory = GetDirectoryPart(sFileName);
    const std::string sBase = GetBaseWithoutNumber(sFileName);
    if (sBase.empty())
        return false;
    const std::string sExtension = GetExtension(sFileName);

    FILETIME ftOldest;
    ftOldest.dwLowDateTime = 0xFFFFFFFF;
    ftOldest.dwHighDateTime = 0x7FFFFFFF;
    const std::string sResolvedDirectory = ResolvedDirectory(sFileName);
    bool fAnyPresent = false;
    uint32_t dwOldest = 0;
    for (uint32_t dwCandidate = 0; dwCandidate < kNumberCount; ++dwCandidate)
    {
        if (passedOver.test(dwCandidate))
            continue;
        FILETIME ftAccessed;
        const CandidateState eState =
            ProbeCandidate(NumberedName(sDirectory, sBase, dwCandidate, sExtension), sResolvedDirectory, &ftAccessed);
        if (eState == CandidateState_Free)
        {
            *pdwNumber = dwCandidate;
            return true;
        }
        // Strictly earlier only: on equal times the lower number stays.
        if (eState == CandidateState_Present && (!fAnyPresent || CompareFileTime(&ftAccessed, &ftOldest) < 0))
        {
            ftOldest = ftAccessed;
            dwOldest = dwCandidate;
            fAnyPresent = true;
        }
    }
    // Nothing free and nothing to reuse: every number is passed over.
    if (!fAnyPresent)
        return false;
    *pdwNumber = dwOldest;
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

std::string CLogFile::GetTimeText()
{
    const time_t tNow = time(nullptr);
    if (tNow == static_cast<time_t>(-1))
        return "Unknown";
    const struct tm* pLocal = localtime(&tNow);
    return pLocal == nullptr ? "Unknown" : TimeText(*pLocal);
}

std::string CLogFile::TimeText(const struct tm& tLocal)
{
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (tLocal.tm_wday < 0 || tLocal.tm_wday > 6 || tLocal.tm_mon < 0 || tLocal.tm_mon > 11)
        return "Unknown";
    // The runtime's ctime pads the day with a blank; the log always shows two digits.
    char szTime[96];
    snprintf(szTime, sizeof szTime, "%s %s %02d %02d:%02d:%02d %d", kDays[tLocal.tm_wday], kMonths[tLocal.tm_mon],
             tLocal.tm_mday, tLocal.tm_hour, tLocal.tm_min, tLocal.tm_sec, tLocal.tm_year + 1900);
    return szTime;
}
