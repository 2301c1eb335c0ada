// Other processes for the conformance tests: installer-sim with its output
// read line by line, and this test program started again to play a role.
#ifndef QXZ_TESTS_PLATFORM_CROSS_PROCESS_H
#define QXZ_TESTS_PLATFORM_CROSS_PROCESS_H

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace qxz::test
{

// installer-sim with these arguments, its standard output in a pipe.
// Arguments hold no blanks or quotes.
class SimProcess
{
public:
    explicit SimProcess(const std::vector<std::string>& vArguments);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The next line, without its end; empty once the output has ended.
    std::string ReadLine();
    // The rest of the output, once the program has ended.
    std::vector<std::string> Finish();

private:
    FILE* m_pOutput;
};

// This test program's own path, as GetModuleFileNameA tells it.
std::string SelfPath();

// While it lives, a child started from this test program runs only the test
// ROLE of the suite SUITE (a disabled test, so that a plain run skips it),
// and RoleArgument() tells it sArgument.
class RoleEnvironment
{
public:
    RoleEnvironment(const char* pszSuite, const char* pszRole, const std::string& sArgument);
    ~RoleEnvironment();
    RoleEnvironment(const RoleEnvironment&) = delete;
    RoleEnvironment& operator=(const RoleEnvironment&) = delete;
};

// Starts this test program again in a role.
bool StartRole(const char* pszSuite, const char* pszRole, const std::string& sArgument, PROCESS_INFORMATION* ptProcess);

// Within a role: its argument.
std::string RoleArgument();

// Waits (generously) for a child started by StartRole, closes its handles and
// returns its exit code, or a value no program returns when it did not end.
DWORD FinishRole(const PROCESS_INFORMATION& tProcess);

} // namespace qxz::test

#endif // QXZ_TESTS_PLATFORM_CROSS_PROCESS_H
