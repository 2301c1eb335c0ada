// qxzlog: the Pin's logs at a glance, for support staff and scripts.
//
//   qxzlog [--json] [DIR]             the runs in DIR, newest first
//   qxzlog --summary [--json] [DIR]   the causes and warnings across the runs
//   qxzlog --show FILE [--raw] [DIR]  one log file (a number or a name)
//   qxzlog --last [--raw] [DIR]       the newest run's lines
//   qxzlog --wait SECONDS [DIR]       the next run that ends, once it has ended
//   qxzlog --explain CODE             a Win32 code's name and meaning
//   qxzlog --state, --report, --diff: see views.cpp
//   qxzlog --version                  the program's version
//
// --since "YYYY-MM-DD HH:MM:SS" and --driver NAME select runs in every mode.
// DIR is the temporary directory that the Pin itself would choose unless
// given. Exit code: 0 when the newest run succeeded, 1 when it failed or is
// incomplete, 2 when there is no log, DIR cannot be read, or an option is
// wrong (and for --wait, when the time ran out).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "log/log_file.h"
#include "platform/win32.h"
#include "qxz_version.h"
#include "text/ascii_case.h"
#include "tools/qxzlog/diagnosis.h"
#include "tools/qxzlog/log_directory.h"
#include "tools/qxzlog/output.h"
#include "tools/qxzlog/terminal.h"
#include "tools/qxzlog/views.h"

