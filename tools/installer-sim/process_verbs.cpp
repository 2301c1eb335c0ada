// run-pin EXE TEXT and run-pin-file EXE FILE: start the program as the
// co-installer does, with its full path in quotes, a blank and then exactly
// TEXT (or the bytes of FILE) as its command line, wait for it to end and
// print its exit code.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tools/installer-sim/verbs.h"

namespace qxz::sim
{

namespace
{

int StartAndWait(const char* pszVerb, const char* pszExe, const std::string& sText)
{
    std::string sCommandLine = std::string("\"") + pszExe + "\" " + sText;
    // CreateProcessA may write into the command line.
    std::vector<char> vCommandLine(sCommandLine.begin(), sCommandLine.end());
    vCommandLine.push_back('\0');
    STARTUPINFOA tStartup{};
    tStartup.cb = sizeof tStartup;
    PROCESS_INFORMATION tProcess{};
    if (!CreateProcessA(nullptr, vCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &tStartup,
                        &tProcess))
    {
        return ReportResult(pszVerb, "CreateProcessA", GetLastError());
    }
    CloseHandle(tProcess.hThread);
    PrintLine("started");
    DWORD dwExitCode = 0;
    // A wait without a time-out ends with the program or fails.
    if (WaitForSingleObject(tProcess.hProcess, INFINITE) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(tProcess.hProcess, &dwExitCode))
    {
        const DWORD dwError = GetLastError();
        CloseHandle(tProcess.hProcess);
        return ReportResult(pszVerb, "waiting for the program", dwError);
    }
    CloseHandle(tProcess.hProcess);
    std::printf("exit code %lu\n", static_cast<unsigned long>(dwExitCode));
    std::fflush(stdout);
    return ReportResult(pszVerb, nullptr, 0);
}

} // namespace

int RunPin(char** argv)
{
    return StartAndWait("run-pin", argv[0], argv[1]);
}

// The text comes byte for byte from a file: a text too long for this
// program's own command line, or bytes that the host's encoding of
// arguments would change, reach the program unchanged.
int RunPinFile(char** argv)
{
    std::string sText;
    if (!ReadHostFile(argv[1], &sText))
        return ReportResult("run-pin-file", "reading the file", ERROR_FILE_NOT_FOUND);
    return StartAndWait("run-pin-file", argv[0], sText);
}

} // namespace qxz::sim
