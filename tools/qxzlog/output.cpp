// Text for people, JSON for scripts.
#include "tools/qxzlog/output.h"

#include <cinttypes>
#include <cstring>

namespace qxz::qxzlog
{

namespace
{

constexpr const char kRed[] = "\x1b[31m";
constexpr const char kGreen[] = "\x1b[32m";
constexpr const char kYellow[] = "\x1b[33m";
constexpr const char kPlain[] = "\x1b[0m";
// A sentence of ours is shown whole; the values in it are cut already.
constexpr size_t kShownSentenceBytes = 4096;

const char* OutcomeColour(Outcome eOutcome)
{
    switch (eOutcome)
    {
        case Outcome::Succeeded: return kGreen;
        case Outcome::Failed: return kRed;
        case Outcome::Incomplete: break;
    }
    return kYellow;
}

std::string FileLabel(const RunRef& tRef)
{
    std::string sLabel = tRef.ptFile->sName;
    if (tRef.ptFile->vRuns.size() > 1)
        sLabel += "#" + std::to_string(tRef.iRun + 1);
    return sLabel;
}

std::string PortText(const LogRun& tRun)
{
    if (!tRun.tPort.fPresent)
        return "no port";
    const char* pszState = tRun.ePortState == PortState::Found      ? "found"
                           : tRun.ePortState == PortState::NotFound ? "not found"
                                                                    : "not checked";
    return "port \"" + Shown(tRun.tPort.sValue) + "\" " + pszState;
}

std::string DriverText(const LogRun& tRun)
{
    return tRun.tDriver.fPresent ? "driver \"" + Shown(tRun.tDriver.sValue) + "\"" : "no driver";
}

const char* JsonBool(bool f)
{
    return f ? "true" : "false";
}

std::string JsonText(const Text& tText)
{
    return tText.fPresent ? JsonString(tText.sValue) : "null";
}

std::string JsonError(const ErrorLine& tError)
{
    return "{\"source\": " + JsonString(tError.sSource) + ", \"line\": " + std::to_string(tError.nLine) +
           ", \"condition\": " + JsonString(tError.sCondition) + "}";
}

std::string JsonOptional(const std::optional<std::string>& osText)
{
    return osText ? JsonString(*osText) : "null";
}

// A Win32 code is a number; Glue's status code the text it passed.
std::string JsonCode(const std::optional<std::string>& osCode, bool fWin32Code)
{
    if (!osCode)
        return "null";
    return fWin32Code ? *osCode : JsonString(*osCode);
}

std::string FindingsText(const LogRun& tRun)
{
    if (const std::optional<Finding> otDiagnosis = Diagnose(tRun))
        return "  " + Shown(otDiagnosis->sSummary, kShownSentenceBytes);
    std::string sText;
    for (const Finding& tWarning : Warnings(tRun))
        sText += "  WARNING: " + Shown(tWarning.sSummary, kShownSentenceBytes);
    return sText;
}

std::string JsonPortFound(const LogRun& tRun)
{
    if (tRun.ePortState == PortState::Unknown)
        return "null";
    return JsonBool(tRun.ePortState == PortState::Found);
}

} // namespace

std::string Shown(const std::string& sValue, size_t cbShown)
{
    std::string sShown = sValue.substr(0, cbShown);
    for (char& ch : sShown)
    {
        const unsigned char uch = static_cast<unsigned char>(ch);
        if (uch < 0x20 || uch == 0x7F)
            ch = '?';
    }
    if (sValue.size() > cbShown)
        sShown += "...";
    return sShown;
}

std::string JsonString(const std::string& sBytes)
{
    std::string sJson = "\"";
    for (const char ch : sBytes)
    {
        const unsigned char uch = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\')
        {
            sJson += '\\';
            sJson += ch;
        }
        else if (uch < 0x20 || uch >= 0x7F)
        {
            char szEscape[8];
            std::snprintf(szEscape, sizeof szEscape, "\\u%04x", uch);
            sJson += szEscape;
        }
        else
        {
            sJson += ch;
        }
    }
    return sJson + "\"";
}

void PrintRunsText(std::FILE* pOut, const std::vector<RunRef>& vRuns, const std::vector<LogFile>& vFiles, bool fColour)
{
    for (const RunRef& tRef : vRuns)
    {
        const LogRun& tRun = tRef.Run();
        const std::string sFindings = FindingsText(tRun);
        std::fprintf(pOut, "%-24s  %-14s  %s%-10s%s  %s  %s%s%s\n", Shown(tRun.sStarted).c_str(),
                     FileLabel(tRef).c_str(), fColour ? OutcomeColour(tRun.eOutcome) : "", OutcomeName(tRun.eOutcome),
                     fColour ? kPlain : "", DriverText(tRun).c_str(), PortText(tRun).c_str(), sFindings.c_str(),
                     tRef.ptFile->fPartial ? "  (file read in part)" : "");
    }
    for (const LogFile& tFile : vFiles)
    {
        if (!tFile.vRuns.empty())
            continue;
        std::fprintf(pOut, "%-24s  %-14s  %-10s  %s\n", "-", Shown(tFile.sName).c_str(), "no run",
                     tFile.sProblem.c_str());
    }
}

void PrintRunsJson(std::FILE* pOut, const std::vector<RunRef>& vRuns, const std::vector<LogFile>& vFiles)
{
    const char* pszSeparator = "\n";
    std::fputs("[", pOut);
    for (const RunRef& tRef : vRuns)
    {
        const LogRun& tRun = tRef.Run();
        std::string sErrors;
        for (const ErrorLine& tError : tRun.vErrors)
            sErrors += (sErrors.empty() ? "" : ", ") + JsonError(tError);
        const std::string sFailed = tRun.HasFailedCheck() ? JsonError(tRun.vErrors[tRun.iFailedCheck]) : "null";
        const std::optional<Finding> otDiagnosis = Diagnose(tRun);
        std::string sWarnings;
        for (const Finding& tWarning : Warnings(tRun))
            sWarnings += (sWarnings.empty() ? "" : ", ") + JsonFinding(tWarning);
        std::fprintf(pOut,
                     "%s  {\"file\": %s, \"run\": %zu, \"started\": %s, \"started_known\": %s, \"driver\": %s, "
                     "\"port\": %s, \"port_found\": %s, \"command_line\": %s, \"pin_pathname\": %s, "
                     "\"outcome\": \"%s\", \"diagnosis\": %s, \"warnings\": [%s], \"failed_check\": %s, "
                     "\"errors\": [%s], \"partial\": %s}",
                     pszSeparator, JsonString(tRef.ptFile->sName).c_str(), tRef.iRun + 1,
                     JsonString(tRun.sStarted).c_str(), JsonBool(tRun.fStartedKnown), JsonText(tRun.tDriver).c_str(),
                     JsonText(tRun.tPort).c_str(), JsonPortFound(tRun).c_str(), JsonText(tRun.tCommandLine).c_str(),
                     JsonText(tRun.tPinPathname).c_str(), OutcomeName(tRun.eOutcome),
                     otDiagnosis ? JsonFinding(*otDiagnosis).c_str() : "null", sWarnings.c_str(), sFailed.c_str(),
                     sErrors.c_str(), JsonBool(tRef.ptFile->fPartial));
        pszSeparator = ",\n";
    }
    for (const LogFile& tFile : vFiles)
    {
        if (!tFile.vRuns.empty())
            continue;
        std::fprintf(pOut, "%s  {\"file\": %s, \"outcome\": \"no run\", \"problem\": %s}", pszSeparator,
                     JsonString(tFile.sName).c_str(), JsonString(tFile.sProblem).c_str());
        pszSeparator = ",\n";
    }
    std::fputs("\n]\n", pOut);
}

void PrintLogText(std::FILE* pOut, const std::string& sBytes, bool fColour)
{
    size_t ibLine = 0;
    while (ibLine < sBytes.size())
    {
        size_t ibEnd = sBytes.find('\n', ibLine);
        if (ibEnd == std::string::npos)
            ibEnd = sBytes.size();
        std::string sLine = sBytes.substr(ibLine, ibEnd - ibLine);
        if (!sLine.empty() && sLine.back() == '\r')
            sLine.pop_back();
        ErrorLine tError;
        const bool fError = fColour && ParseErrorLine(sLine, &tError);
        if (fColour)
        {
            // Nothing in the log may steer the terminal.
            for (char& ch : sLine)
            {
                const unsigned char uch = static_cast<unsigned char>(ch);
                if ((uch < 0x20 && ch != '\t') || uch == 0x7F)
                    ch = '?';
            }
        }
        if (fError)
            std::fputs(kRed, pOut);
        std::fwrite(sLine.data(), 1, sLine.size(), pOut);
        if (fError)
            std::fputs(kPlain, pOut);
        std::fputc('\n', pOut);
        CodedLine tCoded;
        if (ParseCodedLine(sLine, &tCoded))
            std::fprintf(pOut, "%s%s\n", kNoteMark, CodeNote(tCoded.nCode).c_str());
        ibLine = ibEnd + 1;
    }
}

} // namespace qxz::qxzlog

