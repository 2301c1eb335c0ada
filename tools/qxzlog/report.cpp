// The report's page. Everything that comes from a log or the registry goes
// through HtmlEscape; the page's own markup is written here and nowhere else.
#include "tools/qxzlog/report.h"

#include <algorithm>
#include <set>

#include "tools/qxzlog/diagnosis.h"
#include "tools/qxzlog/html.h"
#include "tools/qxzlog/output.h"
#include "tools/qxzlog/state_output.h"

namespace qxz::qxzlog
{

namespace
{

// A run with more log lines than this is folded.
constexpr size_t kFoldedLines = 24;
constexpr int kTimelineWidth = 960;
constexpr int kLabelWidth = 200;
constexpr int kRowHeight = 30;
constexpr int kAxisHeight = 34;

constexpr const char kStyle[] = R"(
body{font:15px/1.45 system-ui,sans-serif;margin:24px auto;max-width:1040px;padding:0 16px;color:#1b1b1b;background:#fff}
h1{font-size:24px;margin:0 0 4px}h2{font-size:19px;margin:28px 0 8px;border-bottom:2px solid #ddd;padding-bottom:3px}
h3{font-size:16px;margin:18px 0 6px}
table{border-collapse:collapse;margin:6px 0 12px}td,th{border:1px solid #ccc;padding:3px 8px;text-align:left;vertical-align:top}
th{background:#f2f2f2}.meta{color:#555}
.succeeded{color:#1b6e20;font-weight:600}.failed{color:#b3261e;font-weight:600}.incomplete{color:#8a5a00;font-weight:600}
.run{border:1px solid #ddd;border-left:6px solid #999;padding:6px 12px;margin:12px 0;border-radius:4px}
.run.s{border-left-color:#2e7d32}.run.f{border-left-color:#c62828}.run.i{border-left-color:#f9a825}
.diagnosis{font-weight:600;margin:4px 0}.warning{color:#8a4b00;font-weight:600;margin:4px 0}
.code{margin:2px 0 6px;color:#333}.cause{font-weight:400;color:#666}tr.fail td:first-child{color:#b3261e}
tr.warn td:first-child{color:#8a4b00}pre .note{color:#1a4d8f;font-style:italic;display:block}.problem{color:#b3261e}.missing{color:#b3261e;font-weight:600}.exists{color:#1b6e20}
pre{background:#f7f7f7;border:1px solid #e2e2e2;padding:8px;overflow-x:auto;font:13px/1.35 ui-monospace,monospace;white-space:pre-wrap;word-break:break-all}
pre .err{background:#fde2e1;color:#8c1d18;display:block}pre .check{background:#f8b4b0;font-weight:700;display:block}
summary{cursor:pointer;color:#1a4d8f}svg text{font:12px system-ui,sans-serif}
)";

std::string Escape(const std::string& sText)
{
    return HtmlEscape(sText);
}

const char* OutcomeClass(Outcome eOutcome)
{
    return eOutcome == Outcome::Succeeded ? "s" : eOutcome == Outcome::Failed ? "f" : "i";
}

const char* OutcomeColour(Outcome eOutcome)
{
    return eOutcome == Outcome::Succeeded ? "#2e7d32" : eOutcome == Outcome::Failed ? "#c62828" : "#f9a825";
}

std::string DriverName(const LogRun& tRun)
{
    return DriverOf(tRun).value_or("(no driver)");
}

std::string RunLabel(const RunRef& tRef)
{
    std::string sLabel = tRef.ptFile->sName;
    if (tRef.ptFile->vRuns.size() > 1)
        sLabel += "#" + std::to_string(tRef.iRun + 1);
    return sLabel;
}

std::string RunAnchor(size_t iRun)
{
    return "run-" + std::to_string(iRun + 1);
}

bool HasWarning(const LogRun& tRun)
{
    return !Warnings(tRun).empty();
}

// A finding's code with its name and meaning, where it has a Win32 code.
std::string CodeLine(const Finding& tFinding)
{
    if (!tFinding.osCode)
        return "";
    if (!tFinding.fWin32Code)
        return "<p class=\"code\">status code " + Escape(*tFinding.osCode) + "</p>";
    return "<p class=\"code\">code " + Escape(*tFinding.osCode) +
           (tFinding.osCodeName ? " " + Escape(*tFinding.osCodeName) : std::string()) +
           (tFinding.osCodeText ? ": " + Escape(*tFinding.osCodeText) : std::string()) + "</p>";
}

std::string Findings(const LogRun& tRun)
{
    std::string sHtml;
    if (const std::optional<Finding> otDiagnosis = Diagnose(tRun))
    {
        sHtml += "<p class=\"diagnosis\">" + Escape(otDiagnosis->sSummary) + " <span class=\"cause\">(" +
                 Escape(otDiagnosis->sCause) + ")</span></p>" + CodeLine(*otDiagnosis);
    }
    for (const Finding& tWarning : Warnings(tRun))
    {
        sHtml += "<p class=\"warning\">Warning: " + Escape(tWarning.sSummary) + " <span class=\"cause\">(" +
                 Escape(tWarning.sCause) + ")</span></p>" + CodeLine(tWarning);
    }
    return sHtml;
}

std::string Summary(const ReportInput& tInput)
{
    size_t acOutcomes[3] = {0, 0, 0};
    std::map<std::string, size_t> mapDrivers;
    for (const RunRef& tRef : tInput.vRuns)
    {
        ++acOutcomes[static_cast<int>(tRef.Run().eOutcome)];
        ++mapDrivers[DriverName(tRef.Run())];
    }
    std::string sHtml = "<table><tr><th>runs</th><th>succeeded</th><th>failed</th><th>incomplete</th><th>first "
                        "seen</th><th>last seen</th></tr><tr><td>" +
                        std::to_string(tInput.vRuns.size()) + "</td>";
    for (size_t cRuns : acOutcomes)
        sHtml += "<td>" + std::to_string(cRuns) + "</td>";
    const std::string sFirst = tInput.vRuns.empty() ? "" : tInput.vRuns.back().Run().sStarted;
    const std::string sLast = tInput.vRuns.empty() ? "" : tInput.vRuns.front().Run().sStarted;
    sHtml += "<td>" + Escape(sFirst) + "</td><td>" + Escape(sLast) + "</td></tr></table>";
    sHtml += "<table><tr><th>driver</th><th>runs</th></tr>";
    for (const auto& tDriver : mapDrivers)
        sHtml += "<tr><td>" + Escape(tDriver.first) + "</td><td>" + std::to_string(tDriver.second) + "</td></tr>";
    sHtml += "</table>";
    const std::vector<FindingGroup> vGroups = GroupFindings(tInput.vRuns);
    if (!vGroups.empty())
    {
        sHtml += "<table><tr><th>kind</th><th>cause</th><th>subject</th><th>code</th><th>runs</th><th>drivers</th>"
                 "<th>first</th><th>last</th></tr>";
        for (const FindingGroup& tGroup : vGroups)
        {
            std::string sDrivers;
            for (const std::string& sDriver : tGroup.vDrivers)
                sDrivers += (sDrivers.empty() ? "" : ", ") + sDriver;
            const std::string sCode = !tGroup.osCode      ? ""
                                      : tGroup.fWin32Code ? CodeWithName(std::stoll(*tGroup.osCode))
                                                          : "status code " + *tGroup.osCode;
            sHtml += std::string("<tr class=\"") + (tGroup.fWarning ? "warn" : "fail") + "\"><td>" +
                     (tGroup.fWarning ? "warning" : "failure") + "</td><td>" + Escape(tGroup.sCause) + "</td><td>" +
                     Escape(tGroup.osSubject.value_or("")) + "</td><td>" + Escape(sCode) + "</td><td>" +
                     std::to_string(tGroup.cRuns) + "</td><td>" + Escape(sDrivers) + "</td><td>" +
                     Escape(tGroup.ptFirst != nullptr ? tGroup.ptFirst->sStarted : "") + "</td><td>" +
                     Escape(tGroup.ptLast != nullptr ? tGroup.ptLast->sStarted : "") + "</td></tr>";
        }
        sHtml += "</table>";
    }
    return sHtml;
}

std::string StateValues(const std::vector<ValueState>& vValues)
{
    std::string sHtml = "<table><tr><th>value</th><th>type</th><th>data</th><th>on this machine</th></tr>";
    for (const ValueState& tValue : vValues)
    {
        std::string sType = "", sData = "not set", sExists = "";
        if (tValue.fPresent && tValue.lError != ERROR_SUCCESS)
        {
            sData = "cannot be read: " + CodeDescription(tValue.lError);
        }
        else if (tValue.fPresent)
        {
            sType = RegTypeName(tValue.dwType);
            sData = ValueDataText(tValue);
            sExists = ExistsText(tValue.eExists);
        }
        sHtml += "<tr><td>" + Escape(tValue.sName) + "</td><td>" + Escape(sType) + "</td><td>" + Escape(sData) +
                 "</td><td class=\"" + sExists + "\">" + Escape(sExists) + "</td></tr>";
    }
    return sHtml + "</table>";
}

std::string State(const ReportInput& tInput)
{
    if (tInput.lStateError == ERROR_FILE_NOT_FOUND)
        return "<p>" + Escape(GlueKeyName()) + " does not exist on this machine: no driver was registered here.</p>";
    if (tInput.lStateError != ERROR_SUCCESS)
        return "<p class=\"problem\">" + Escape(GlueKeyName()) +
               " cannot be read: " + Escape(CodeDescription(tInput.lStateError)) + "</p>";
    std::string sHtml = "<h3>" + Escape(GlueKeyName()) + "</h3>" + StateValues(tInput.tState.vGlueValues);
    for (const DriverState& tDriver : tInput.tState.vDrivers)
    {
        sHtml += "<h3>driver " + Escape(tDriver.sDriver) + "</h3>";
        if (tDriver.lError != ERROR_SUCCESS)
            sHtml += "<p class=\"problem\">The key cannot be read: " + Escape(CodeDescription(tDriver.lError)) + "</p>";
        else
            sHtml += StateValues(tDriver.vValues);
        for (const Problem& tProblem : tDriver.vProblems)
            sHtml += "<p class=\"problem\">" + Escape(tProblem.sProblem + ": " + tProblem.sText) + "</p>";
    }
    return sHtml;
}

// The run's lines, the failed checks marked.
std::string LogLines(const RunRef& tRef, const std::string& sBytes, size_t* pcLines)
{
    const LogRun& tRun = tRef.Run();
    const std::vector<std::string> vLines = RunLines(sBytes, tRun);
    std::string sHtml;
    size_t iError = 0;
    *pcLines = vLines.size();
    for (const std::string& sLine : vLines)
    {
        ErrorLine tError;
        if (ParseErrorLine(sLine, &tError))
        {
            const bool fCheck = tRun.HasFailedCheck() && iError == tRun.iFailedCheck;
            sHtml += std::string("<span class=\"") + (fCheck ? "check" : "err") + "\">" + Escape(sLine) + "</span>";
            ++iError;
        }
        else
        {
            sHtml += Escape(sLine) + "\n";
        }
        CodedLine tCoded;
        if (ParseCodedLine(sLine, &tCoded))
            sHtml += "<span class=\"note\">" + Escape(kNoteMark + CodeNote(tCoded.nCode)) + "</span>";
    }
    return sHtml;
}

std::string Runs(const ReportInput& tInput)
{
    std::string sHtml;
    for (size_t i = 0; i < tInput.vRuns.size(); ++i)
    {
        const RunRef& tRef = tInput.vRuns[i];
        const LogRun& tRun = tRef.Run();
        sHtml += "<div class=\"run " + std::string(OutcomeClass(tRun.eOutcome)) + "\" id=\"" + RunAnchor(i) + "\">";
        sHtml += "<h3>" + Escape(tRun.sStarted) + " &#183; " + Escape(RunLabel(tRef)) + " &#183; <span class=\"" +
                 OutcomeName(tRun.eOutcome) + "\">" + OutcomeName(tRun.eOutcome) + "</span></h3>";
        sHtml += "<p class=\"meta\">driver " + Escape(DriverName(tRun)) + " &#183; port " +
                 Escape(tRun.tPort.fPresent ? tRun.tPort.sValue : "(none)") +
                 (tRun.ePortState == PortState::Found      ? " (listed by the spooler)"
                  : tRun.ePortState == PortState::NotFound ? " (not listed by the spooler)"
                                                           : "") +
                 "</p>";
        sHtml += Findings(tRun);
        auto itBytes = tInput.mapBytes.find(tRef.ptFile->sPath);
        size_t cLines = 0;
        const std::string sLines =
            itBytes == tInput.mapBytes.end() ? std::string() : LogLines(tRef, itBytes->second, &cLines);
        if (cLines > kFoldedLines)
            sHtml += "<details><summary>the log's " + std::to_string(cLines) + " lines</summary><pre>" + sLines +
                     "</pre></details>";
        else
            sHtml += "<pre>" + sLines + "</pre>";
        sHtml += "</div>\n";
    }
    return sHtml;
}

std::string NoRunFiles(const std::vector<LogFile>& vFiles)
{
    std::string sHtml;
    for (const LogFile& tFile : vFiles)
    {
        if (tFile.vRuns.empty())
            sHtml += "<li>" + Escape(tFile.sName + ": " + tFile.sProblem) + "</li>";
    }
    return sHtml.empty() ? "" : "<h2>Files that hold no run</h2><ul>" + sHtml + "</ul>";
}

} // namespace

std::string TimelineSvg(const std::vector<RunRef>& vRuns)
{
    std::vector<std::string> vDrivers;
    for (const RunRef& tRef : vRuns)
    {
        if (std::find(vDrivers.begin(), vDrivers.end(), DriverName(tRef.Run())) == vDrivers.end())
            vDrivers.push_back(DriverName(tRef.Run()));
    }
    std::sort(vDrivers.begin(), vDrivers.end());
    int64_t nFirst = 0, nLast = 0;
    for (size_t i = 0; i < vRuns.size(); ++i)
    {
        nFirst = i == 0 ? StartKey(vRuns[i]) : std::min(nFirst, StartKey(vRuns[i]));
        nLast = i == 0 ? StartKey(vRuns[i]) : std::max(nLast, StartKey(vRuns[i]));
    }
    const int nPlot = kTimelineWidth - kLabelWidth - 20;
    const int nHeight = static_cast<int>(vDrivers.size()) * kRowHeight + kAxisHeight;
    std::string sSvg = "<svg width=\"" + std::to_string(kTimelineWidth) + "\" height=\"" + std::to_string(nHeight) +
                       "\" viewBox=\"0 0 " + std::to_string(kTimelineWidth) + " " + std::to_string(nHeight) +
                       "\" role=\"img\" aria-label=\"timeline of the runs\">";
    for (size_t iRow = 0; iRow < vDrivers.size(); ++iRow)
    {
        const int nY = static_cast<int>(iRow) * kRowHeight;
        sSvg += "<rect x=\"0\" y=\"" + std::to_string(nY) + "\" width=\"" + std::to_string(kTimelineWidth) +
                "\" height=\"" + std::to_string(kRowHeight) + "\" fill=\"" + (iRow % 2 ? "#ffffff" : "#f4f6f8") +
                "\"/><text x=\"6\" y=\"" + std::to_string(nY + 19) + "\">" +
                Escape(vDrivers[iRow].substr(0, 28) + (vDrivers[iRow].size() > 28 ? "..." : "")) + "</text>";
    }
    for (size_t i = 0; i < vRuns.size(); ++i)
    {
        const LogRun& tRun = vRuns[i].Run();
        const size_t iRow = std::find(vDrivers.begin(), vDrivers.end(), DriverName(tRun)) - vDrivers.begin();
        const double dAt = nLast == nFirst ? 0.5 : double(StartKey(vRuns[i]) - nFirst) / double(nLast - nFirst);
        const int nX = kLabelWidth + 10 + static_cast<int>(dAt * nPlot);
        const int nY = static_cast<int>(iRow) * kRowHeight + kRowHeight / 2;
        sSvg += "<a href=\"#" + RunAnchor(i) + "\"><title>" +
                Escape(tRun.sStarted + " " + RunLabel(vRuns[i]) + " " + OutcomeName(tRun.eOutcome) + " " +
                       DriverName(tRun)) +
                "</title>";
        if (HasWarning(tRun))
            sSvg += "<circle cx=\"" + std::to_string(nX) + "\" cy=\"" + std::to_string(nY) +
                    "\" r=\"11\" fill=\"none\" stroke=\"#e65100\" stroke-width=\"2.5\"/>";
        sSvg += "<circle cx=\"" + std::to_string(nX) + "\" cy=\"" + std::to_string(nY) + "\" r=\"7\" fill=\"" +
                OutcomeColour(tRun.eOutcome) + "\" stroke=\"#ffffff\" stroke-width=\"1\"/></a>";
    }
    const int nAxis = static_cast<int>(vDrivers.size()) * kRowHeight;
    sSvg += "<line x1=\"" + std::to_string(kLabelWidth) + "\" y1=\"" + std::to_string(nAxis + 4) + "\" x2=\"" +
            std::to_string(kTimelineWidth - 10) + "\" y2=\"" + std::to_string(nAxis + 4) + "\" stroke=\"#888\"/>";
    if (!vRuns.empty())
    {
        sSvg += "<text x=\"" + std::to_string(kLabelWidth) + "\" y=\"" + std::to_string(nAxis + 22) + "\">" +
                Escape(vRuns.back().Run().sStarted) + "</text><text x=\"" + std::to_string(kTimelineWidth - 10) +
                "\" y=\"" + std::to_string(nAxis + 22) + "\" text-anchor=\"end\">" +
                Escape(vRuns.front().Run().sStarted) + "</text>";
    }
    return sSvg + "</svg>";
}

std::string RenderReport(const ReportInput& tInput)
{
    const std::string sTitle = "The Pin's runs on " + tInput.sMachine;
    std::string sHtml = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src "
                        "'unsafe-inline'\"><title>" +
                        Escape(sTitle) + "</title><style>" + kStyle + "</style></head><body>\n";
    sHtml += "<h1>" + Escape(sTitle) + "</h1><p class=\"meta\">Report of " + Escape(tInput.sMadeAt) + " on " +
             Escape(tInput.sMachine) + ", from the logs in " + Escape(tInput.sDirectory) + ".</p>\n";
    sHtml += "<h2>Summary</h2>" + Summary(tInput) + "\n";
    sHtml += "<h2>Timeline</h2><p class=\"meta\">Each run at its start, one row per driver: <span "
             "class=\"succeeded\">succeeded</span>, <span class=\"failed\">failed</span>, <span "
             "class=\"incomplete\">incomplete</span>; a ring marks a warning.</p>" +
             TimelineSvg(tInput.vRuns) + "\n";
    sHtml += "<h2>Registry state</h2>" + State(tInput) + "\n";
    sHtml += "<h2>Runs, newest first</h2>" + Runs(tInput);
    sHtml += NoRunFiles(*tInput.pvFiles);
    return sHtml + "</body></html>\n";
}

} // namespace qxz::qxzlog
