// Conformance of named events and mutexes and of waits: results, last errors
// and what each call leaves behind, natively (our layer) and under Wine.
// Other processes are played by installer-sim and by this program itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/platform/cross_process.h"
#include "tests/support/test_machine.h"

namespace
{

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr DWORD kGenerous = 60000; // a bound on waits that must not time out

using qxz::test::SimProcess;

// A name of this test's own, so that runs sharing one machine never meet.
std::string UniqueName(const char* pszLabel)
{
    return std::string("QxzTest_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + pszLabel +
           "_" + std::to_string(GetCurrentProcessId());
}

HANDLE NewEvent(const std::string& sName, BOOL bManualReset, BOOL bInitialState)
{
    return CreateEventA(nullptr, bManualReset, bInitialState, sName.empty() ? nullptr : sName.c_str());
}

DWORD WINAPI WaitZero(LPVOID hObject)
{
    return WaitForSingleObject(static_cast<HANDLE>(hObject), 0);
}
DWORD WINAPI ReleaseFromThread(LPVOID hMutex)
{
    SetLastError(kSentinel);
    return ReleaseMutex(static_cast<HANDLE>(hMutex)) ? ERROR_SUCCESS : GetLastError();
}

// What a routine returns when it runs on a thread of its own: the thread
// ends before this returns, and with it whatever it owned.
DWORD OnOtherThread(LPTHREAD_START_ROUTINE pfnRoutine, HANDLE hObject)
{
    struct Run
    {
        LPTHREAD_START_ROUTINE pfn;
        HANDLE h;
        DWORD dwResult;
    } tRun{pfnRoutine, hObject, kSentinel};
    HANDLE hThread = CreateThread(
        nullptr, 0,
        [](LPVOID pRun) -> DWORD {
            auto* p = static_cast<Run*>(pRun);
            p->dwResult = p->pfn(p->h);
            return 0;
        },
        &tRun, 0, nullptr);
    EXPECT_NE(nullptr, hThread);
    if (hThread == nullptr)
        return kSentinel;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hThread, kGenerous));
    CloseHandle(hThread);
    return tRun.dwResult;
}

class KernelObjects : public ::testing::Test
{
protected:
    qxz::test::TestMachine m_tMachine;
};

// ---- Events -------------------------------------------------------------------

TEST_F(KernelObjects, CreateEventCreatesOrOpensAndTellsWhich)
{
    const std::string sName = UniqueName("event");
    SetLastError(kSentinel);
    HANDLE hFirst = NewEvent(sName, TRUE, FALSE);
    ASSERT_NE(nullptr, hFirst);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());

    SetLastError(kSentinel);
    HANDLE hSecond = NewEvent(sName, FALSE, TRUE);
    ASSERT_NE(nullptr, hSecond);
    EXPECT_NE(hFirst, hSecond);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    // Opening keeps the object as it is: not signalled, and still manual-reset.
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hSecond, 0));
    ASSERT_TRUE(SetEvent(hFirst));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hSecond, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hSecond, 0));

    // The event goes with its last handle.
    EXPECT_TRUE(CloseHandle(hFirst));
    EXPECT_TRUE(CloseHandle(hSecond));
    SetLastError(kSentinel);
    HANDLE hAgain = NewEvent(sName, TRUE, FALSE);
    ASSERT_NE(nullptr, hAgain);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hAgain, 0));
    CloseHandle(hAgain);
}

