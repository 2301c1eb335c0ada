// The installer's kernel objects: hold-mutex, abandon-mutex, wait-mutex,
// keep-mutex, hold-event, watch-event.
//
// Every wait of a verb is bounded, so that a test that goes wrong leaves no
// process behind for long.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/win32.h"
#include "tools/installer-sim/verbs.h"

namespace qxz::sim
{

namespace
{

constexpr DWORD kLongestWait = 60000;
// How often keep-mutex looks for its cue.
constexpr DWORD kCuePollMilliseconds = 10;

const char* WaitResultName(DWORD dwResult)
{
    switch (dwResult)
    {
        case WAIT_OBJECT_0: return "WAIT_OBJECT_0";
        case WAIT_ABANDONED: return "WAIT_ABANDONED";
        case WAIT_TIMEOUT: return "WAIT_TIMEOUT";
        default: return "WAIT_FAILED";
    }
}

bool IsOwned(DWORD dwWaitResult)
{
    return dwWaitResult == WAIT_OBJECT_0 || dwWaitResult == WAIT_ABANDONED;
}

// The code that tells why a wait did not own the mutex.
unsigned long WaitFailureCode(DWORD dwWaitResult)
{
    return dwWaitResult == WAIT_FAILED ? GetLastError() : dwWaitResult;
}

DWORD WINAPI OwnAndEnd(LPVOID pMutex)
{
    return WaitForSingleObject(static_cast<HANDLE>(pMutex), kLongestWait);
}

// MS: a number of milliseconds short of INFINITE.
bool ParseMilliseconds(const char* pszText, DWORD* pdwMilliseconds)
{
    char* pszEnd = nullptr;
    const unsigned long ulValue = std::strtoul(pszText, &pszEnd, 10);
    if (pszText[0] < '0' || pszText[0] > '9' || *pszEnd != '\0' || ulValue >= INFINITE)
        return false;
    *pdwMilliseconds = static_cast<DWORD>(ulValue);
    return true;
}

} // namespace

void PrintLine(const char* pszLine)
{
    std::printf("%s\n", pszLine);
    std::fflush(stdout);
}

int HoldMutex(char** argv)
{
    DWORD dwHold = 0;
    if (!ParseMilliseconds(argv[1], &dwHold))
        return ReportResult("hold-mutex", "MS", ERROR_INVALID_PARAMETER);
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, argv[0]);
    if (hMutex == nullptr)
        return ReportResult("hold-mutex", "CreateMutexA", GetLastError());
    const DWORD dwWait = WaitForSingleObject(hMutex, kLongestWait);
    if (!IsOwned(dwWait))
    {
        const unsigned long ulCode = WaitFailureCode(dwWait);
        CloseHandle(hMutex);
        return ReportResult("hold-mutex", "WaitForSingleObject", ulCode);
    }
    PrintLine("owned");
    Sleep(dwHold);
    const BOOL fReleased = ReleaseMutex(hMutex);
    const DWORD dwError = GetLastError();
    CloseHandle(hMutex);
    return ReportResult("hold-mutex", fReleased ? nullptr : "ReleaseMutex", dwError);
}

int AbandonMutex(char** argv)
{
    DWORD dwKeep = 0;
    if (!ParseMilliseconds(argv[1], &dwKeep))
        return ReportResult("abandon-mutex", "MS", ERROR_INVALID_PARAMETER);
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, argv[0]);
    if (hMutex == nullptr)
        return ReportResult("abandon-mutex", "CreateMutexA", GetLastError());
    HANDLE hThread = CreateThread(nullptr, 0, OwnAndEnd, hMutex, 0, nullptr);
    if (hThread == nullptr)
    {
        const DWORD dwError = GetLastError();
        CloseHandle(hMutex);
        return ReportResult("abandon-mutex", "CreateThread", dwError);
    }
    const DWORD dwEnded = WaitForSingleObject(hThread, INFINITE);
    CloseHandle(hThread);
    if (dwEnded != WAIT_OBJECT_0)
    {
        CloseHandle(hMutex);
        return ReportResult("abandon-mutex", "WaitForSingleObject", WaitFailureCode(dwEnded));
    }
    PrintLine("abandoned");
    Sleep(dwKeep);
    CloseHandle(hMutex);
    return ReportResult("abandon-mutex", nullptr, 0);
}

