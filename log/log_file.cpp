#include "log/log_file.h"

#include <cstdlib>
#include <memory>
#include <new>

#include "platform/win32.h"

CLogFile g_Log;

namespace {

// The part of a name after its last backslash, empty when the name ends in
// one: extensions and numbers are looked for here only, never in directories.
std::string NameAfterLastBackslash(const std::string& sFileName) {
  size_t isBackslash = sFileName.rfind('\\');
  return isBackslash == std::string::npos ? sFileName : sFileName.substr(isBackslash + 1);
}

std::string NumberedName(const std::string& sDirectory, const std::string& sBase, uint32_t dwNumber,
                         const std::string& sExtension) {
  char szNumber[16];
  snprintf(szNumber, sizeof szNumber, "%2.2d", static_cast<int>(dwNumber));
  return sDirectory + sBase + szNumber + sExtension;
}

// A variable that is not set reads as empty.
std::string EnvironmentValue(const char* pszName) {
  const char* pszValue = getenv(pszName);
  return pszValue == nullptr ? std::string() : std::string(pszValue);
}

// The directory search does not find a directory named with a final
// backslash ("C:\Temp\"), although TEMP and TMP are often written that way.
// A drive's root keeps its backslash.
std::string WithoutFinalBackslash(const std::string& sDirectory) {
  const size_t cch = sDirectory.size();
  if (cch >= 2 && sDirectory[cch - 1] == '\\' && sDirectory[cch - 2] != ':' && sDirectory[cch - 2] != '\\') {
    return sDirectory.substr(0, cch - 1);
  }
  return sDirectory;
}

// A drive alone: its root ("C:\") or its current directory ("C:"). The
// directory search finds neither, as neither is an entry of a directory.
bool IsDriveRoot(const std::string& sPath) {
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

// The temporary directory may be writable by others, and this program runs
// elevated: a link planted under a log's name (symbolic, hard, or any other
// reparse point) would have it write into a file of the planter's choice.
// Only a file that is neither, and no directory, is written.
bool IsOrdinaryFile(const BY_HANDLE_FILE_INFORMATION& tInfo) {
  return (tInfo.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
         tInfo.nNumberOfLinks == 1;
}

// Reads what the handle describes and closes it.
bool CloseAfterInformation(HANDLE hFile, BY_HANDLE_FILE_INFORMATION* ptInfo) {
  const bool fRead = GetFileInformationByHandle(hFile, ptInfo) != FALSE;
  CloseHandle(hFile);
  return fRead;
}

// Whether the name holds something other than an ordinary file, as an open
// without data access sees it: such an open meets no share mode, so a link
// held open elsewhere shows as well.
bool HoldsOtherThanOrdinaryFile(const std::string& sName) {
  HANDLE hEntry = CreateFileA(sName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, kOpenEntryItself, nullptr);
  BY_HANDLE_FILE_INFORMATION tInfo;
  return hEntry != INVALID_HANDLE_VALUE && CloseAfterInformation(hEntry, &tInfo) && !IsOrdinaryFile(tInfo);
}

enum CandidateState {
  CandidateState_Free,        // the number is taken at once
  CandidateState_PassedOver,  // neither free nor to be reused
  CandidateState_Present,     // an ordinary file, reused when it is the least recently accessed
};

CandidateState ProbeCandidate(const std::string& sCandidate, FILETIME* pftAccessed) {
  BY_HANDLE_FILE_INFORMATION tInfo;
  // No sharing: a file that another process holds open counts as free.
  HANDLE hFile = CreateFileA(sCandidate.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, kOpenEntryItself, nullptr);
  if (hFile != INVALID_HANDLE_VALUE) {
    if (!CloseAfterInformation(hFile, &tInfo) || !IsOrdinaryFile(tInfo)) return CandidateState_PassedOver;
    *pftAccessed = tInfo.ftLastAccessTime;
    return CandidateState_Present;
  }
  // A link held open elsewhere must not pass for a file held open.
  return HoldsOtherThanOrdinaryFile(sCandidate) ? CandidateState_PassedOver : CandidateState_Free;
}

// How an attempt to open the log's file for writing ended.
enum OpenResult {
  OpenResult_Opened,
  OpenResult_Unsafe,  // the name is not an ordinary file: never written
  OpenResult_Failed,
};

// The log's file opened for writing, checked on the handle itself: the
// directory may have changed since the number was chosen. A new file is
// made without following anything; an existing one is opened as the entry
// itself. An existing name that cannot be opened is unsafe as well when it
// is no ordinary file, or not found: a dangling link on a system that
// follows links whatever it is asked.
OpenResult OpenOrdinaryFile(const std::string& sFileName, HANDLE* phFile) {
  const DWORD dwFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  HANDLE hFile = CreateFileA(sFileName.c_str(), GENERIC_WRITE, kLogShareMode, nullptr, CREATE_NEW, dwFlags, nullptr);
  if (hFile == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
    hFile = CreateFileA(sFileName.c_str(), GENERIC_WRITE, kLogShareMode, nullptr, OPEN_EXISTING, dwFlags, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
      const bool fUnsafe = GetLastError() == ERROR_FILE_NOT_FOUND || HoldsOtherThanOrdinaryFile(sFileName);
      return fUnsafe ? OpenResult_Unsafe : OpenResult_Failed;
    }
  }
  if (hFile == INVALID_HANDLE_VALUE) return OpenResult_Failed;
  BY_HANDLE_FILE_INFORMATION tInfo;
  const bool fDescribed = GetFileInformationByHandle(hFile, &tInfo) != FALSE;
  if (fDescribed && IsOrdinaryFile(tInfo)) {
    *phFile = hFile;
    return OpenResult_Opened;
  }
  CloseHandle(hFile);
  // A file that cannot be described is not written either, but is no reason
  // to try the next number.
  return fDescribed ? OpenResult_Unsafe : OpenResult_Failed;
}

// A text-mode stream that owns the handle from now on.
FILE* StreamOnHandle(HANDLE hFile, bool fAppend) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(hFile), _O_TEXT | (fAppend ? _O_APPEND : 0));
  if (fd == -1) {
    CloseHandle(hFile);
    return nullptr;
  }
  FILE* pFile = _fdopen(fd, fAppend ? "a" : "w");
  if (pFile == nullptr) _close(fd);
  return pFile;
}

OpenResult OpenStreamOnFile(const std::string& sFileName, bool fAppend, FILE** ppFile) {
  HANDLE hFile = INVALID_HANDLE_VALUE;
  const OpenResult eResult = OpenOrdinaryFile(sFileName, &hFile);
  if (eResult != OpenResult_Opened) return eResult;
  // Emptied only now that the file is known to be an ordinary one.
  if (!fAppend && !SetEndOfFile(hFile)) {
    CloseHandle(hFile);
    return OpenResult_Failed;
  }
  *ppFile = StreamOnHandle(hFile, fAppend);
  return *ppFile != nullptr ? OpenResult_Opened : OpenResult_Failed;
}

}  // namespace