TEST_F(KernelObjects, OpenEventFindsOnlyAnExistingEventOfThatExactName)
{
    const std::string sName = UniqueName("event");
    SetLastError(kSentinel);
    EXPECT_EQ(nullptr, OpenEventA(EVENT_ALL_ACCESS, FALSE, sName.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

    HANDLE hEvent = NewEvent(sName, TRUE, TRUE);
    ASSERT_NE(nullptr, hEvent);
    SetLastError(kSentinel);
    HANDLE hOpened = OpenEventA(EVENT_ALL_ACCESS, FALSE, sName.c_str());
    ASSERT_NE(nullptr, hOpened);
    EXPECT_EQ(kSentinel, GetLastError());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hOpened, 0));

    // Names are case-sensitive.
    std::string sOtherCase = sName;
    sOtherCase[0] = 'q';
    SetLastError(kSentinel);
    EXPECT_EQ(nullptr, OpenEventA(EVENT_ALL_ACCESS, FALSE, sOtherCase.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    CloseHandle(hOpened);
    CloseHandle(hEvent);
}

TEST_F(KernelObjects, EventResetRules)
{
    struct Case
    {
        BOOL bManualReset;
        BOOL bInitialState;
        DWORD adwWaits[3]; // three waits in a row
    };
    const Case aCases[] = {
        {TRUE, TRUE, {WAIT_OBJECT_0, WAIT_OBJECT_0, WAIT_OBJECT_0}},
        {TRUE, FALSE, {WAIT_TIMEOUT, WAIT_TIMEOUT, WAIT_TIMEOUT}},
        {FALSE, TRUE, {WAIT_OBJECT_0, WAIT_TIMEOUT, WAIT_TIMEOUT}},
        {FALSE, FALSE, {WAIT_TIMEOUT, WAIT_TIMEOUT, WAIT_TIMEOUT}},
    };
    for (const Case& tCase : aCases)
    {
        SCOPED_TRACE(::testing::Message() << "manual " << tCase.bManualReset << ", initial " << tCase.bInitialState);
        HANDLE hEvent = NewEvent(UniqueName("event"), tCase.bManualReset, tCase.bInitialState);
        ASSERT_NE(nullptr, hEvent);
        for (DWORD dwExpected : tCase.adwWaits)
            EXPECT_EQ(dwExpected, WaitForSingleObject(hEvent, 0));
        // Two signals before a wait are one signal.
        ASSERT_TRUE(SetEvent(hEvent));
        ASSERT_TRUE(SetEvent(hEvent));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hEvent, 0));
        EXPECT_EQ(tCase.bManualReset ? WAIT_OBJECT_0 : WAIT_TIMEOUT, WaitForSingleObject(hEvent, 0));
        ASSERT_TRUE(ResetEvent(hEvent));
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hEvent, 0));
        CloseHandle(hEvent);
    }
}

TEST_F(KernelObjects, SetEventWakesAWaitingThread)
{
    HANDLE hEvent = NewEvent(UniqueName("event"), FALSE, FALSE);
    ASSERT_NE(nullptr, hEvent);
    struct Wait
    {
        HANDLE hEvent;
        DWORD dwResult;
    } tWait{hEvent, kSentinel};
    HANDLE hThread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* pWait = static_cast<Wait*>(p);
            pWait->dwResult = WaitForSingleObject(pWait->hEvent, kGenerous);
            return 0;
        },
        &tWait, 0, nullptr);
    ASSERT_NE(nullptr, hThread);
    // The thread has not been released yet, whether it waits already or not.
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hThread, 50));
    ASSERT_TRUE(SetEvent(hEvent));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hThread, kGenerous));
    EXPECT_EQ(WAIT_OBJECT_0, tWait.dwResult);
    // The auto-reset event released that one waiter and is reset again.
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hEvent, 0));
    CloseHandle(hThread);
    CloseHandle(hEvent);
}

TEST_F(KernelObjects, UnnamedObjectsAreAlwaysNew)
{
    for (const char* pszName : {static_cast<const char*>(nullptr), ""})
    {
        SCOPED_TRACE(pszName == nullptr ? "no name" : "empty name");
        SetLastError(kSentinel);
        HANDLE hFirst = CreateEventA(nullptr, TRUE, FALSE, pszName);
        ASSERT_NE(nullptr, hFirst);
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
        SetLastError(kSentinel);
        HANDLE hSecond = CreateEventA(nullptr, TRUE, FALSE, pszName);
        ASSERT_NE(nullptr, hSecond);
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
        ASSERT_TRUE(SetEvent(hFirst));
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hSecond, 0));
        CloseHandle(hFirst);
        CloseHandle(hSecond);
    }
    HANDLE hMutex = CreateMutexA(nullptr, TRUE, nullptr);
    ASSERT_NE(nullptr, hMutex);
    EXPECT_TRUE(ReleaseMutex(hMutex));
    CloseHandle(hMutex);
}

// ---- Names ----------------------------------------------------------------------