namespace qxz::qxzlog
{

namespace
{

constexpr int kExitSucceeded = 0;
constexpr int kExitFailed = 1;
constexpr int kExitNoLog = 2;
// How often --wait looks again; only files that changed are read again.
constexpr DWORD kWaitPollMs = 100;

enum class Mode
{
    List,
    Summary,
    Show,
    Last,
    Wait,
    Explain
};

struct Options
{
    Mode eMode = Mode::List;
    bool fJson = false;
    bool fRaw = false;
    std::string sFile;  // --show
    std::string sCode;  // --explain
    DWORD dwWaitMs = 0; // --wait
    std::optional<int64_t> onSince;
    std::optional<std::string> osDriver;
    std::string sDirectory;
    bool fDirectoryGiven = false;
    bool Filters() const
    {
        return onSince.has_value() || osDriver.has_value();
    }
};

int Usage()
{
    std::fprintf(stderr, "usage: qxzlog [--json] [DIR]\n"
                         "       qxzlog --summary [--json] [DIR]\n"
                         "       qxzlog --show FILE [--raw] [DIR]\n"
                         "       qxzlog --last [--raw] [DIR]\n"
                         "       qxzlog --wait SECONDS [--json] [DIR]\n"
                         "       qxzlog --explain CODE\n"
                         "       qxzlog --state [--json] [--driver NAME]\n"
                         "       qxzlog --report FILE.html [DIR]\n"
                         "       qxzlog --diff A B [DIR]\n"
                         "       qxzlog --version\n"
                         "selecting runs: --since \"YYYY-MM-DD HH:MM:SS\" (local time), --driver NAME\n"
                         "DIR: the directory of the logs (default: the one the Pin uses)\n"
                         "FILE: a log's number (7 is qxqxin07.log) or name\n"
                         "exit code: 0 newest run succeeded, 1 failed or incomplete, 2 no log (or no run in time)\n");
    return kExitNoLog;
}

// "2026-12-10 11:29:47" as the key that orders header times.
bool ParseSince(const char* pszText, int64_t* pnKey)
{
    int nYear, nMonth, nDay, nHour, nMinute, nSecond;
    char chEnd;
    if (std::strlen(pszText) != 19 || std::sscanf(pszText, "%4d-%2d-%2d %2d:%2d:%2d%c", &nYear, &nMonth, &nDay, &nHour,
                                                  &nMinute, &nSecond, &chEnd) != 6)
        return false;
    if (nMonth < 1 || nMonth > 12 || nDay < 1 || nDay > 31 || nHour > 23 || nMinute > 59 || nSecond > 60)
        return false;
    *pnKey = CalendarKey(nYear, nMonth, nDay, nHour, nMinute, nSecond);
    return true;
}

bool ParseSeconds(const char* pszText, DWORD* pdwMs)
{
    char* pszEnd = nullptr;
    const unsigned long nSeconds = std::strtoul(pszText, &pszEnd, 10);
    if (pszText[0] < '0' || pszText[0] > '9' || *pszEnd != '\0' || nSeconds > 86400)
        return false;
    *pdwMs = static_cast<DWORD>(nSeconds * 1000);
    return true;
}

bool ParseOptions(int argc, char** argv, Options* ptOptions)
{
    bool fModeGiven = false;
    for (int i = 1; i < argc; ++i)
    {
        const char* pszArgument = argv[i];
        const char* pszValue = i + 1 < argc ? argv[i + 1] : nullptr;
        Mode eMode;
        if (std::strcmp(pszArgument, "--json") == 0 && !ptOptions->fJson)
        {
            ptOptions->fJson = true;
            continue;
        }
        if (std::strcmp(pszArgument, "--raw") == 0 && !ptOptions->fRaw)
        {
            ptOptions->fRaw = true;
            continue;
        }
        if (std::strcmp(pszArgument, "--since") == 0 && pszValue != nullptr && !ptOptions->onSince)
        {
            int64_t nKey = 0;
            if (!ParseSince(pszValue, &nKey))
                return false;
            ptOptions->onSince = nKey;
            ++i;
            continue;
        }
        if (std::strcmp(pszArgument, "--driver") == 0 && pszValue != nullptr && !ptOptions->osDriver)
        {
            ptOptions->osDriver = pszValue;
            ++i;
            continue;
        }
        if (std::strcmp(pszArgument, "--summary") == 0)
        {
            eMode = Mode::Summary;
        }
        else if (std::strcmp(pszArgument, "--last") == 0)
        {
            eMode = Mode::Last;
        }
        else if (std::strcmp(pszArgument, "--show") == 0 && pszValue != nullptr)
        {
            eMode = Mode::Show;
            ptOptions->sFile = argv[++i];
        }
        else if (std::strcmp(pszArgument, "--explain") == 0 && pszValue != nullptr)
        {
            eMode = Mode::Explain;
            ptOptions->sCode = argv[++i];
        }
        else if (std::strcmp(pszArgument, "--wait") == 0 && pszValue != nullptr)
        {
            if (!ParseSeconds(pszValue, &ptOptions->dwWaitMs))
                return false;
            eMode = Mode::Wait;
            ++i;
        }
        else if (pszArgument[0] == '-' && pszArgument[1] != '\0')
        {
            return false;
        }
        else
        {
            if (ptOptions->fDirectoryGiven)
                return false;
            ptOptions->sDirectory = pszArgument;
            ptOptions->fDirectoryGiven = true;
            continue;
        }
        if (fModeGiven)
            return false;
        fModeGiven = true;
        ptOptions->eMode = eMode;
    }
    const Mode eMode = ptOptions->eMode;
    if (ptOptions->fJson && eMode != Mode::List && eMode != Mode::Summary && eMode != Mode::Wait)
        return false;
    if (ptOptions->fRaw && eMode != Mode::Show && eMode != Mode::Last)
        return false;
    return eMode != Mode::Explain || (!ptOptions->fDirectoryGiven && !ptOptions->Filters());
}

// Whether --since and --driver select the run. Driver names compare as the
// registry compares key names, ignoring case.
bool Selects(const Options& tOptions, const RunRef& tRef)
{
    if (tOptions.onSince && StartKey(tRef) < *tOptions.onSince)
        return false;
    if (!tOptions.osDriver)
        return true;
    const std::optional<std::string> osDriver = DriverOf(tRef.Run());
    return osDriver && qxz::EqualIgnoringAsciiCase(*osDriver, *tOptions.osDriver);
}

std::vector<RunRef> SelectedRuns(const Options& tOptions, const std::vector<LogFile>& vFiles)
{
    std::vector<RunRef> vRuns = RunsNewestFirst(vFiles);
    vRuns.erase(
        std::remove_if(vRuns.begin(), vRuns.end(), [&](const RunRef& tRef) { return !Selects(tOptions, tRef); }),
        vRuns.end());
    return vRuns;
}

int ExitCodeOf(const LogRun& tRun)
{
    return tRun.eOutcome == Outcome::Succeeded ? kExitSucceeded : kExitFailed;
}

int CannotRead(const std::string& sWhat, DWORD dwError)
{
    std::fprintf(stderr, "qxzlog: %s cannot be read (error %lu)\n", sWhat.c_str(), static_cast<unsigned long>(dwError));
    return kExitNoLog;
}

// The bytes as they stand, line ends and all.
void PrintRaw(const std::string& sBytes)
{
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
    std::fwrite(sBytes.data(), 1, sBytes.size(), stdout);
}

void PrintBytes(const std::string& sBytes, const Options& tOptions, bool fColour)
{
    if (tOptions.fRaw)
        PrintRaw(sBytes);
    else
        PrintLogText(stdout, sBytes, fColour);
}

// The bytes that lie where the run was (the file may have changed since).
std::string RunBytes(const std::string& sBytes, const LogRun& tRun)
{
    const size_t ibBegin = std::min(tRun.ibBegin, sBytes.size());
    return sBytes.substr(ibBegin, std::min(tRun.ibEnd, sBytes.size()) - ibBegin);
}

int ShowFile(const std::string& sPath, const Options& tOptions, bool fColour)
{
    std::vector<LogFile> vFiles(1);
    LogFile& tFile = vFiles.front();
    tFile.sPath = sPath;
    std::string sBytes;
    if (!ReadLogBytes(sPath, &sBytes, &tFile.fPartial, &tFile.sProblem))
    {
        std::fprintf(stderr, "qxzlog: %s: %s\n", sPath.c_str(), tFile.sProblem.c_str());
        return kExitNoLog;
    }
    tFile.vRuns = ParseLog(sBytes);
    const std::vector<RunRef> vRuns = SelectedRuns(tOptions, vFiles);
    if (!tOptions.Filters())
    {
        PrintBytes(sBytes, tOptions, fColour);
    }
    else
    {
        // The selected runs in the order written.
        for (size_t iRun = 0; iRun < tFile.vRuns.size(); ++iRun)
        {
            if (std::any_of(vRuns.begin(), vRuns.end(), [&](const RunRef& tRef) { return tRef.iRun == iRun; }))
                PrintBytes(RunBytes(sBytes, tFile.vRuns[iRun]), tOptions, fColour);
        }
    }
    return vRuns.empty() ? kExitNoLog : ExitCodeOf(vRuns.front().Run());
}

int ShowLastRun(const RunRef& tNewest, const Options& tOptions, bool fColour)
{
    std::string sBytes;
    bool fPartial = false;
    std::string sProblem;
    if (!ReadLogBytes(tNewest.ptFile->sPath, &sBytes, &fPartial, &sProblem))
    {
        std::fprintf(stderr, "qxzlog: %s: %s\n", tNewest.ptFile->sPath.c_str(), sProblem.c_str());
        return kExitNoLog;
    }
    if (!tOptions.fRaw)
        std::printf("%s:\n", tNewest.ptFile->sName.c_str());
    PrintBytes(RunBytes(sBytes, tNewest.Run()), tOptions, fColour);
    return ExitCodeOf(tNewest.Run());
}

int Explain(const std::string& sCode)
{
    const ErrorCode* ptCode = FindErrorCode(sCode);
    if (ptCode == nullptr)
    {
        std::fprintf(stderr, "qxzlog: %s is not a code that qxzlog knows\n", sCode.c_str());
        return kExitNoLog;
    }
    std::printf("%s\n", CodeNote(ptCode->nCode).c_str());
    return kExitSucceeded;
}

// A run as the directory's reader knows it, to tell a new one from those
// that were there before.
using RunIdentity = std::tuple<std::string, size_t, std::string>;

RunIdentity IdentityOf(const RunRef& tRef)
{
    return {tRef.ptFile->sName, tRef.Run().ibBegin, tRef.Run().sStarted};
}

// Lists the directory and reads only the files that changed since the last
// look (by size and last write), reusing what was read of the others.
bool LookAgain(const std::string& sDirectory, std::vector<LogFile>* pvFiles, DWORD* pdwError)
{
    std::vector<LogFile> vListed;
    if (!ListLogDirectory(sDirectory, &vListed, pdwError))
        return false;
    for (LogFile& tFile : vListed)
    {
        const auto itKnown = std::find_if(pvFiles->begin(), pvFiles->end(), [&](const LogFile& tKnown) {
            return tKnown.sName == tFile.sName && tKnown.nWrittenTicks == tFile.nWrittenTicks &&
                   tKnown.cbSize == tFile.cbSize && tKnown.sProblem == tFile.sProblem;
        });
        if (itKnown != pvFiles->end())
            tFile = std::move(*itKnown);
        else if (tFile.sProblem.empty())
            ReadLogFile(&tFile);
    }
    *pvFiles = std::move(vListed);
    return true;
}

int Wait(const Options& tOptions)
{
    std::vector<LogFile> vFiles;
    DWORD dwError = ERROR_SUCCESS;
    if (!LookAgain(tOptions.sDirectory, &vFiles, &dwError))
        return CannotRead(tOptions.sDirectory, dwError);
    std::set<RunIdentity> setBefore;
    if (!tOptions.onSince)
    {
        for (const RunRef& tRef : RunsNewestFirst(vFiles))
            setBefore.insert(IdentityOf(tRef));
    }
    // A script may start the installation once this line is out.
    std::fprintf(stderr, "qxzlog: waiting for a new run in %s\n", tOptions.sDirectory.c_str());
    std::fflush(stderr);
    const DWORD dwStart = GetTickCount();
    for (;;)
    {
        for (const RunRef& tRef : SelectedRuns(tOptions, vFiles))
        {
            if (tRef.Run().eOutcome == Outcome::Incomplete || setBefore.count(IdentityOf(tRef)) != 0)
                continue;
            if (tOptions.fJson)
                PrintRunsJson(stdout, {tRef}, {});
            else
                PrintRunsText(stdout, {tRef}, {}, false);
            return ExitCodeOf(tRef.Run());
        }
        if (GetTickCount() - dwStart >= tOptions.dwWaitMs)
            break;
        Sleep(std::min<DWORD>(kWaitPollMs, tOptions.dwWaitMs - (GetTickCount() - dwStart)));
        if (!LookAgain(tOptions.sDirectory, &vFiles, &dwError))
            return CannotRead(tOptions.sDirectory, dwError);
    }
    std::fprintf(stderr, "qxzlog: no new run ended in %s within %lu s\n", tOptions.sDirectory.c_str(),
                 static_cast<unsigned long>(tOptions.dwWaitMs / 1000));
    return kExitNoLog;
}

} // namespace

int Run(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0)
    {
        std::printf("qxzlog %s\n", QXZ_VERSION_TEXT);
        return kExitSucceeded;
    }
    // Fully buffered, whatever standard output is: the runtime writes to a
    // character device (a console, the null device) a character at a time.
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    if (const ViewEntry pView = ViewFor(argc, argv))
        return pView(argc, argv);
    Options tOptions;
    if (!ParseOptions(argc, argv, &tOptions))
        return Usage();
    if (tOptions.eMode == Mode::Explain)
        return Explain(tOptions.sCode);
    if (!tOptions.fDirectoryGiven && !CLogFile::FindTempDirectory(&tOptions.sDirectory))
    {
        return CannotRead("the temporary directory", GetLastError());
    }
    const bool fColour = !tOptions.fJson && !tOptions.fRaw && UseColour();
    if (tOptions.eMode == Mode::Show)
        return ShowFile(LogPathFor(tOptions.sDirectory, tOptions.sFile), tOptions, fColour);
    if (tOptions.eMode == Mode::Wait)
        return Wait(tOptions);