CLogFile::CLogFile() = default;

CLogFile::~CLogFile() { Close(); }

bool CLogFile::Open(const std::string& sFileName, uint32_t dwMaxLevel, uint32_t dwFlags) {
  Close();
  if (sFileName.empty()) return false;
  m_sFileName = sFileName;
  m_dwMaxLevel = dwMaxLevel;
  m_dwFlags = dwFlags;
  m_dwOpenFlags = dwFlags;
  return WriteHeader();
}

bool CLogFile::LogMessage(uint32_t dwLevel, const char* pszFormat, ...) {
  if (!Accepts(dwLevel) || pszFormat == nullptr) return false;
  std::string sLine;
  if ((m_dwFlags & LogFlag_Timestamp) != 0) sLine = "[" + GetTimeText() + "]: ";
  va_list vaArguments;
  va_start(vaArguments, pszFormat);
  sLine += FormatText(pszFormat, vaArguments);
  va_end(vaArguments);
  return WriteLine(sLine);
}

bool CLogFile::LogError(uint32_t dwLevel, const char* pszSourcePath, int32_t nLine, const char* pszFormat, ...) {
  if (!Accepts(dwLevel) || pszSourcePath == nullptr || pszFormat == nullptr) return false;
  std::string sLine = "[";
  if ((m_dwFlags & LogFlag_Timestamp) != 0) sLine += GetTimeText() + ", ";
  sLine += (m_dwFlags & LogFlag_FullSourcePath) != 0 ? std::string(pszSourcePath) : GetFileNamePart(pszSourcePath);
  sLine += ", Line " + std::to_string(nLine) + "]: ";
  va_list vaArguments;
  va_start(vaArguments, pszFormat);
  sLine += FormatText(pszFormat, vaArguments);
  va_end(vaArguments);
  return WriteLine(sLine);
}

void CLogFile::Close() {
  CloseStream();
  m_sFileName.clear();
  m_sOpenFileName.clear();
  m_dwMaxLevel = 0;
  m_dwFlags = 0;
  m_dwOpenFlags = 0;
  m_fEnabled = false;
}

bool CLogFile::Accepts(uint32_t dwLevel) const { return m_fEnabled && dwLevel <= m_dwMaxLevel; }

bool CLogFile::WriteHeader() {
  if (m_fEnabled) return true;
  if (WriteLine("\n**** " + GetTimeText() + " - Logging Enabled ****\n")) m_fEnabled = true;
  return m_fEnabled;
}

