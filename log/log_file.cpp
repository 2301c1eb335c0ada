// The log's writer: the header and lines of a run, written into the file
// that the placement and numbering chose, each flushed at once.
#include "log/log_file.h"

#include <memory>
#include <new>

#include "log/log_number.h"
#include "log/log_texts.h"
#include "platform/win32.h"

CLogFile g_Log;

namespace
{

using qxz::log::NumberChoice;
using qxz::log::OpenResult;

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

OpenResult OpenStreamOnFile(const std::string& sFileName, bool fAppend, const NumberChoice& tChoice, FILE** ppFile)
{
    HANDLE hFile = INVALID_HANDLE_VALUE;
    const OpenResult eResult = qxz::log::OpenLogFile(sFileName, fAppend, tChoice, &hFile);
    if (eResult != qxz::log::OpenResult_Opened)
        return eResult;
    *ppFile = StreamOnHandle(hFile, fAppend);
    return *ppFile != nullptr ? qxz::log::OpenResult_Opened : qxz::log::OpenResult_Failed;
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
    std::string sPlace;
    if ((m_dwFlags & LogFlag_Timestamp) != 0)
        sPlace = GetTimeText() + ", ";
    sPlace += (m_dwFlags & LogFlag_FullSourcePath) != 0 ? std::string(pszSourcePath) : GetFileNamePart(pszSourcePath);
    std::string sLine = Format(kLogErrorPlaceFormat, sPlace.c_str(), static_cast<int>(nLine));
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
    if (WriteLine(Format(kLogHeaderFormat, GetTimeText().c_str())))
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
        return OpenStreamOnFile(m_sFileName, fAppend, NumberChoice(), &m_pFile) == qxz::log::OpenResult_Opened;
    }
    // A number whose file is refused is passed over and the choice made again
    // without it. A name that carries its own number goes on with the next
    // one, as it does without looking at files.
    const std::string sUnnumbered = m_sFileName;
    std::string sChooseFrom = sUnnumbered;
    qxz::log::NumberSet passedOver;
    for (uint32_t nTry = 0; nTry < qxz::log::kNumberCount; ++nTry)
    {
        NumberChoice tChoice;
        if (!qxz::log::ChooseNumber(sChooseFrom, passedOver, &tChoice))
            return false;
        m_sFileName = qxz::log::NumberedName(GetDirectoryPart(sUnnumbered), GetBaseWithoutNumber(sUnnumbered),
                                             tChoice.dwNumber, GetExtension(sUnnumbered));
        m_sOpenFileName = m_sFileName;
        const OpenResult eResult = OpenStreamOnFile(m_sFileName, fAppend, tChoice, &m_pFile);
        if (eResult != qxz::log::OpenResult_Refused)
            return eResult == qxz::log::OpenResult_Opened;
        passedOver.set(tChoice.dwNumber);
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
std::string CLogFile::Format(const char* pszFormat, ...)
{
    va_list vaArguments;
    va_start(vaArguments, pszFormat);
    std::string sText = FormatText(pszFormat, vaArguments);
    va_end(vaArguments);
    return sText;
}

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

std::string CLogFile::GetTimeText()
{
    const time_t tNow = time(nullptr);
    if (tNow == static_cast<time_t>(-1))
        return kLogUnknownTime;
    const struct tm* pLocal = localtime(&tNow);
    return pLocal == nullptr ? kLogUnknownTime : TimeText(*pLocal);
}

std::string CLogFile::TimeText(const struct tm& tLocal)
{
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (tLocal.tm_wday < 0 || tLocal.tm_wday > 6 || tLocal.tm_mon < 0 || tLocal.tm_mon > 11)
        return kLogUnknownTime;
    // The runtime's ctime pads the day with a blank; the log always shows two digits.
    char szTime[96];
    snprintf(szTime, sizeof szTime, "%s %s %02d %02d:%02d:%02d %d", kDays[tLocal.tm_wday], kMonths[tLocal.tm_mon],
             tLocal.tm_mday, tLocal.tm_hour, tLocal.tm_min, tLocal.tm_sec, tLocal.tm_year + 1900);
    return szTime;
}