    std::vector<LogFile> vFiles;
    DWORD dwError = ERROR_SUCCESS;
    if (!ReadLogDirectory(tOptions.sDirectory, &vFiles, &dwError))
        return CannotRead(tOptions.sDirectory, dwError);
    const std::vector<RunRef> vRuns = SelectedRuns(tOptions, vFiles);
    // A file without a run is no run that a selection could choose.
    const std::vector<LogFile> vNoFiles;
    const std::vector<LogFile>& vListedFiles = tOptions.Filters() ? vNoFiles : vFiles;
    if (tOptions.eMode == Mode::Last)
    {
        if (vRuns.empty())
        {
            std::fprintf(stderr, "qxzlog: no run in %s\n", tOptions.sDirectory.c_str());
            return kExitNoLog;
        }
        return ShowLastRun(vRuns.front(), tOptions, fColour);
    }
    if (tOptions.eMode == Mode::Summary)
    {
        const std::vector<FindingGroup> vGroups = GroupFindings(vRuns);
        if (tOptions.fJson)
            PrintSummaryJson(stdout, vGroups);
        else
            PrintSummaryText(stdout, vGroups);
    }
    else if (tOptions.fJson)
    {
        PrintRunsJson(stdout, vRuns, vListedFiles);
    }
    else
    {
        PrintRunsText(stdout, vRuns, vListedFiles, fColour);
    }
    if (vRuns.empty())
    {
        if (!tOptions.fJson)
            std::fprintf(stderr, "qxzlog: no run in %s\n", tOptions.sDirectory.c_str());
        return kExitNoLog;
    }
    return ExitCodeOf(vRuns.front().Run());
}

} // namespace qxz::qxzlog

int main(int argc, char** argv)
{
    return qxz::qxzlog::Run(argc, argv);
}