bool CLogFile::WriteLine(const std::string& sLine) {
  if (sLine.empty()) return false;
  if (((m_dwFlags ^ m_dwOpenFlags) & LogFlag_Numbered) != 0 || m_sFileName != m_sOpenFileName) {
    CloseStream();
    m_dwOpenFlags = m_dwFlags;
  }
  if (m_pFile == nullptr && !OpenStream()) return false;
  if (fprintf(m_pFile, "%s\n", sLine.c_str()) < 0) return false;
  // Flushed at once, so that the log is complete up to the last line even
  // when the process is ended abruptly.
  return fflush(m_pFile) == 0;
}

// Places the file (temporary directory, number) and opens it. A stream that
// cannot be opened is reported, so that logging stays off rather than
// pretending the header was written.
bool CLogFile::OpenStream() {
  if ((m_dwFlags & LogFlag_NameAsGiven) == 0) {
    std::string sDirectory;
    if (!GetTempDirectory(&sDirectory)) return false;
    m_sFileName = sDirectory + GetFileNamePart(m_sFileName);
  }
  const bool fNumbered = (m_dwFlags & LogFlag_Numbered) != 0;
  // A numbered file that is not safe to write is passed over: the name then
  // ends in its number, so the next choice takes the number after it.
  for (uint32_t nTry = 0; nTry < kNumberCount; ++nTry) {
    if (fNumbered && !NumberFileName()) return false;
    m_sOpenFileName = m_sFileName;
    const OpenResult eResult = OpenStreamOnFile(m_sFileName, (m_dwFlags & LogFlag_Append) != 0, &m_pFile);
    if (eResult != OpenResult_Unsafe || !fNumbered) return eResult == OpenResult_Opened;
  }
  return false;
}

bool CLogFile::NumberFileName() {
  uint32_t dwNumber = 0;
  if (!ChooseFileNumber(m_sFileName, &dwNumber)) return false;
  m_sFileName = NumberedName(GetDirectoryPart(m_sFileName), GetBaseWithoutNumber(m_sFileName), dwNumber,
                             GetExtension(m_sFileName));
  return true;
}

void CLogFile::CloseStream() {
  if (m_pFile != nullptr) {
    fclose(m_pFile);
    m_pFile = nullptr;
  }
}

// The text is measured by a formatting call that only counts, then formatted
// into a buffer of that size.
std::string CLogFile::FormatText(const char* pszFormat, va_list vaArguments) {
  if (pszFormat == nullptr) return std::string();
  va_list vaMeasure;
  va_copy(vaMeasure, vaArguments);
  const int cchText = vsnprintf(nullptr, 0, pszFormat, vaMeasure);
  va_end(vaMeasure);
  if (cchText < 0) return std::string();
  const size_t cbBuffer = static_cast<size_t>(cchText) + 1;
  std::unique_ptr<char[]> pszBuffer(new (std::nothrow) char[cbBuffer]);
  if (pszBuffer == nullptr) return std::string();
  if (vsnprintf(pszBuffer.get(), cbBuffer, pszFormat, vaArguments) < 0) return std::string();
  // Up to the first zero byte, as a C text ends there.
  return std::string(pszBuffer.get());
}

std::string CLogFile::GetFileNamePart(const std::string& sFileName) {
  size_t isBackslash = sFileName.rfind('\\');
  if (isBackslash == std::string::npos || isBackslash + 1 == sFileName.size()) return sFileName;
  return sFileName.substr(isBackslash + 1);
}

std::string CLogFile::GetDirectoryPart(const std::string& sFileName) {
  size_t isBackslash = sFileName.rfind('\\');
  return isBackslash == std::string::npos ? std::string() : sFileName.substr(0, isBackslash + 1);
}

std::string CLogFile::GetNameWithoutExtension(const std::string& sFileName) {
  const std::string sName = NameAfterLastBackslash(sFileName);
  return sName.substr(0, sName.rfind('.'));
}

std::string CLogFile::GetExtension(const std::string& sFileName) {
  const std::string sName = NameAfterLastBackslash(sFileName);
  size_t isDot = sName.rfind('.');
  if (isDot == std::string::npos || isDot + 1 == sName.size()) return std::string();
  return sName.substr(isDot);
}

std::string CLogFile::GetNumberSuffix(const std::string& sFileName) {
  const std::string sName = GetNameWithoutExtension(sFileName);
  const size_t cch = sName.size();
  auto IsDigit = [](char ch) { return ch >= '0' && ch <= '9'; };
  if (cch < 2 || !IsDigit(sName[cch - 2]) || !IsDigit(sName[cch - 1])) return std::string();
  return sName.substr(cch - 2);
}

