// What went wrong in a run, in words: the cause of a failure (one of a fixed
// table), warnings that a run which succeeded can still carry, and the
// pattern of both across many runs. Read from the run's lines only.
#ifndef QXZ_TOOLS_QXZLOG_DIAGNOSIS_H
#define QXZ_TOOLS_QXZLOG_DIAGNOSIS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/qxzlog/error_codes.h"
#include "tools/qxzlog/log_directory.h"
#include "tools/qxzlog/log_runs.h"

namespace qxz::qxzlog
{

// A diagnosis or a warning. Absent optionals are null in the JSON.
struct Finding
{
    std::string sCause;                    // "registration", "port-not-found", ...
    std::optional<std::string> osSubject;  // the switch, value or object concerned
    std::optional<std::string> osCode;     // the code's text as logged
    bool fWin32Code = false;               // osCode is a Win32 code (else Glue's status code)
    std::optional<std::string> osCodeName; // "ERROR_ACCESS_DENIED"
    std::optional<std::string> osCodeText; // what the code means here
    std::string sSummary;                  // one sentence, naming the driver where there is one
};

// The cause of a run that did not succeed; none for a run that succeeded.
std::optional<Finding> Diagnose(const LogRun& tRun);

// What a run logged that will still keep the printer from printing, on a
// run of any outcome.
std::vector<Finding> Warnings(const LogRun& tRun);

// The driver a run was for: its closing line, else its command line.
std::optional<std::string> DriverOf(const LogRun& tRun);

// One line of the pattern across runs: a cause (or warning), its subject and
// code, and the runs that show it.
struct FindingGroup
{
    bool fWarning = false; // kind "warning", else "failure"
    std::string sCause;
    std::optional<std::string> osSubject;
    std::optional<std::string> osCode;
    bool fWin32Code = false;
    size_t cRuns = 0;
    std::vector<std::string> vDrivers; // sorted, each once
    const LogRun* ptFirst = nullptr;   // the earliest run, by start time
    const LogRun* ptLast = nullptr;    // the latest
};

// The groups of the runs (newest first, as RunsNewestFirst gives them):
// failures, then warnings, each with most runs first.
std::vector<FindingGroup> GroupFindings(const std::vector<RunRef>& vRuns);

} // namespace qxz::qxzlog

#endif // QXZ_TOOLS_QXZLOG_DIAGNOSIS_H
