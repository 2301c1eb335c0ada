// A program may use the emulated machine from its own static initialisers,
// before the layer's files have had their globals constructed: what it
// opened then must still be there once main runs.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/posix/machine/machine_root.h"
#include "platform/win32.h"

namespace
{

struct EarlyUser
{
    std::string sRoot;
    HKEY hKey = nullptr;
    HANDLE hEvent = nullptr;

    EarlyUser()
    {
        char szRoot[] = "/tmp/qxz-static-init-XXXXXX";
        if (mkdtemp(szRoot) == nullptr)
            return;
        sRoot = szRoot;
        setenv("QXZ_MACHINE_ROOT", szRoot, 1);
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Early", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &hKey, nullptr);
        hEvent = CreateEventA(nullptr, TRUE, FALSE, "QxzEarlyEvent");
    }
};

const EarlyUser g_EarlyUser;

TEST(StaticInitialisation, WhatWasOpenedBeforeMainStaysUsable)
{
    ASSERT_FALSE(g_EarlyUser.sRoot.empty());
    EXPECT_EQ(qxz::posix::MachineRoot(), g_EarlyUser.sRoot);
    ASSERT_NE(g_EarlyUser.hKey, nullptr);
    EXPECT_EQ(RegSetValueExA(g_EarlyUser.hKey, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(g_EarlyUser.hKey), ERROR_SUCCESS);
    ASSERT_NE(g_EarlyUser.hEvent, nullptr);
    EXPECT_TRUE(SetEvent(g_EarlyUser.hEvent));
    EXPECT_EQ(WaitForSingleObject(g_EarlyUser.hEvent, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(g_EarlyUser.hEvent));
}

} // namespace