TEST_F(KernelObjects, NamesThatWindowsRefuses)
{
    struct Case
    {
        std::string sName;
        DWORD dwError;
    };
    const Case aCases[] = {
        {std::string(MAX_PATH + 1, 'n'), ERROR_FILENAME_EXCED_RANGE},
        {"Local\\" + std::string(MAX_PATH + 1 - 6, 'n'), ERROR_FILENAME_EXCED_RANGE},
        {"QxzTest\\inner", ERROR_PATH_NOT_FOUND},
        {"Local\\QxzTest\\inner", ERROR_PATH_NOT_FOUND},
        {"\\QxzTest", ERROR_BAD_PATHNAME},
        {"Local\\", ERROR_INVALID_NAME},
    };
    for (const Case& tCase : aCases)
    {
        SCOPED_TRACE(tCase.sName);
        SetLastError(kSentinel);
        EXPECT_EQ(nullptr, CreateEventA(nullptr, TRUE, FALSE, tCase.sName.c_str()));
        EXPECT_EQ(tCase.dwError, GetLastError());
        SetLastError(kSentinel);
        EXPECT_EQ(nullptr, CreateMutexA(nullptr, FALSE, tCase.sName.c_str()));
        EXPECT_EQ(tCase.dwError, GetLastError());
    }
    // A name as long as events and mutexes accept alike. (Windows takes one
    // character more for both; Wine refuses that for an event.)
    const std::string sLongest = UniqueName("") + std::string(MAX_PATH - 1 - UniqueName("").size(), 'n');
    HANDLE hLongest = CreateEventA(nullptr, TRUE, FALSE, sLongest.c_str());
    EXPECT_NE(nullptr, hLongest);
    CloseHandle(hLongest);
}

