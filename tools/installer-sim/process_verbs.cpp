// run-pin EXE TEXT: starts the program as the co-installer does, with its
// full path in quotes, a blank and then exactly TEXT as its command line,
// waits for it to end and prints its exit code.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tools/installer-sim/verbs.h"

namespace qxz::sim {

int RunPin(char** argv) {
  std::string sCommandLine = std::string("\"") + argv[0] + "\" " + argv[1];
  // CreateProcessA may write into the command line.
  std::vector<char> vCommandLine(sCommandLine.begin(), sCommandLine.end());
  vCommandLine.push_back('\0');
  STARTUPINFOA tStartup{};
  tStartup.cb = sizeof tStartup;
  PROCESS_INFORMATION tProcess{};
  if (!CreateProcessA(nullptr, vCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &tStartup,
                      &tProcess)) {
    return ReportResult("run-pin", "CreateProcessA", GetLastError());
  }
  CloseHandle(tProcess.hThread);
  PrintLine("started");
  DWORD dwExitCode = 0;
  // A wait without a time-out ends with the program or fails.
  if (WaitForSingleObject(tProcess.hProcess, INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(tProcess.hProcess, &dwExitCode)) {
    const DWORD dwError = GetLastError();
    CloseHandle(tProcess.hProcess);
    return ReportResult("run-pin", "waiting for the program", dwError);
  }
  CloseHandle(tProcess.hProcess);
  std::printf("exit code %lu\n", static_cast<unsigned long>(dwExitCode));
  std::fflush(stdout);
  return ReportResult("run-pin", nullptr, 0);
}

}  // namespace qxz::sim
