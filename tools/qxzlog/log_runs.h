// What the Pin's log says about its runs, read from the bytes of one file.
// Pure functions over bytes: no file is touched here.
#ifndef QXZ_TOOLS_QXZLOG_LOG_RUNS_H
#define QXZ_TOOLS_QXZLOG_LOG_RUNS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qxz::qxzlog
{

// "[<source>, Line <n>]: Error --> <condition>"
struct ErrorLine
{
    std::string sSource;
    int64_t nLine = 0;
    std::string sCondition;
};

enum class Outcome
{
    Succeeded,
    Failed,
    Incomplete
};
enum class PortState
{
    Unknown,
    Found,
    NotFound
};

// An optional text: a closing line may be missing, or say "NULL".
struct Text
{
    bool fPresent = false;
    std::string sValue;
};

// What a line that carries a Win32 code reports.
enum class CodeSource
{
    RegistryRead,  // "RegGetStringValue (...) Failed, lResult = %d"
    RegistryWrite, // "RegSetStringValue (...)" or "RegSetDwordValue (...)"
    AddMonitor,    // the USB monitor could not be added
    PortListSize,  // the first listing call, which only asks for the size
    PortList       // the listing itself failed
};

struct CodedLine
{
    CodeSource eSource = CodeSource::RegistryRead;
    std::string sValueName; // of a registry line: the value concerned
    int64_t nCode = 0;
    size_t cErrorsBefore = 0; // the run's error lines before this one
};

struct LogRun
{
    std::string sStarted;       // the header's time text as written
    bool fStartedKnown = false; // false for "Unknown" or a time that does not parse
    int64_t nStartedKey = 0;    // orders the header times (seconds of a proleptic calendar)
    Text tPort;                 // "Input PortName is :: %s"
    PortState ePortState = PortState::Unknown;
    Text tPinPathname;
    Text tCommandLine;
    Text tDriver;
    Outcome eOutcome = Outcome::Incomplete;
    std::vector<ErrorLine> vErrors;                // every error line, in the order written
    size_t iFailedCheck = static_cast<size_t>(-1); // into vErrors; set for a failed run with a stack
    size_t ibBegin = 0;                            // the run's bytes in the file: from its header line
    size_t ibEnd = 0;                              // to the next header line or the end
    std::vector<CodedLine> vCodedLines;            // every line that carries a code, in order
    bool fStatusCodePassed = false;                // the switch checks stopped at Glue's status code
    bool fPortListRead = false;                    // the spooler's ports were listed
    bool fPortListFailed = false;                  // the listing failed (its code, if any, is a coded line)
    std::string sLastStep;                         // the last step the log shows; empty before the first
    bool HasFailedCheck() const
    {
        return iFailedCheck < vErrors.size();
    }
};

// Every run in a file's bytes, in the order written. A run begins at each
// header line; bytes before the first header belong to no run.
std::vector<LogRun> ParseLog(const std::string& sBytes);

// An error line, or false for any other line (the line without its end).
bool ParseErrorLine(std::string_view sLine, ErrorLine* ptError);

// A line that carries a Win32 code, or false (cErrorsBefore is left as it is).
bool ParseCodedLine(std::string_view sLine, CodedLine* ptLine);

// The header's time "Wed Dec 09 23:12:19 2026" as a number that orders such
// times; false for "Unknown" or anything else.
bool ParseTimeText(const std::string& sText, int64_t* pnKey);

// The same number for broken-down calendar fields (month 1 to 12).
int64_t CalendarKey(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond);

const char* OutcomeName(Outcome eOutcome);

// A run's lines in the bytes of its file as they are now (its byte range
// cut to what the file still holds), without their ends.
std::vector<std::string> RunLines(const std::string& sFileBytes, const LogRun& tRun);

} // namespace qxz::qxzlog

#endif // QXZ_TOOLS_QXZLOG_LOG_RUNS_H
