// CreateProcessA over posix_spawn, waits on a child, GetExitCodeProcess.
//
// A Windows program receives its command line as one text; a POSIX program
// receives words. The child gets the program token (without its quotes) as
// argv[0] and the rest of the text, after the token and one blank, as the
// single argv[1], so a program that joins its arguments sees the exact text.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/posix/machine/call_steps.h"
#include "platform/posix/machine/handles.h"
#include "platform/posix/machine/last_error.h"
#include "platform/posix/machine/waitable.h"

extern char** environ;

using namespace qxz::posix;

namespace
{

// How often a wait looks whether the child has ended.
constexpr long kPollNanoseconds = 5 * 1000000L;

struct CommandLineParts
{
    std::string sProgram; // the first token, without quotes
    std::string sRest;    // what follows the token and one blank
};

bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

// The program is a quoted token up to its closing quote, or else the text up
// to the first blank.
CommandLineParts SplitCommandLine(const std::string& sCommandLine)
{
    CommandLineParts tParts;
    size_t nEnd;
    if (!sCommandLine.empty() && sCommandLine[0] == '"')
    {
        size_t nQuote = sCommandLine.find('"', 1);
        if (nQuote == std::string::npos)
            nQuote = sCommandLine.size();
        tParts.sProgram = sCommandLine.substr(1, nQuote - 1);
        nEnd = std::min(nQuote + 1, sCommandLine.size());
    }
    else
    {
        nEnd = 0;
        while (nEnd < sCommandLine.size() && !IsBlank(sCommandLine[nEnd]))
            ++nEnd;
        tParts.sProgram = sCommandLine.substr(0, nEnd);
    }
    if (nEnd < sCommandLine.size() && IsBlank(sCommandLine[nEnd]))
        ++nEnd;
    tParts.sRest = sCommandLine.substr(nEnd);
    return tParts;
}

// A program named by a POSIX absolute path is taken as it is; any other name
// is a Windows path.
bool ProgramPath(const std::string& sProgram, std::string* psPosixPath)
{
    if (!sProgram.empty() && sProgram[0] == '/')
    {
        *psPosixPath = sProgram;
        return true;
    }
    return PosixPathOf(sProgram.c_str(), psPosixPath);
}

DWORD SpawnError(int nErrno)
{
    return nErrno == ENOEXEC ? ERROR_BAD_EXE_FORMAT : ErrorFromErrno(nErrno);
}

struct ChildState
{
    std::mutex tMutex;
    pid_t nPid;
    bool fEnded = false;
    DWORD dwExitCode = STILL_ACTIVE;
};

// Reaps the child when it has ended; true once it has.
bool HasEnded(ChildState* pChild)
{
    std::lock_guard<std::mutex> lock(pChild->tMutex);
    if (pChild->fEnded)
        return true;
    int nStatus = 0;
    pid_t nResult;
    do
    {
        nResult = waitpid(pChild->nPid, &nStatus, WNOHANG);
    } while (nResult < 0 && errno == EINTR);
    if (nResult == 0)
        return false;
    pChild->fEnded = true;
    if (nResult < 0)
    {
        pChild->dwExitCode = 0; // reaped elsewhere: it has ended, its status is lost
    }
    else if (WIFEXITED(nStatus))
    {
        pChild->dwExitCode = static_cast<DWORD>(WEXITSTATUS(nStatus));
    }
    else
    {
        pChild->dwExitCode = 128u + static_cast<DWORD>(WTERMSIG(nStatus)); // as a shell reports a signal
    }
    return true;
}

// A handle to a child process, or to its main thread, which ends with it.
class ChildHandle : public WaitableObject
{
public:
    ChildHandle(HandleKind eKind, std::shared_ptr<ChildState> pChild)
        : WaitableObject(eKind), m_pChild(std::move(pChild))
    {
    }

    ~ChildHandle() override
    {
        HasEnded(m_pChild.get());
    }