std::string CLogFile::GetBaseWithoutNumber(const std::string& sFileName) {
  const std::string sName = GetNameWithoutExtension(sFileName);
  if (GetNumberSuffix(sFileName).empty()) return sName;
  return sName.substr(0, sName.size() - 2);
}

bool CLogFile::GetTempDirectory(std::string* psDirectory) {
  std::string sDirectory = EnvironmentValue("TEMP");
  if (sDirectory.empty()) sDirectory = EnvironmentValue("TMP");
  if (sDirectory.empty()) {
    // TEMP at the root of the Windows drive.
    char szWindows[MAX_PATH];
    const UINT cchWindows = GetWindowsDirectoryA(szWindows, sizeof szWindows);
    if (cchWindows == 0 || cchWindows >= sizeof szWindows) return false;
    sDirectory = std::string(szWindows, cchWindows).substr(0, 3) + "TEMP";
  }
  const std::string sSearchPath = WithoutFinalBackslash(sDirectory);
  if (!PathExists(sSearchPath) && !CreateDirectoryA(sDirectory.c_str(), nullptr)) return false;
  if (!PathExists(sSearchPath)) return false;
  // Child processes find the same directory; a TMP that is set stays as it is.
  if (getenv("TMP") == nullptr && !SetEnvironmentVariableA("TMP", sDirectory.c_str())) return false;
  if (sDirectory.back() != '\\') sDirectory += '\\';
  *psDirectory = sDirectory;
  return true;
}

bool CLogFile::ChooseFileNumber(const std::string& sFileName, uint32_t* pdwNumber) {
  if (sFileName.empty()) return false;
  const std::string sSuffix = GetNumberSuffix(sFileName);
  if (sSuffix.size() == 2) {
    // A numbered name goes on with the next number, without looking at files.
    const uint32_t dwNext = static_cast<uint32_t>((sSuffix[0] - '0') * 10 + (sSuffix[1] - '0')) + 1;
    *pdwNumber = dwNext > 99 ? 0 : dwNext;
    return true;
  }
  const std::string sDirectory = GetDirectoryPart(sFileName);
  const std::string sBase = GetBaseWithoutNumber(sFileName);
  if (sBase.empty()) return false;
  const std::string sExtension = GetExtension(sFileName);

  FILETIME ftOldest;
  ftOldest.dwLowDateTime = 0xFFFFFFFF;
  ftOldest.dwHighDateTime = 0x7FFFFFFF;
  uint32_t dwOldest = 0;
  for (uint32_t dwCandidate = 0; dwCandidate < kNumberCount; ++dwCandidate) {
    FILETIME ftAccessed;
    const CandidateState eState = ProbeCandidate(NumberedName(sDirectory, sBase, dwCandidate, sExtension), &ftAccessed);
    if (eState == CandidateState_Free) {
      *pdwNumber = dwCandidate;
      return true;
    }
    // Strictly earlier only: on equal times the lower number stays.
    if (eState == CandidateState_Present && CompareFileTime(&ftAccessed, &ftOldest) < 0) {
      ftOldest = ftAccessed;
      dwOldest = dwCandidate;
    }
  }
  *pdwNumber = dwOldest;
  return true;
}

bool CLogFile::PathExists(const std::string& sPath) {
  if (sPath.empty()) return false;
  if (IsDriveRoot(sPath)) return GetFileAttributesA(sPath.c_str()) != INVALID_FILE_ATTRIBUTES;
  WIN32_FIND_DATAA tFindData;
  HANDLE hFind = FindFirstFileA(sPath.c_str(), &tFindData);
  if (hFind == INVALID_HANDLE_VALUE) return false;
  FindClose(hFind);
  return true;
}

std::string CLogFile::GetTimeText() {
  const time_t tNow = time(nullptr);
  if (tNow == static_cast<time_t>(-1)) return "Unknown";
  const struct tm* pLocal = localtime(&tNow);
  return pLocal == nullptr ? "Unknown" : TimeText(*pLocal);
}

std::string CLogFile::TimeText(const struct tm& tLocal) {
  static const char* const s_apszDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const s_apszMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (tLocal.tm_wday < 0 || tLocal.tm_wday > 6 || tLocal.tm_mon < 0 || tLocal.tm_mon > 11) return "Unknown";
  // The runtime's ctime pads the day with a blank; the log always shows two digits.
  char szTime[96];
  snprintf(szTime, sizeof szTime, "%s %s %02d %02d:%02d:%02d %d", s_apszDays[tLocal.tm_wday],
           s_apszMonths[tLocal.tm_mon], tLocal.tm_mday, tLocal.tm_hour, tLocal.tm_min, tLocal.tm_sec,
           tLocal.tm_year + 1900);
  return szTime;
}
