// qxzlog: the Pin's logs at a glance, for support staff and scripts.
//
//   qxzlog [--json] [DIR]      the runs in DIR, newest first
//   qxzlog --show FILE [DIR]   one log file (a number or a name)
//   qxzlog --last [DIR]        the newest run's lines
//   qxzlog --state, --report, --diff: see views.h
//
// DIR is the temporary directory that the Pin itself would choose unless
// given. Exit code: 0 when the newest run succeeded, 1 when it failed or is
// incomplete, 2 when there is no log, DIR cannot be read, or an option is
// wrong.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "log/log_file.h"
#include "platform/win32.h"
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

enum class Mode
{
    List,
    Json,
    Show,
    Last
};

struct Options
{
    Mode eMode = Mode::List;
    std::string sFile;
    std::string sDirectory;
    bool fDirectoryGiven = false;
};

int Usage()
{
    std::fprintf(stderr, "usage: qxzlog [--json] [DIR]\n"
                         "       qxzlog --show FILE [DIR]\n"
                         "       qxzlog --last [DIR]\n"
                         "       qxzlog --state [--json] [--driver NAME]\n"
                         "       qxzlog --report FILE.html [DIR]\n"
                         "       qxzlog --diff A B [DIR]\n"
                         "DIR: the directory of the logs (default: the one the Pin uses)\n"
                         "FILE: a log's number (7 is qxqxin07.log) or name\n"
                         "exit code: 0 newest run succeeded, 1 failed or incomplete, 2 no log\n");
    return kExitNoLog;
}

bool ParseOptions(int argc, char** argv, Options* ptOptions)
{
    bool fModeGiven = false;
    for (int i = 1; i < argc; ++i)
    {
        const char* pszArgument = argv[i];
        Mode eMode;
        if (std::strcmp(pszArgument, "--json") == 0)
        {
            eMode = Mode::Json;
        }
        else if (std::strcmp(pszArgument, "--last") == 0)
        {
            eMode = Mode::Last;
        }
        else if (std::strcmp(pszArgument, "--show") == 0)
        {
            if (i + 1 >= argc)
                return false;
            eMode = Mode::Show;
            ptOptions->sFile = argv[++i];
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
    return true;
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

int ShowFile(const std::string& sPath, bool fColour)
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
    PrintLogText(stdout, sBytes, fColour);
    tFile.vRuns = ParseLog(sBytes);
    const std::vector<RunRef> vRuns = RunsNewestFirst(vFiles);
    return vRuns.empty() ? kExitNoLog : ExitCodeOf(vRuns.front().Run());
}

int ShowLastRun(const RunRef& tNewest, bool fColour)
{
    std::string sBytes;
    bool fPartial = false;
    std::string sProblem;
    if (!ReadLogBytes(tNewest.ptFile->sPath, &sBytes, &fPartial, &sProblem))
    {
        std::fprintf(stderr, "qxzlog: %s: %s\n", tNewest.ptFile->sPath.c_str(), sProblem.c_str());
        return kExitNoLog;
    }
    // Read anew, the file may have changed: show what lies where the run was.
    const LogRun& tRun = tNewest.Run();
    const size_t ibBegin = std::min(tRun.ibBegin, sBytes.size());
    std::printf("%s:\n", tNewest.ptFile->sName.c_str());
    PrintLogText(stdout, sBytes.substr(ibBegin, std::min(tRun.ibEnd, sBytes.size()) - ibBegin), fColour);
    return ExitCodeOf(tRun);
}

} // namespace

int Run(int argc, char** argv)
{
    if (const ViewEntry pView = ViewFor(argc, argv))
        return pView(argc, argv);
    Options tOptions;
    if (!ParseOptions(argc, argv, &tOptions))
        return Usage();
    if (!tOptions.fDirectoryGiven && !CLogFile::GetTempDirectory(&tOptions.sDirectory))
    {
        return CannotRead("the temporary directory", GetLastError());
    }
    const bool fColour = tOptions.eMode != Mode::Json && UseColour();
    if (tOptions.eMode == Mode::Show)
        return ShowFile(LogPathFor(tOptions.sDirectory, tOptions.sFile), fColour);

    std::vector<LogFile> vFiles;
    DWORD dwError = ERROR_SUCCESS;
    if (!ReadLogDirectory(tOptions.sDirectory, &vFiles, &dwError))
        return CannotRead(tOptions.sDirectory, dwError);
    const std::vector<RunRef> vRuns = RunsNewestFirst(vFiles);
    if (tOptions.eMode == Mode::Last)
    {
        if (vRuns.empty())
        {
            std::fprintf(stderr, "qxzlog: no run in %s\n", tOptions.sDirectory.c_str());
            return kExitNoLog;
        }
        return ShowLastRun(vRuns.front(), fColour);
    }
    if (tOptions.eMode == Mode::Json)
    {
        PrintRunsJson(stdout, vRuns, vFiles);
    }
    else
    {
        PrintRunsText(stdout, vRuns, vFiles, fColour);
    }
    if (vRuns.empty())
    {
        if (tOptions.eMode == Mode::List)
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