TEST_F(KernelObjects, OpenWithoutAUsableName)
{
    SetLastError(kSentinel);
    EXPECT_EQ(nullptr, OpenEventA(EVENT_ALL_ACCESS, FALSE, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(kSentinel);
    EXPECT_EQ(nullptr, OpenMutexA(MUTEX_ALL_ACCESS, FALSE, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(kSentinel);
    EXPECT_EQ(nullptr, OpenEventA(EVENT_ALL_ACCESS, FALSE, ""));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(KernelObjects, LocalPrefixIsTheSessionsNamespaceGlobalIsAnother)
{
    const std::string sName = UniqueName("event");
    HANDLE hLocal = NewEvent("Local\\" + sName, TRUE, FALSE);
    ASSERT_NE(nullptr, hLocal);
    HANDLE hPlain = OpenEventA(EVENT_ALL_ACCESS, FALSE, sName.c_str());
    EXPECT_NE(nullptr, hPlain);
    SetLastError(kSentinel);
    EXPECT_EQ(nullptr, OpenEventA(EVENT_ALL_ACCESS, FALSE, ("Global\\" + sName).c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    CloseHandle(hPlain);
    CloseHandle(hLocal);
}

TEST_F(KernelObjects, ANameBelongsToOneKindOfObject)
{
    const std::string sMutexName = UniqueName("mutex");
    const std::string sEventName = UniqueName("event");
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, sMutexName.c_str());
    HANDLE hEvent = NewEvent(sEventName, TRUE, FALSE);
    ASSERT_NE(nullptr, hMutex);
    ASSERT_NE(nullptr, hEvent);
    SetLastError(kSentinel);
    EXPECT_EQ(nullptr, OpenEventA(EVENT_ALL_ACCESS, FALSE, sMutexName.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(kSentinel);
    EXPECT_EQ(nullptr, NewEvent(sMutexName, TRUE, FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(kSentinel);
    EXPECT_EQ(nullptr, OpenMutexA(MUTEX_ALL_ACCESS, FALSE, sEventName.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(kSentinel);
    EXPECT_EQ(nullptr, CreateMutexA(nullptr, TRUE, sEventName.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    CloseHandle(hEvent);
    CloseHandle(hMutex);
}

// ---- Handles of the wrong kind ------------------------------------------------------

TEST_F(KernelObjects, CallsRefuseHandlesOfAnotherKind)
{
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, nullptr);
    HANDLE hEvent = NewEvent("", TRUE, FALSE);
    HANDLE hClosed = NewEvent("", TRUE, FALSE);
    ASSERT_NE(nullptr, hMutex);
    ASSERT_NE(nullptr, hEvent);
    ASSERT_TRUE(CloseHandle(hClosed));
    struct Case
    {
        const char* pszCall;
        BOOL (*pfnCall)(HANDLE);
        HANDLE hObject;
    };
    const Case aCases[] = {
        {"SetEvent(mutex)", [](HANDLE h) { return SetEvent(h); }, hMutex},
        {"ResetEvent(mutex)", [](HANDLE h) { return ResetEvent(h); }, hMutex},
        {"ReleaseMutex(event)", [](HANDLE h) { return ReleaseMutex(h); }, hEvent},
        {"SetEvent(null)", [](HANDLE h) { return SetEvent(h); }, nullptr},
        {"ReleaseMutex(null)", [](HANDLE h) { return ReleaseMutex(h); }, nullptr},
        {"SetEvent(closed)", [](HANDLE h) { return SetEvent(h); }, hClosed},
        {"CloseHandle(closed)", [](HANDLE h) { return CloseHandle(h); }, hClosed},
    };
    for (const Case& tCase : aCases)
    {
        SCOPED_TRACE(tCase.pszCall);
        SetLastError(kSentinel);
        EXPECT_FALSE(tCase.pfnCall(tCase.hObject));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    }
    for (HANDLE hBad : {static_cast<HANDLE>(nullptr), hClosed})
    {
        SetLastError(kSentinel);
        EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(hBad, 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    }
    // INVALID_HANDLE_VALUE is this process, which does not end while it waits.
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(INVALID_HANDLE_VALUE, 0));
    CloseHandle(hEvent);
    CloseHandle(hMutex);
}

// ---- Mutexes --------------------------------------------------------------------

TEST_F(KernelObjects, OnlyTheCreatorTakesInitialOwnership)
{
    const std::string sName = UniqueName("mutex");
    SetLastError(kSentinel);
    HANDLE hCreated = CreateMutexA(nullptr, FALSE, sName.c_str());
    ASSERT_NE(nullptr, hCreated);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    SetLastError(kSentinel);
    HANDLE hOpened = CreateMutexA(nullptr, TRUE, sName.c_str());
    ASSERT_NE(nullptr, hOpened);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    SetLastError(kSentinel);
    EXPECT_FALSE(ReleaseMutex(hOpened));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());
    CloseHandle(hOpened);
    CloseHandle(hCreated);

    SetLastError(kSentinel);
    HANDLE hOwned = CreateMutexA(nullptr, TRUE, sName.c_str());
    ASSERT_NE(nullptr, hOwned);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    EXPECT_EQ(WAIT_TIMEOUT, OnOtherThread(WaitZero, hOwned));
    EXPECT_TRUE(ReleaseMutex(hOwned));
    EXPECT_EQ(WAIT_OBJECT_0, OnOtherThread(WaitZero, hOwned));
    CloseHandle(hOwned);
}

TEST_F(KernelObjects, OpenMutexFindsOnlyAnExistingMutex)
{
    const std::string sName = UniqueName("mutex");
    SetLastError(kSentinel);
    EXPECT_EQ(nullptr, OpenMutexA(MUTEX_ALL_ACCESS, FALSE, sName.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    HANDLE hMutex = CreateMutexA(nullptr, TRUE, sName.c_str());
    ASSERT_NE(nullptr, hMutex);
    SetLastError(kSentinel);
    HANDLE hOpened = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, sName.c_str());
    ASSERT_NE(nullptr, hOpened);
    EXPECT_EQ(kSentinel, GetLastError());
    // Ownership belongs to the thread, not to the handle.
    EXPECT_TRUE(ReleaseMutex(hOpened));
    CloseHandle(hOpened);
    CloseHandle(hMutex);
}

TEST_F(KernelObjects, AMutexCountsItsOwnersWaits)
{
    HANDLE hMutex = CreateMutexA(nullptr, TRUE, UniqueName("mutex").c_str());
    ASSERT_NE(nullptr, hMutex);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hMutex, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hMutex, INFINITE));
    for (int nRelease = 0; nRelease < 3; ++nRelease)
        EXPECT_TRUE(ReleaseMutex(hMutex)) << nRelease;
    SetLastError(kSentinel);
    EXPECT_FALSE(ReleaseMutex(hMutex));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());
    CloseHandle(hMutex);
}

TEST_F(KernelObjects, AnotherThreadNeitherGetsNorReleasesAnOwnedMutex)
{
    HANDLE hMutex = CreateMutexA(nullptr, TRUE, UniqueName("mutex").c_str());
    ASSERT_NE(nullptr, hMutex);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), OnOtherThread(ReleaseFromThread, hMutex));
    // A bounded wait on a mutex that stays owned ends with the time-out.
    EXPECT_EQ(WAIT_TIMEOUT,
              OnOtherThread([](LPVOID h) { return WaitForSingleObject(static_cast<HANDLE>(h), 100); }, hMutex));
    EXPECT_TRUE(ReleaseMutex(hMutex));
    CloseHandle(hMutex);
}

TEST_F(KernelObjects, AMutexWhoseOwnerThreadEndedIsAbandoned)
{
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, UniqueName("mutex").c_str());
    ASSERT_NE(nullptr, hMutex);
    ASSERT_EQ(WAIT_OBJECT_0, OnOtherThread(WaitZero, hMutex));
    // The waiter that finds it abandoned owns it.
    EXPECT_EQ(WAIT_ABANDONED, WaitForSingleObject(hMutex, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hMutex, 0));
    EXPECT_TRUE(ReleaseMutex(hMutex));
    EXPECT_TRUE(ReleaseMutex(hMutex));
    SetLastError(kSentinel);
    EXPECT_FALSE(ReleaseMutex(hMutex));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());
    EXPECT_EQ(WAIT_OBJECT_0, OnOtherThread(WaitZero, hMutex));
    CloseHandle(hMutex);
}

TEST_F(KernelObjects, ClosingAHandleDoesNotReleaseTheMutex)
{
    const std::string sName = UniqueName("mutex");
    HANDLE hMutex = CreateMutexA(nullptr, TRUE, sName.c_str());
    ASSERT_NE(nullptr, hMutex);
    HANDLE hOther = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, sName.c_str());
    ASSERT_NE(nullptr, hOther);
    ASSERT_TRUE(CloseHandle(hMutex));
    EXPECT_EQ(WAIT_TIMEOUT, OnOtherThread(WaitZero, hOther));
    EXPECT_TRUE(ReleaseMutex(hOther));
    EXPECT_EQ(WAIT_OBJECT_0, OnOtherThread(WaitZero, hOther));
    CloseHandle(hOther);
}

TEST_F(KernelObjects, AnOwnedMutexGoesWithItsLastHandle)
{
    const std::string sName = UniqueName("mutex");
    HANDLE hMutex = CreateMutexA(nullptr, TRUE, sName.c_str());
    ASSERT_NE(nullptr, hMutex);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hMutex, 0));
    ASSERT_TRUE(CloseHandle(hMutex));
    SetLastError(kSentinel);
    HANDLE hNew = CreateMutexA(nullptr, FALSE, sName.c_str());
    ASSERT_NE(nullptr, hNew);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    EXPECT_EQ(WAIT_OBJECT_0, OnOtherThread(WaitZero, hNew));
    CloseHandle(hNew);
}

// ---- Other processes --------------------------------------------------------------

TEST_F(KernelObjects, AMutexHeldByAnotherProcess)
{
    const std::string sName = UniqueName("mutex");
    SimProcess tHolder({"hold-mutex", sName, "300"});
    ASSERT_EQ("owned", tHolder.ReadLine());
    HANDLE hMutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, sName.c_str());
    ASSERT_NE(nullptr, hMutex);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hMutex, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hMutex, kGenerous));
    EXPECT_EQ(std::vector<std::string>{"hold-mutex: ok"}, tHolder.Finish());
    // Released by its holder, so another process waits for this one now.
    SimProcess tWaiter({"wait-mutex", sName, "0"});
    EXPECT_EQ("waiting", tWaiter.ReadLine());
    EXPECT_EQ("WAIT_TIMEOUT", tWaiter.ReadLine());
    EXPECT_EQ(std::vector<std::string>{"wait-mutex: ok"}, tWaiter.Finish());
    EXPECT_TRUE(ReleaseMutex(hMutex));
    CloseHandle(hMutex);
}

