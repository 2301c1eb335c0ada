// qxzlog --state [--json] [--driver NAME]
// qxzlog --report FILE.html [DIR]
// qxzlog --diff A B [DIR]
#include "tools/qxzlog/views.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "log/log_file.h"
#include "platform/win32.h"
#include "tools/qxzlog/diff.h"
#include "tools/qxzlog/log_directory.h"
#include "tools/qxzlog/report.h"
#include "tools/qxzlog/state.h"
#include "tools/qxzlog/state_output.h"

namespace qxz::qxzlog
{

namespace
{

constexpr int kExitGood = 0;
constexpr int kExitFound = 1;
constexpr int kExitCannot = 2;
constexpr const char kLastSucceeded[] = "last-succeeded";
constexpr const char kLastFailed[] = "last-failed";

int Usage()
{
    std::fprintf(stderr, "usage: qxzlog --state [--json] [--driver NAME]\n"
                         "       qxzlog --report FILE.html [DIR]\n"
                         "       qxzlog --diff A B [DIR]   (A, B: a log's number or name, last-succeeded, "
                         "last-failed)\n");
    return kExitCannot;
}

bool Is(const char* pszArgument, const char* pszOption)
{
    return std::strcmp(pszArgument, pszOption) == 0;
}

// The directory of the logs: given, or the one the Pin itself uses.
bool LogDirectory(const std::vector<std::string>& vRest, size_t iAt, std::string* psDirectory)
{
    if (vRest.size() > iAt + 1)
        return false;
    if (vRest.size() == iAt + 1)
    {
        *psDirectory = vRest[iAt];
        return true;
    }
    if (CLogFile::GetTempDirectory(psDirectory))
        return true;
    std::fprintf(stderr, "qxzlog: the temporary directory cannot be found (error %lu)\n",
                 static_cast<unsigned long>(GetLastError()));
    return false;
}

bool ReadDirectory(const std::string& sDirectory, std::vector<LogFile>* pvFiles)
{
    DWORD dwError = ERROR_SUCCESS;
    if (ReadLogDirectory(sDirectory, pvFiles, &dwError))
        return true;
    std::fprintf(stderr, "qxzlog: %s cannot be read: %s\n", sDirectory.c_str(), CodeDescription(dwError).c_str());
    return false;
}

int State(int argc, char** argv)
{
    bool fJson = false;
    bool fDriverGiven = false;
    std::string sDriver;
    for (int i = 1; i < argc; ++i)
    {
        if (Is(argv[i], "--json"))
            fJson = true;
        else if (Is(argv[i], "--driver") && i + 1 < argc && !fDriverGiven)
            sDriver = argv[++i], fDriverGiven = true;
        else if (!Is(argv[i], "--state"))
            return Usage();
    }
    GlueState tState;
    const LONG lResult = ReadGlueState(fDriverGiven ? &sDriver : nullptr, &tState);
    if (lResult == ERROR_FILE_NOT_FOUND)
    {
        std::fprintf(stderr, "qxzlog: %s does not exist: no driver has been registered on this machine\n",
                     GlueKeyName().c_str());
        return kExitCannot;
    }
    if (lResult != ERROR_SUCCESS)
    {
        std::fprintf(stderr, "qxzlog: %s cannot be read: %s\n", GlueKeyName().c_str(),
                     CodeDescription(lResult).c_str());
        return kExitCannot;
    }
    if (fDriverGiven && tState.vDrivers.empty())
    {
        std::fprintf(stderr, "qxzlog: %s has no key for the driver \"%s\"\n", GlueKeyName().c_str(), sDriver.c_str());
        return kExitCannot;
    }
    if (fJson)
        PrintStateJson(stdout, tState);
    else
        PrintStateText(stdout, tState);
    for (const DriverState& tDriver : tState.vDrivers)
    {
        if (!tDriver.vProblems.empty() || tDriver.lError != ERROR_SUCCESS)
            return kExitFound;
    }
    return kExitGood;
}

std::string LocalTimeText()
{
    const std::time_t nNow = std::time(nullptr);
    const std::tm* ptLocal = std::localtime(&nNow);
    char szTime[32] = "Unknown";
    if (ptLocal != nullptr)
        std::strftime(szTime, sizeof szTime, "%a %b %d %H:%M:%S %Y", ptLocal);
    return szTime;
}

std::string MachineName()
{
    char szName[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD cchName = sizeof szName;
    return GetComputerNameA(szName, &cchName) ? std::string(szName, cchName) : "this machine";
}

bool WriteWhole(const std::string& sPath, const std::string& sBytes)
{
    HANDLE hFile = CreateFileA(sPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        std::fprintf(stderr, "qxzlog: %s cannot be made: %s\n", sPath.c_str(), CodeDescription(GetLastError()).c_str());
        return false;
    }
    DWORD cbWritten = 0;
    const BOOL fWritten = WriteFile(hFile, sBytes.data(), static_cast<DWORD>(sBytes.size()), &cbWritten, nullptr);
    const DWORD dwError = GetLastError();
    const BOOL fClosed = CloseHandle(hFile);
    if (!fWritten || cbWritten != sBytes.size() || !fClosed)
    {
        std::fprintf(stderr, "qxzlog: %s cannot be written: %s\n", sPath.c_str(), CodeDescription(dwError).c_str());
        return false;
    }
    return true;
}

int Report(int argc, char** argv)
{
    std::vector<std::string> vRest;
    for (int i = 1; i < argc; ++i)
    {
        if (!Is(argv[i], "--report"))
        {
            if (argv[i][0] == '-' && argv[i][1] != '\0')
                return Usage();
            vRest.push_back(argv[i]);
        }
    }
    ReportInput tInput;
    if (vRest.empty() || !LogDirectory(vRest, 1, &tInput.sDirectory))
        return Usage();
    std::vector<LogFile> vFiles;
    if (!ReadDirectory(tInput.sDirectory, &vFiles))
        return kExitCannot;
    tInput.vRuns = RunsNewestFirst(vFiles);
    tInput.pvFiles = &vFiles;
    for (const LogFile& tFile : vFiles)
    {
        bool fPartial = false;
        std::string sProblem;
        if (!tFile.vRuns.empty())
            ReadLogBytes(tFile.sPath, &tInput.mapBytes[tFile.sPath], &fPartial, &sProblem);
    }
    tInput.sMachine = MachineName();
    tInput.sMadeAt = LocalTimeText();
    tInput.lStateError = ReadGlueState(nullptr, &tInput.tState);
    if (!WriteWhole(vRest[0], RenderReport(tInput)))
        return kExitCannot;
    std::printf("%s: %zu runs\n", vRest[0].c_str(), tInput.vRuns.size());
    return kExitGood;
}

// A run named on the command line: the last run of a file, or the newest
// run of an outcome.
bool FindRun(const std::string& sWhich, const std::vector<RunRef>& vRuns, const std::string& sDirectory,
             const RunRef** pptRun)
{
    const bool fSucceeded = sWhich == kLastSucceeded;
    if (fSucceeded || sWhich == kLastFailed)
    {
        for (const RunRef& tRef : vRuns)
        {
            if (tRef.Run().eOutcome == (fSucceeded ? Outcome::Succeeded : Outcome::Failed))
            {
                *pptRun = &tRef;
                return true;
            }
        }
        return false;
    }
    const std::string sPath = LogPathFor(sDirectory, sWhich);
    const RunRef* ptLast = nullptr;
    for (const RunRef& tRef : vRuns)
    {
        const bool fSameFile = tRef.ptFile->sPath == sPath || tRef.ptFile->sName == sWhich;
        if (fSameFile && (ptLast == nullptr || tRef.iRun > ptLast->iRun))
            ptLast = &tRef;
    }
    *pptRun = ptLast;
    return ptLast != nullptr;
}

std::vector<std::string> LinesOf(const RunRef& tRef)
{
    std::string sBytes;
    bool fPartial = false;
    std::string sProblem;
    ReadLogBytes(tRef.ptFile->sPath, &sBytes, &fPartial, &sProblem);
    return ComparableLines(RunLines(sBytes, tRef.Run()), tRef.Run());
}

std::string RunName(const RunRef& tRef)
{
    return tRef.ptFile->sName + " " + tRef.Run().sStarted + " " + OutcomeName(tRef.Run().eOutcome);
}

int Diff(int argc, char** argv)
{
    std::vector<std::string> vRest;
    for (int i = 1; i < argc; ++i)
    {
        if (!Is(argv[i], "--diff"))
            vRest.push_back(argv[i]);
    }
    std::string sDirectory;
    if (vRest.size() < 2 || !LogDirectory(vRest, 2, &sDirectory))
        return Usage();
    std::vector<LogFile> vFiles;
    if (!ReadDirectory(sDirectory, &vFiles))
        return kExitCannot;
    const std::vector<RunRef> vRuns = RunsNewestFirst(vFiles);
    const RunRef* aptRuns[2] = {nullptr, nullptr};
    for (int i = 0; i < 2; ++i)
    {
        if (!FindRun(vRest[i], vRuns, sDirectory, &aptRuns[i]))
        {
            std::fprintf(stderr, "qxzlog: no run \"%s\" in %s\n", vRest[i].c_str(), sDirectory.c_str());
            return kExitCannot;
        }
    }
    return PrintDiff(stdout, RunName(*aptRuns[0]), LinesOf(*aptRuns[0]), RunName(*aptRuns[1]), LinesOf(*aptRuns[1]))
               ? kExitFound
               : kExitGood;
}

} // namespace

ViewEntry ViewFor(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
    {
        if (Is(argv[i], "--state"))
            return State;
        if (Is(argv[i], "--report"))
            return Report;
        if (Is(argv[i], "--diff"))
            return Diff;
    }
    return nullptr;
}

} // namespace qxz::qxzlog