namespace qxz::qxzlog
{

std::string CodeNote(int64_t nCode)
{
    const ErrorCode* ptCode = LookUpErrorCode(nCode);
    if (ptCode == nullptr)
        return std::to_string(nCode) + ": a code that qxzlog does not know";
    return std::to_string(nCode) + " " + ptCode->pszName + ": " + ptCode->pszText;
}

std::string JsonFinding(const Finding& tFinding)
{
    return "{\"cause\": " + JsonString(tFinding.sCause) + ", \"subject\": " + JsonOptional(tFinding.osSubject) +
           ", \"code\": " + JsonCode(tFinding.osCode, tFinding.fWin32Code) +
           ", \"code_name\": " + JsonOptional(tFinding.osCodeName) +
           ", \"code_text\": " + JsonOptional(tFinding.osCodeText) + ", \"summary\": " + JsonString(tFinding.sSummary) +
           "}";
}

void PrintSummaryText(std::FILE* pOut, const std::vector<FindingGroup>& vGroups)
{
    for (const FindingGroup& tGroup : vGroups)
    {
        std::string sDrivers;
        for (const std::string& sDriver : tGroup.vDrivers)
            sDrivers += (sDrivers.empty() ? "" : ", ") + ("\"" + Shown(sDriver) + "\"");
        std::string sCode = "-";
        if (tGroup.osCode)
            sCode = tGroup.fWin32Code ? CodeWithName(std::stoll(*tGroup.osCode)) : Shown(*tGroup.osCode);
        std::fprintf(pOut, "%4zu run%s  %-7s  %-20s  %-30s  %-26s  %s .. %s  %s\n", tGroup.cRuns,
                     tGroup.cRuns == 1 ? " " : "s", tGroup.fWarning ? "warning" : "failure", tGroup.sCause.c_str(),
                     tGroup.osSubject ? Shown(*tGroup.osSubject).c_str() : "-", sCode.c_str(),
                     Shown(tGroup.ptFirst->sStarted).c_str(), Shown(tGroup.ptLast->sStarted).c_str(),
                     sDrivers.empty() ? "no driver" : ("drivers " + sDrivers).c_str());
    }
}

void PrintSummaryJson(std::FILE* pOut, const std::vector<FindingGroup>& vGroups)
{
    const char* pszSeparator = "\n";
    std::fputs("[", pOut);
    for (const FindingGroup& tGroup : vGroups)
    {
        std::string sDrivers;
        for (const std::string& sDriver : tGroup.vDrivers)
            sDrivers += (sDrivers.empty() ? "" : ", ") + JsonString(sDriver);
        std::fprintf(pOut,
                     "%s  {\"kind\": \"%s\", \"cause\": %s, \"subject\": %s, \"code\": %s, \"runs\": %zu, "
                     "\"drivers\": [%s], \"first\": %s, \"last\": %s}",
                     pszSeparator, tGroup.fWarning ? "warning" : "failure", JsonString(tGroup.sCause).c_str(),
                     JsonOptional(tGroup.osSubject).c_str(), JsonCode(tGroup.osCode, tGroup.fWin32Code).c_str(),
                     tGroup.cRuns, sDrivers.c_str(), JsonString(tGroup.ptFirst->sStarted).c_str(),
                     JsonString(tGroup.ptLast->sStarted).c_str());
        pszSeparator = ",\n";
    }
    std::fputs("\n]\n", pOut);
}

} // namespace qxz::qxzlog