TEST_F(KernelObjects, AMutexAbandonedInAnotherProcess)
{
    const std::string sName = UniqueName("mutex");
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, sName.c_str());
    ASSERT_NE(nullptr, hMutex);
    SimProcess tOwner({"abandon-mutex", sName, "0"});
    ASSERT_EQ("abandoned", tOwner.ReadLine());
    EXPECT_EQ(WAIT_ABANDONED, WaitForSingleObject(hMutex, 0));
    EXPECT_TRUE(ReleaseMutex(hMutex));
    EXPECT_EQ(std::vector<std::string>{"abandon-mutex: ok"}, tOwner.Finish());
    CloseHandle(hMutex);
}

TEST_F(KernelObjects, AnotherProcessWaitingWhenTheOwnerThreadEnds)
{
    const std::string sName = UniqueName("mutex");
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, sName.c_str());
    ASSERT_NE(nullptr, hMutex);
    // A thread takes the mutex and keeps it; the thread ends once the other
    // process waits.
    HANDLE hTaken = NewEvent("", TRUE, FALSE);
    HANDLE hEnd = NewEvent("", TRUE, FALSE);
    struct Owner
    {
        HANDLE hMutex, hTaken, hEnd;
    } tOwner{hMutex, hTaken, hEnd};
    HANDLE hThread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* pOwner = static_cast<Owner*>(p);
            const DWORD dwWait = WaitForSingleObject(pOwner->hMutex, 0);
            SetEvent(pOwner->hTaken);
            WaitForSingleObject(pOwner->hEnd, kGenerous);
            return dwWait;
        },
        &tOwner, 0, nullptr);
    ASSERT_NE(nullptr, hThread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hTaken, kGenerous));
    SimProcess tWaiter({"wait-mutex", sName, "60000"});
    ASSERT_EQ("waiting", tWaiter.ReadLine());
    ASSERT_TRUE(SetEvent(hEnd));
    EXPECT_EQ("WAIT_ABANDONED", tWaiter.ReadLine());
    EXPECT_EQ(std::vector<std::string>{"wait-mutex: ok"}, tWaiter.Finish());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hThread, kGenerous));
    CloseHandle(hThread);
    CloseHandle(hEnd);
    CloseHandle(hTaken);
    CloseHandle(hMutex);
}

