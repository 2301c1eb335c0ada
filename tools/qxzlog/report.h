// One self-contained HTML page for a ticket: the runs, their timeline, the
// registry state and every run's lines. No script, nothing loaded from
// outside the page, every byte of a log escaped.
#ifndef QXZ_TOOLS_QXZLOG_REPORT_H
#define QXZ_TOOLS_QXZLOG_REPORT_H

#include <map>
#include <string>
#include <vector>

#include "tools/qxzlog/log_directory.h"
#include "tools/qxzlog/state.h"

namespace qxz::qxzlog
{

struct ReportInput
{
    std::string sMachine;
    std::string sMadeAt; // local time, as the logs' headers write it
    std::string sDirectory;
    std::vector<RunRef> vRuns; // newest first
    const std::vector<LogFile>* pvFiles = nullptr;
    std::map<std::string, std::string> mapBytes; // each file's bytes by path, as read for the report
    LONG lStateError = ERROR_SUCCESS;            // the Glue key could not be read
    GlueState tState;
};

std::string RenderReport(const ReportInput& tInput);

// The timeline: one row per driver, each run a mark at its start time.
std::string TimelineSvg(const std::vector<RunRef>& vRuns);

} // namespace qxz::qxzlog

#endif // QXZ_TOOLS_QXZLOG_REPORT_H
