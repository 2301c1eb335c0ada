// What the Pin's log says about its runs, read from the bytes of one file.
// Pure functions over bytes: no file is touched here.
#ifndef QXZ_TOOLS_QXZLOG_LOG_RUNS_H
#define QXZ_TOOLS_QXZLOG_LOG_RUNS_H

#include <cstddef>
#include <cstdint>
#include <string>
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
    bool HasFailedCheck() const
    {
        return iFailedCheck < vErrors.size();
    }
};

// Every run in a file's bytes, in the order written. A run begins at each
// header line; bytes before the first header belong to no run.
std::vector<LogRun> ParseLog(const std::string& sBytes);

// An error line, or false for any other line (the line without its end).
bool ParseErrorLine(const std::string& sLine, ErrorLine* ptError);

// The header's time "Wed Dec 09 23:12:19 2026" as a number that orders such
// times; false for "Unknown" or anything else.
bool ParseTimeText(const std::string& sText, int64_t* pnKey);

// The same number for broken-down calendar fields (month 1 to 12).
int64_t CalendarKey(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond);

const char* OutcomeName(Outcome eOutcome);

} // namespace qxz::qxzlog

#endif // QXZ_TOOLS_QXZLOG_LOG_RUNS_H