    DWORD Wait(const WaitDeadline& tDeadline) override
    {
        while (!HasEnded(m_pChild.get()))
        {
            timespec tPause{0, kPollNanoseconds};
            if (!tDeadline.IsInfinite())
            {
                timespec tLeft;
                if (!tDeadline.Remaining(&tLeft))
                    return WAIT_TIMEOUT;
                if (tLeft.tv_sec == 0 && tLeft.tv_nsec < tPause.tv_nsec)
                    tPause = tLeft;
            }
            nanosleep(&tPause, nullptr);
        }
        return WAIT_OBJECT_0;
    }

    DWORD ExitCode()
    {
        HasEnded(m_pChild.get());
        std::lock_guard<std::mutex> lock(m_pChild->tMutex);
        return m_pChild->dwExitCode;
    }

private:
    std::shared_ptr<ChildState> m_pChild;
};

} // namespace

extern "C" {

DWORD WINAPI GetCurrentProcessId(void)
{
    return static_cast<DWORD>(getpid());
}

BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine, LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles, DWORD dwCreationFlags,
                           LPVOID lpEnvironment, LPCSTR lpCurrentDirectory, LPSTARTUPINFOA lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation)
{
    // Handles are never inherited here, and the child shares this console.
    (void)lpProcessAttributes;
    (void)lpThreadAttributes;
    (void)bInheritHandles;
    (void)lpStartupInfo;
    if (CallFaulted("CreateProcessA", lpApplicationName != nullptr ? lpApplicationName : lpCommandLine))
        return FALSE;
    if (lpProcessInformation == nullptr || (lpApplicationName == nullptr && lpCommandLine == nullptr))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((dwCreationFlags & CREATE_SUSPENDED) != 0 || lpEnvironment != nullptr || lpCurrentDirectory != nullptr)
    {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    const CommandLineParts tParts = SplitCommandLine(lpCommandLine != nullptr ? lpCommandLine : lpApplicationName);
    std::string sPath;
    if (!ProgramPath(lpApplicationName != nullptr ? std::string(lpApplicationName) : tParts.sProgram, &sPath))
    {
        return FALSE;
    }
    std::vector<char*> vArguments{const_cast<char*>(tParts.sProgram.c_str())};
    if (!tParts.sRest.empty())
        vArguments.push_back(const_cast<char*>(tParts.sRest.c_str()));
    vArguments.push_back(nullptr);
    // Looked at first as well: posix_spawn cannot always report a failed
    // exec (not under valgrind, for one), and then the child just exits 127.
    if (access(sPath.c_str(), X_OK) != 0)
    {
        SetLastError(SpawnError(errno));
        return FALSE;
    }
    pid_t nPid = 0;
    const int nResult = posix_spawn(&nPid, sPath.c_str(), nullptr, nullptr, vArguments.data(), environ);
    if (nResult != 0)
    {
        SetLastError(SpawnError(nResult));
        return FALSE;
    }
    auto pChild = std::make_shared<ChildState>();
    pChild->nPid = nPid;
    lpProcessInformation->hProcess = NewHandle(std::make_unique<ChildHandle>(HandleKind::Process, pChild));
    lpProcessInformation->hThread = NewHandle(std::make_unique<ChildHandle>(HandleKind::Thread, pChild));
    lpProcessInformation->dwProcessId = static_cast<DWORD>(nPid);
    lpProcessInformation->dwThreadId = static_cast<DWORD>(nPid); // the main thread's id is the process id
    return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode)
{
    if (CallFaulted("GetExitCodeProcess", nullptr))
        return FALSE;
    auto* pChild = static_cast<ChildHandle*>(LookupHandle(hProcess, HandleKind::Process));
    if (pChild == nullptr)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpExitCode == nullptr)
    {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    *lpExitCode = pChild->ExitCode();
    return TRUE;
}

} // extern "C"