TEST_F(KernelObjects, EventsSeenByAnotherProcess)
{
    const std::string sSignalled = UniqueName("signalled");
    HANDLE hSignalled = NewEvent(sSignalled, TRUE, TRUE);
    ASSERT_NE(nullptr, hSignalled);
    // Opened, not created: the watcher's initial state does not apply.
    SimProcess tQuick({"watch-event", sSignalled, "0"});
    EXPECT_EQ("ready", tQuick.ReadLine());
    EXPECT_EQ("signalled", tQuick.ReadLine());
    tQuick.Finish();
    CloseHandle(hSignalled);

    const std::string sWatched = UniqueName("watched");
    SimProcess tWatcher({"watch-event", sWatched, "60000"});
    ASSERT_EQ("ready", tWatcher.ReadLine());
    HANDLE hWatched = OpenEventA(EVENT_ALL_ACCESS, FALSE, sWatched.c_str());
    ASSERT_NE(nullptr, hWatched);
    ASSERT_TRUE(SetEvent(hWatched));
    EXPECT_EQ("signalled", tWatcher.ReadLine());
    EXPECT_EQ(std::vector<std::string>{"watch-event: ok"}, tWatcher.Finish());
    CloseHandle(hWatched);
}

// An installation runs many programs at once, each holding the installer's
// events: more processes than a few dozen hold one event open together, and
// one SetEvent reaches them all.
TEST_F(KernelObjects, ManyProcessesHoldOneEventAtOnce)
{
    constexpr size_t kHolders = 24;
    const std::string sName = UniqueName("shared");
    HANDLE hEvent = NewEvent(sName, TRUE, FALSE);
    ASSERT_NE(nullptr, hEvent);
    std::vector<std::unique_ptr<SimProcess>> vWatchers;
    for (size_t i = 0; i < kHolders; ++i)
        vWatchers.push_back(std::make_unique<SimProcess>(std::vector<std::string>{"watch-event", sName, "60000"}));
    for (size_t i = 0; i < kHolders; ++i)
        EXPECT_EQ("ready", vWatchers[i]->ReadLine()) << "holder " << i + 1;
    ASSERT_TRUE(SetEvent(hEvent));
    for (size_t i = 0; i < kHolders; ++i)
    {
        EXPECT_EQ("signalled", vWatchers[i]->ReadLine()) << "holder " << i + 1;
        vWatchers[i]->Finish();
    }
    CloseHandle(hEvent);
}

