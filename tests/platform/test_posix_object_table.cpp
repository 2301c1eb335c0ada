// The emulated machine's table of named kernel objects: its room, and what a
// call meets when the table is full.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/support/test_machine.h"

namespace
{

constexpr size_t kAtLeast = 1024;
constexpr size_t kTries = 8192; // far more than the table may hold

std::string EventName(size_t nIndex)
{
    return "QxzTest_Full_" + std::to_string(nIndex);
}

// A full table refuses a new object with ERROR_NO_SYSTEM_RESOURCES and gives
// no other object in its place; the objects in it stay as they are, and a
// closed one makes room again.
TEST(PosixObjectTable, AFullTableRefusesANewObjectAndKeepsItsOwn)
{
    qxz::test::TestMachine machine;
    std::vector<HANDLE> vEvents;
    DWORD dwError = ERROR_SUCCESS;
    while (vEvents.size() < kTries)
    {
        // The first event is signalled, the others are not.
        SetLastError(0xdeadbeef);
        HANDLE hEvent = CreateEventA(nullptr, TRUE, vEvents.empty(), EventName(vEvents.size()).c_str());
        if (hEvent == nullptr)
        {
            dwError = GetLastError();
            break;
        }
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
        vEvents.push_back(hEvent);
    }
    std::printf("the table held %zu named events\n", vEvents.size());
    ASSERT_GE(vEvents.size(), kAtLeast);
    ASSERT_LT(vEvents.size(), kTries);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_SYSTEM_RESOURCES), dwError);
    const std::string sRefused = EventName(vEvents.size());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, CreateMutexA(nullptr, FALSE, "QxzTest_Full_mutex"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_SYSTEM_RESOURCES), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, OpenEventA(EVENT_ALL_ACCESS, FALSE, sRefused.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

    // An object in the table still opens as itself.
    for (size_t nIndex : {size_t{0}, vEvents.size() - 1})
    {
        SetLastError(0xdeadbeef);
        HANDLE hAgain = CreateEventA(nullptr, TRUE, FALSE, EventName(nIndex).c_str());
        ASSERT_NE(nullptr, hAgain) << EventName(nIndex);
        EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
        EXPECT_EQ(nIndex == 0 ? WAIT_OBJECT_0 : WAIT_TIMEOUT, WaitForSingleObject(hAgain, 0)) << EventName(nIndex);
        CloseHandle(hAgain);
    }

    CloseHandle(vEvents.back());
    vEvents.pop_back();
    SetLastError(0xdeadbeef);
    HANDLE hNew = CreateEventA(nullptr, TRUE, FALSE, sRefused.c_str());
    EXPECT_NE(nullptr, hNew);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    vEvents.push_back(hNew);
    for (HANDLE hEvent : vEvents)
        CloseHandle(hEvent);
}

} // namespace
