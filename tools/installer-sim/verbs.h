// The verbs of installer-sim. Each takes its arguments (argv of the verb,
// after its name), prints what it prints and returns the exit code.
//
// A verb that runs on prints one line when it is in place; every verb ends
// with one line that tells its result (reg-export prints the .reg text
// instead, and its failure on standard error).
#ifndef QXZ_TOOLS_INSTALLER_SIM_VERBS_H
#define QXZ_TOOLS_INSTALLER_SIM_VERBS_H

#include <string>

namespace qxz::sim
{

using VerbFunction = int (*)(char** argv);

struct Verb
{
    const char* pszName;
    int nArguments;
    const char* pszArguments; // for the usage text
    VerbFunction pfnRun;
};

// The last line of a verb: "<verb>: ok" and exit code 0, or
// "<verb>: <what failed> returned <code>" and exit code 1.
int ReportResult(const char* pszVerb, const char* pszFailed, unsigned long ulCode);

int RegImport(char** argv);       // registry_verbs.cpp
int RegExport(char** argv);       // registry_verbs.cpp
int MakeDirectory(char** argv);   // file_verbs.cpp
int SetVersion(char** argv);      // version_verbs.cpp
int ListSystemCalls(char** argv); // machine_verbs.cpp
int HoldMutex(char** argv);       // sync_verbs.cpp
int AbandonMutex(char** argv);    // sync_verbs.cpp
int WaitMutex(char** argv);       // sync_verbs.cpp
int KeepMutex(char** argv);       // sync_verbs.cpp
int HoldEvent(char** argv);       // sync_verbs.cpp
int WatchEvent(char** argv);      // sync_verbs.cpp
int RunPin(char** argv);          // process_verbs.cpp
int RunPinFile(char** argv);      // process_verbs.cpp

// A line that tells a test that the verb is in place, flushed at once.
void PrintLine(const char* pszLine); // sync_verbs.cpp

// The bytes of a file named by its host path, added to *psText.
bool ReadHostFile(const char* pszPath, std::string* psText); // file_verbs.cpp

} // namespace qxz::sim

#endif // QXZ_TOOLS_INSTALLER_SIM_VERBS_H
