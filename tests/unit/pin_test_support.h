// Helpers of the Pin's and the install type's tests: error lines of their
// modules, the Glue key's shared values, the installer's kernel objects.
#ifndef QXZ_TESTS_UNIT_PIN_TEST_SUPPORT_H
#define QXZ_TESTS_UNIT_PIN_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/support/test_machine.h"
#include "tests/unit/qxzglue_test_support.h"

namespace qxz::test
{

inline const std::string kGlueKey = "SOFTWARE\\Vorquelle\\QXZ\\Glue";

inline std::string PdiError(const std::string& sCondition)
{
    return ErrorLine("pdi_utils.cpp", sCondition);
}
inline std::string InstallError(const std::string& sCondition)
{
    return ErrorLine("pin_install.cpp", sCondition);
}
inline std::string MainError(const std::string& sCondition)
{
    return ErrorLine("pin_main.cpp", sCondition);
}

// The line that a failed registry read adds when its failure is logged.
inline std::string RegReadFailed(const std::string& sPath, const std::string& sValueName, LONG lResult)
{
    return "RegGetStringValue (" + sPath + ", " + sValueName + ") Failed, lResult = " + std::to_string(lResult);
}

// Values of the Glue key itself, which every driver shares: set for one test
// and removed afterwards (the registry under Wine outlives the test).
class GlueKeyValues
{
public:
    GlueKeyValues()
    {
        HKEY hKey = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kGlueKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                  nullptr, &hKey, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(hKey);
        for (const char* pszName : kNames)
            Delete(pszName);
    }
    ~GlueKeyValues()
    {
        for (const char* pszName : kNames)
            Delete(pszName);
    }
    GlueKeyValues(const GlueKeyValues&) = delete;
    GlueKeyValues& operator=(const GlueKeyValues&) = delete;

    void Set(const char* pszName, const std::string& sText)
    {
        SetRawValue(kGlueKey, pszName, REG_SZ, sText + '\0');
    }

private:
    static void Delete(const char* pszName)
    {
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGlueKey.c_str(), 0, KEY_SET_VALUE, &hKey) != ERROR_SUCCESS)
            return;
        RegDeleteValueA(hKey, pszName);
        RegCloseKey(hKey);
    }

    static constexpr const char* kNames[] = {"PreloadPath", "RunPreloadInstaller", "OverrideLanguage"};
};

// A named manual-reset event created by the test, as another process of the
// installation would create it.
class TestEvent
{
public:
    TestEvent(const char* pszName, bool fSignalled)
        : m_hEvent(CreateEventA(nullptr, TRUE, fSignalled ? TRUE : FALSE, pszName))
    {
        EXPECT_NE(m_hEvent, nullptr) << pszName;
    }
    ~TestEvent()
    {
        if (m_hEvent != nullptr)
            CloseHandle(m_hEvent);
    }
    TestEvent(const TestEvent&) = delete;
    TestEvent& operator=(const TestEvent&) = delete;

    bool IsSignalled() const
    {
        return WaitForSingleObject(m_hEvent, 0) == WAIT_OBJECT_0;
    }

private:
    HANDLE m_hEvent;
};

// Fault injection and the machine's version exist only on the emulated machine.
#define QXZ_SKIP_UNLESS_EMULATED()                                                                                     \
    do                                                                                                                 \
    {                                                                                                                  \
        if (!::qxz::test::IsEmulatedMachine())                                                                         \
            GTEST_SKIP() << "needs the emulated machine (fault injection or version setting)";                         \
    } while (0)

} // namespace qxz::test

#endif // QXZ_TESTS_UNIT_PIN_TEST_SUPPORT_H