// The Pin's own handling of its mutex: created owned, waited on (a second
// count), released once and closed by a process that then ends, while this
// process has it open.
TEST(KernelObjectsRole, DISABLED_PinMutexSequence)
{
    const std::string sBase = qxz::test::RoleArgument();
    HANDLE hMutex = CreateMutexA(nullptr, TRUE, (sBase + "_mutex").c_str());
    ASSERT_NE(nullptr, hMutex);
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hMutex, 0));
    ASSERT_TRUE(ReleaseMutex(hMutex));
    HANDLE hReady = OpenEventA(EVENT_ALL_ACCESS, FALSE, (sBase + "_ready").c_str());
    HANDLE hGo = OpenEventA(EVENT_ALL_ACCESS, FALSE, (sBase + "_go").c_str());
    ASSERT_NE(nullptr, hReady);
    ASSERT_NE(nullptr, hGo);
    ASSERT_TRUE(SetEvent(hReady));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hGo, kGenerous));
    CloseHandle(hMutex);
    CloseHandle(hGo);
    CloseHandle(hReady);
}

TEST_F(KernelObjects, TheMutexOfAPinThatEndedIsAbandoned)
{
    const std::string sBase = UniqueName("pin");
    HANDLE hReady = NewEvent(sBase + "_ready", TRUE, FALSE);
    HANDLE hGo = NewEvent(sBase + "_go", TRUE, FALSE);
    ASSERT_NE(nullptr, hReady);
    ASSERT_NE(nullptr, hGo);
    PROCESS_INFORMATION tPin{};
    ASSERT_TRUE(qxz::test::StartRole("KernelObjectsRole", "DISABLED_PinMutexSequence", sBase, &tPin));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hReady, kGenerous));
    HANDLE hMutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, (sBase + "_mutex").c_str());
    EXPECT_NE(nullptr, hMutex);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(hMutex, 0));
    ASSERT_TRUE(SetEvent(hGo));
    EXPECT_EQ(0u, qxz::test::FinishRole(tPin));
    EXPECT_EQ(WAIT_ABANDONED, WaitForSingleObject(hMutex, 0));
    EXPECT_TRUE(ReleaseMutex(hMutex));
    CloseHandle(hMutex);
    CloseHandle(hGo);
    CloseHandle(hReady);
}

// Ends without closing its handles, as a process that crashes does.
TEST(KernelObjectsRole, DISABLED_EndWithoutClosing)
{
    const std::string sBase = qxz::test::RoleArgument();
    HANDLE hEvent = CreateEventA(nullptr, TRUE, TRUE, (sBase + "_event").c_str());
    HANDLE hMutex = CreateMutexA(nullptr, TRUE, (sBase + "_mutex").c_str());
    std::fflush(stdout);
    std::_Exit(hEvent != nullptr && hMutex != nullptr ? 0 : 3);
}

TEST_F(KernelObjects, AProcessThatEndsKeepsNothingAlive)
{
    const std::string sBase = UniqueName("ended");
    PROCESS_INFORMATION tChild{};
    ASSERT_TRUE(qxz::test::StartRole("KernelObjectsRole", "DISABLED_EndWithoutClosing", sBase, &tChild));
    ASSERT_EQ(0u, qxz::test::FinishRole(tChild));
    SetLastError(kSentinel);
    EXPECT_EQ(nullptr, OpenEventA(EVENT_ALL_ACCESS, FALSE, (sBase + "_event").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    SetLastError(kSentinel);
    HANDLE hMutex = CreateMutexA(nullptr, FALSE, (sBase + "_mutex").c_str());
    ASSERT_NE(nullptr, hMutex);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hMutex, 0));
    EXPECT_TRUE(ReleaseMutex(hMutex));
    CloseHandle(hMutex);
}

} // namespace
