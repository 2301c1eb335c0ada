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
// Longer values (a mebibyte of driver name) are cut in the list.
constexpr size_t kShownBytes = 80;

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

std::string JsonPortFound(const LogRun& tRun)
{
    if (tRun.ePortState == PortState::Unknown)
        return "null";
    return JsonBool(tRun.ePortState == PortState::Found);
}

} // namespace

std::string Shown(const std::string& sValue)
{
    std::string sShown = sValue.substr(0, kShownBytes);
    for (char& ch : sShown)
    {
        const unsigned char uch = static_cast<unsigned char>(ch);
        if (uch < 0x20 || uch == 0x7F)
            ch = '?';
    }
    if (sValue.size() > kShownBytes)
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
        std::string sFailure;
        if (tRun.HasFailedCheck())
        {
            const ErrorLine& tError = tRun.vErrors[tRun.iFailedCheck];
            sFailure = "  " + Shown(tError.sCondition) + " [" + Shown(tError.sSource) + ", Line " +
                       std::to_string(tError.nLine) + "]";
        }
        std::fprintf(pOut, "%-24s  %-14s  %s%-10s%s  %s  %s%s%s\n", Shown(tRun.sStarted).c_str(),
                     FileLabel(tRef).c_str(), fColour ? OutcomeColour(tRun.eOutcome) : "", OutcomeName(tRun.eOutcome),
                     fColour ? kPlain : "", DriverText(tRun).c_str(), PortText(tRun).c_str(), sFailure.c_str(),
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
        std::fprintf(pOut,
                     "%s  {\"file\": %s, \"run\": %zu, \"started\": %s, \"started_known\": %s, \"driver\": %s, "
                     "\"port\": %s, \"port_found\": %s, \"command_line\": %s, \"pin_pathname\": %s, "
                     "\"outcome\": \"%s\", \"failed_check\": %s, \"errors\": [%s], \"partial\": %s}",
                     pszSeparator, JsonString(tRef.ptFile->sName).c_str(), tRef.iRun + 1,
                     JsonString(tRun.sStarted).c_str(), JsonBool(tRun.fStartedKnown), JsonText(tRun.tDriver).c_str(),
                     JsonText(tRun.tPort).c_str(), JsonPortFound(tRun).c_str(), JsonText(tRun.tCommandLine).c_str(),
                     JsonText(tRun.tPinPathname).c_str(), OutcomeName(tRun.eOutcome), sFailed.c_str(), sErrors.c_str(),
                     JsonBool(tRef.ptFile->fPartial));
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
        ibLine = ibEnd + 1;
    }
}

} // namespace qxz::qxzlog