int WaitMutex(char** argv)
{
    DWORD dwTimeout = 0;
    if (!ParseMilliseconds(argv[1], &dwTimeout))
        return ReportResult("wait-mutex", "MS", ERROR_INVALID_PARAMETER);
    HANDLE hMutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, argv[0]);
    if (hMutex == nullptr)
        return ReportResult("wait-mutex", "OpenMutexA", GetLastError());
    PrintLine("waiting");
    const DWORD dwWait = WaitForSingleObject(hMutex, dwTimeout);
    if (dwWait == WAIT_FAILED)
    {
        const DWORD dwError = GetLastError();
        CloseHandle(hMutex);
        return ReportResult("wait-mutex", "WaitForSingleObject", dwError);
    }
    PrintLine(WaitResultName(dwWait));
    // Given back at once, so that this process leaves nothing abandoned.
    if (IsOwned(dwWait))
        ReleaseMutex(hMutex);
    CloseHandle(hMutex);
    return ReportResult("wait-mutex", nullptr, 0);
}

int KeepMutex(char** argv)
{
    DWORD dwTimeout = 0;
    if (!ParseMilliseconds(argv[2], &dwTimeout))
        return ReportResult("keep-mutex", "MS", ERROR_INVALID_PARAMETER);
    // Open, never owned: whoever takes it later must give it back for the
    // wait below to own it cleanly.
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, argv[0]);
    if (hMutex == nullptr)
        return ReportResult("keep-mutex", "CreateMutexA", GetLastError());
    PrintLine("ready");
    const DWORD dwStart = GetTickCount();
    while (GetFileAttributesA(argv[1]) == INVALID_FILE_ATTRIBUTES && GetTickCount() - dwStart < dwTimeout)
    {
        Sleep(kCuePollMilliseconds);
    }
    const DWORD dwWait = WaitForSingleObject(hMutex, 0);
    if (dwWait == WAIT_FAILED)
    {
        const DWORD dwError = GetLastError();
        CloseHandle(hMutex);
        return ReportResult("keep-mutex", "WaitForSingleObject", dwError);
    }
    PrintLine(WaitResultName(dwWait));
    if (IsOwned(dwWait))
        ReleaseMutex(hMutex);
    CloseHandle(hMutex);
    return ReportResult("keep-mutex", nullptr, 0);
}

int HoldEvent(char** argv)
{
    const bool fSignalled = std::strcmp(argv[1], "signalled") == 0;
    DWORD dwHold = 0;
    if ((!fSignalled && std::strcmp(argv[1], "unsignalled") != 0) || !ParseMilliseconds(argv[2], &dwHold))
    {
        return ReportResult("hold-event", "signalled|unsignalled MS", ERROR_INVALID_PARAMETER);
    }
    // An event that exists already keeps its state, as it would for the
    // installer.
    HANDLE hEvent = CreateEventA(nullptr, TRUE, fSignalled ? TRUE : FALSE, argv[0]);
    if (hEvent == nullptr)
        return ReportResult("hold-event", "CreateEventA", GetLastError());
    PrintLine("ready");
    Sleep(dwHold);
    CloseHandle(hEvent);
    return ReportResult("hold-event", nullptr, 0);
}

int WatchEvent(char** argv)
{
    DWORD dwTimeout = 0;
    if (!ParseMilliseconds(argv[1], &dwTimeout))
        return ReportResult("watch-event", "MS", ERROR_INVALID_PARAMETER);
    HANDLE hEvent = CreateEventA(nullptr, TRUE, FALSE, argv[0]);
    if (hEvent == nullptr)
        return ReportResult("watch-event", "CreateEventA", GetLastError());
    PrintLine("ready");
    const DWORD dwWait = WaitForSingleObject(hEvent, dwTimeout);
    const DWORD dwError = GetLastError();
    CloseHandle(hEvent);
    if (dwWait == WAIT_FAILED)
        return ReportResult("watch-event", "WaitForSingleObject", dwError);
    PrintLine(dwWait == WAIT_OBJECT_0 ? "signalled" : "not signalled");
    return ReportResult("watch-event", nullptr, 0);
}

} // namespace qxz::sim
