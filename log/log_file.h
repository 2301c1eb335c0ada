// The program's diagnostic log: one numbered file per run in the temporary
// directory, one line per message, flushed as soon as it is written. Its
// rooms: the writer (log_file), the name's parts (log_names), the temporary
// directory (log_directory), the defence against planted names (log_entry)
// and the choice of the number (log_number).
#ifndef QXZ_LOG_LOG_FILE_H
#define QXZ_LOG_LOG_FILE_H

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

// Lets the compiler check every caller's format against its arguments. The
// MinGW runtime is built for the C99 printf dialect (__USE_MINGW_ANSI_STDIO):
// GCC names it gnu_printf there (its printf is the system runtime's), Clang
// knows it as printf only.
#if defined(__MINGW32__) && !defined(__clang__)
#define QX_PRINTF_FORMAT(nFormat, nFirstArg) __attribute__((format(gnu_printf, nFormat, nFirstArg)))
#elif defined(__GNUC__)
#define QX_PRINTF_FORMAT(nFormat, nFirstArg) __attribute__((format(printf, nFormat, nFirstArg)))
#else
#define QX_PRINTF_FORMAT(nFormat, nFirstArg)
#endif

// Option bits of CLogFile::Open.
enum LogFlag : uint32_t
{
    LogFlag_Numbered = 0x01,       // a two-digit number goes before the extension
    LogFlag_Append = 0x02,         // add to an existing file instead of emptying it
    LogFlag_NameAsGiven = 0x04,    // keep the name's own directory, not the temporary one
    LogFlag_Timestamp = 0x08,      // message lines begin with the time
    LogFlag_FullSourcePath = 0x10, // error lines show the caller's whole source path
};

class CLogFile
{
public:
    CLogFile();
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Starts a new log: places and opens the file and writes the header.
    // False (and logging off) when the header could not be written.
    bool Open(const std::string& sFileName, uint32_t dwMaxLevel, uint32_t dwFlags);

    // One line of formatted text. False when the line was not written.
    bool LogMessage(uint32_t dwLevel, const char* pszFormat, ...) QX_PRINTF_FORMAT(3, 4);

    // One line "[<source file>, Line <n>]: <formatted text>".
    bool LogError(uint32_t dwLevel, const char* pszSourcePath, int32_t nLine, const char* pszFormat, ...)
        QX_PRINTF_FORMAT(5, 6);

    // Closes the file and forgets everything Open was given.
    void Close();

    const std::string& OpenFileName() const
    {
        return m_sOpenFileName;
    }
    bool IsEnabled() const
    {
        return m_fEnabled;
    }

    // Parts of a file name. The backslash is the only separator; the extension
    // starts at the last dot of the part after the last backslash.
    static std::string GetFileNamePart(const std::string& sFileName);
    static std::string GetDirectoryPart(const std::string& sFileName);
    static std::string GetNameWithoutExtension(const std::string& sFileName);
    static std::string GetExtension(const std::string& sFileName);
    static std::string GetNumberSuffix(const std::string& sFileName);
    static std::string GetBaseWithoutNumber(const std::string& sFileName);

    // The directory for log files, ending with a backslash; created if
    // missing, and TMP set to it where TMP is not set.
    static bool GetTempDirectory(std::string* psDirectory);
    // The same directory for a reader, found without changing anything:
    // false where it does not exist.
    static bool FindTempDirectory(std::string* psDirectory);
    // The number 0 to 99 that the numbered name is to carry: the first that
    // has no file, else the least recently used file (accessed or written).
    static bool ChooseFileNumber(const std::string& sFileName, uint32_t* pdwNumber);
    static bool PathExists(const std::string& sPath);
    // Local time as "Wed Dec 09 23:12:19 2026", or "Unknown".
    static std::string GetTimeText();
    // The same text for a given broken-down time.
    static std::string TimeText(const struct tm& tLocal);

private:
    bool Accepts(uint32_t dwLevel) const;
    bool WriteHeader();
    bool WriteLine(const std::string& sLine);
    bool OpenStream();
    void CloseStream();
    static std::string FormatText(const char* pszFormat, va_list vaArguments) QX_PRINTF_FORMAT(1, 0);
    static std::string Format(const char* pszFormat, ...) QX_PRINTF_FORMAT(1, 2);

    std::string m_sFileName;
    std::string m_sOpenFileName;
    uint32_t m_dwMaxLevel = 0;
    uint32_t m_dwFlags = 0;
    uint32_t m_dwOpenFlags = 0;
    bool m_fEnabled = false;
    FILE* m_pFile = nullptr;
};

extern CLogFile g_Log;

#endif // QXZ_LOG_LOG_FILE_H
