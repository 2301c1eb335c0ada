// RegGetStringValue, RegSetStringValue, RegSetDwordValue: what they store and
// read, and the exact lines they log on each kind of failure.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qxzglue/qxzglue_registry.h"
#include "tests/support/scoped_faults.h"
#include "tests/support/test_machine.h"
#include "tests/unit/qxzglue_test_support.h"

namespace
{

using qxz::test::IsEmulatedMachine;
using qxz::test::KeyExists;
using qxz::test::LoggedMachineTest;
using qxz::test::QueryRawValue;
using qxz::test::RawValue;
using qxz::test::RegistryError;
using qxz::test::ScopedFaults;
using qxz::test::ScratchDriverKey;
using qxz::test::SetRawValue;

using Lines = std::vector<std::string>;

const char kUnchanged[] = "value before the call";

// A root that is neither a predefined key nor an open one: every registry
// call refuses it with ERROR_INVALID_HANDLE, on Windows as on the emulated
// machine.
const HKEY khkBogus = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(0x80000055)));

std::string Text(const CQxCiString& sText)
{
    return std::string(sText.c_str(), sText.length());
}

std::string DwordBytes(DWORD dwValue)
{
    return std::string(reinterpret_cast<const char*>(&dwValue), 4);
}

class RegistryTest : public LoggedMachineTest
{
protected:
    // Reads m_tKey's value with the code under test into m_sValue.
    bool Get(const char* pszName, bool fLogFailure)
    {
        return RegGetStringValue(m_tKey.Path().c_str(), pszName, &m_sValue, fLogFailure, HKEY_LOCAL_MACHINE);
    }

    ScratchDriverKey m_tKey;
    CQxCiString m_sValue = kUnchanged;
};

// ---- Reading ----------------------------------------------------------------------

TEST_F(RegistryTest, ReadsWhatWasWritten)
{
    ASSERT_TRUE(RegSetStringValue(m_tKey.Path().c_str(), "GluePath", "C:\\Program Files\\Glue\\qxzglu14.dll", true,
                                  HKEY_LOCAL_MACHINE));

    EXPECT_TRUE(Get("gluepath", true));

    EXPECT_EQ(Text(m_sValue), "C:\\Program Files\\Glue\\qxzglu14.dll");
    EXPECT_EQ(m_tLog.Lines(), Lines{});
}

TEST_F(RegistryTest, StringDataEndsAtTheFirstNulOrAtTheEndOfTheData)
{
    const struct
    {
        std::string sData;
        const char* pszValue;
    } kCases[] = {
        {std::string("text\0", 5), "text"},
        {std::string("\0", 1), ""},
        {std::string("ab\0cd\0", 6), "ab"},
        {"no terminator", "no terminator"},
    };
    for (const auto& tCase : kCases)
    {
        SCOPED_TRACE(tCase.pszValue);
        SetRawValue(m_tKey.Path(), "Value", REG_SZ, tCase.sData);
        m_sValue = kUnchanged;

        EXPECT_TRUE(Get("Value", true));

        EXPECT_EQ(Text(m_sValue), tCase.pszValue);
    }
    EXPECT_EQ(m_tLog.Lines(), Lines{});
}

TEST_F(RegistryTest, ArgumentChecksFailInOrderWithoutTheResultLine)
{
    const std::string sPath = m_tKey.Path();
    const struct
    {
        const char* pszPath;
        const char* pszValueName;
        CQxCiString* psValueData;
        HKEY hkRoot;
        const char* pszCondition;
    } kCases[] = {
        {"", "", nullptr, nullptr, "sPath.empty()"},
        {sPath.c_str(), "", nullptr, nullptr, "sValueName.empty()"},
        {sPath.c_str(), "Value", nullptr, nullptr, "psValueData == 0"},
        {sPath.c_str(), "Value", &m_sValue, nullptr, "hkRoot == 0"},
    };
    Lines vExpected;
    for (const auto& tCase : kCases)
    {
        EXPECT_FALSE(RegGetStringValue(tCase.pszPath, tCase.pszValueName, tCase.psValueData, true, tCase.hkRoot))
            << tCase.pszCondition;
        vExpected.push_back(RegistryError(tCase.pszCondition));
    }
    EXPECT_EQ(m_tLog.Lines(), vExpected);
    EXPECT_EQ(Text(m_sValue), kUnchanged);
}

TEST_F(RegistryTest, MissingValueIsReportedOnlyOnRequest)
{
    SetRawValue(m_tKey.Path(), "Other", REG_SZ, std::string("x\0", 2));

    EXPECT_FALSE(Get("Missing", false));
    EXPECT_EQ(m_tLog.Lines(), Lines{});

    EXPECT_FALSE(Get("Missing", true));
    EXPECT_EQ(m_tLog.Lines(), Lines{"RegGetStringValue (" + m_tKey.Path() + ", Missing) Failed, lResult = 2"});
    EXPECT_EQ(Text(m_sValue), kUnchanged);
}

TEST_F(RegistryTest, MissingKeyIsAnErrorAndItsResultIsReportedOnRequest)
{
    const std::string sCondition = RegistryError("lResult != ERROR_SUCCESS");

    EXPECT_FALSE(Get("Value", false));
    EXPECT_EQ(m_tLog.Lines(), Lines{sCondition});

    EXPECT_FALSE(Get("Value", true));
    EXPECT_EQ(m_tLog.Lines(),
              (Lines{sCondition, sCondition, "RegGetStringValue (" + m_tKey.Path() + ", Value) Failed, lResult = 2"}));
    EXPECT_EQ(Text(m_sValue), kUnchanged);
}

TEST_F(RegistryTest, RootThatIsNoKeyFailsToOpen)
{
    EXPECT_FALSE(RegGetStringValue(m_tKey.Path().c_str(), "Value", &m_sValue, true, khkBogus));

    const Lines vLines = m_tLog.Lines();
    ASSERT_EQ(vLines.size(), 2u);
    EXPECT_EQ(vLines[0], RegistryError("lResult != ERROR_SUCCESS"));
    EXPECT_EQ(vLines[1], "RegGetStringValue (" + m_tKey.Path() +
                             ", Value) Failed, lResult = " + std::to_string(ERROR_INVALID_HANDLE));
}

TEST_F(RegistryTest, ValuesOfOtherTypesAreRefused)
{
    const struct
    {
        DWORD dwType;
        std::string sData;
    } kCases[] = {
        {REG_EXPAND_SZ, std::string("%TEMP%\0", 7)},
        {REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
        {REG_DWORD, DwordBytes(1)},
        {REG_BINARY, "bytes"},
    };
    Lines vExpected;
    for (const auto& tCase : kCases)
    {
        SetRawValue(m_tKey.Path(), "Value", tCase.dwType, tCase.sData);

        EXPECT_FALSE(Get("Value", true)) << "type " << tCase.dwType;

        vExpected.push_back(RegistryError("dwType != REG_SZ"));
    }
    EXPECT_EQ(m_tLog.Lines(), vExpected);
    EXPECT_EQ(Text(m_sValue), kUnchanged);
}

TEST_F(RegistryTest, StringValueWithoutDataIsRefused)
{
    SetRawValue(m_tKey.Path(), "Value", REG_SZ, "");

    EXPECT_FALSE(Get("Value", true));

    EXPECT_EQ(m_tLog.Lines(), Lines{RegistryError("cbData == 0")});
    EXPECT_EQ(Text(m_sValue), kUnchanged);
}

TEST_F(RegistryTest, FailedSecondQueryIsAnErrorWithItsResult)
{
    if (!IsEmulatedMachine())
        GTEST_SKIP() << "needs an injected fault";
    // The value's name is unique to this test, so the fault counts its calls alone.
    const std::string sValueName = m_tKey.DriverName();
    SetRawValue(m_tKey.Path(), sValueName.c_str(), REG_SZ, std::string("text\0", 5));
    ScopedFaults tFaults("RegQueryValueExA@" + sValueName + "#2=" + std::to_string(ERROR_ACCESS_DENIED));

    EXPECT_FALSE(Get(sValueName.c_str(), true));

    EXPECT_EQ(m_tLog.Lines(),
              (Lines{RegistryError("lResult != ERROR_SUCCESS"),
                     "RegGetStringValue (" + m_tKey.Path() + ", " + sValueName + ") Failed, lResult = 5"}));
    EXPECT_EQ(Text(m_sValue), kUnchanged);
}

// ---- Writing ----------------------------------------------------------------------

TEST_F(RegistryTest, StringIsStoredWithItsNulAndEveryMissingKeyIsCreated)
{
    const std::string sDeepPath = m_tKey.Path() + "\\Sub\\Deeper";

    EXPECT_TRUE(RegSetStringValue(sDeepPath.c_str(), "pinpathname", "Z:\\tmp\\qxzpin14.exe", true, HKEY_LOCAL_MACHINE));

    EXPECT_TRUE(KeyExists(m_tKey.Path() + "\\Sub"));
    const RawValue tValue = QueryRawValue(sDeepPath, "pinpathname");
    EXPECT_EQ(tValue.lResult, ERROR_SUCCESS);
    EXPECT_EQ(tValue.dwType, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(tValue.sData, std::string("Z:\\tmp\\qxzpin14.exe\0", 20));
    EXPECT_EQ(m_tLog.Lines(), Lines{});
}

TEST_F(RegistryTest, DwordIsStoredAsFourBytesZeroIncluded)
{
    for (const DWORD dwValue : {DWORD(0), DWORD(180000), DWORD(0xFFFFFFFF)})
    {
        EXPECT_TRUE(RegSetDwordValue(m_tKey.Path().c_str(), "pintimeout", dwValue, true, HKEY_LOCAL_MACHINE));

        const RawValue tValue = QueryRawValue(m_tKey.Path(), "pintimeout");
        EXPECT_EQ(tValue.dwType, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(tValue.sData, DwordBytes(dwValue));
    }
    EXPECT_EQ(m_tLog.Lines(), Lines{});
}

TEST_F(RegistryTest, StringWriteChecksFailInOrderAndTouchNothing)
{
    const std::string sPath = m_tKey.Path();
    const struct
    {
        const char* pszPath;
        const char* pszValueName;
        const char* pszValueData;
        HKEY hkRoot;
        const char* pszCondition;
    } kCases[] = {
        {"", "", "", nullptr, "sPath.empty()"},
        {sPath.c_str(), "", "", nullptr, "sValueName.empty()"},
        {sPath.c_str(), "Value", "", HKEY_LOCAL_MACHINE, "sValueData.empty()"},
        {sPath.c_str(), "Value", "data", nullptr, "hkRoot == 0"},
    };
    Lines vExpected;
    for (const auto& tCase : kCases)
    {
        EXPECT_FALSE(RegSetStringValue(tCase.pszPath, tCase.pszValueName, tCase.pszValueData, true, tCase.hkRoot))
            << tCase.pszCondition;
        vExpected.push_back(RegistryError(tCase.pszCondition));
    }
    EXPECT_EQ(m_tLog.Lines(), vExpected);
    EXPECT_FALSE(KeyExists(sPath));
}

TEST_F(RegistryTest, DwordWriteChecksFailInOrderAndTouchNothing)
{
    const std::string sPath = m_tKey.Path();
    const struct
    {
        const char* pszPath;
        const char* pszValueName;
        HKEY hkRoot;
        const char* pszCondition;
    } kCases[] = {
        {"", "", nullptr, "sPath.empty()"},
        {sPath.c_str(), "", nullptr, "sValueName.empty()"},
        {sPath.c_str(), "Value", nullptr, "hkRoot == 0"},
    };
    Lines vExpected;
    for (const auto& tCase : kCases)
    {
        EXPECT_FALSE(RegSetDwordValue(tCase.pszPath, tCase.pszValueName, 7, true, tCase.hkRoot)) << tCase.pszCondition;
        vExpected.push_back(RegistryError(tCase.pszCondition));
    }
    EXPECT_EQ(m_tLog.Lines(), vExpected);
    EXPECT_FALSE(KeyExists(sPath));
}

TEST_F(RegistryTest, KeyThatCannotBeCreatedIsReportedWithTheResultOnRequest)
{
    const std::string sCondition = RegistryError("lResult != ERROR_SUCCESS");
    const std::string sCode = std::to_string(ERROR_INVALID_HANDLE);

    EXPECT_FALSE(RegSetStringValue(m_tKey.Path().c_str(), "runghoul", "true", false, khkBogus));
    EXPECT_FALSE(RegSetStringValue(m_tKey.Path().c_str(), "runghoul", "true", true, khkBogus));
    EXPECT_FALSE(RegSetDwordValue(m_tKey.Path().c_str(), "pintimeout", 0xabc, false, khkBogus));
    EXPECT_FALSE(RegSetDwordValue(m_tKey.Path().c_str(), "pintimeout", 0xabc, true, khkBogus));

    EXPECT_EQ(m_tLog.Lines(),
              (Lines{sCondition, sCondition,
                     "RegSetStringValue (" + m_tKey.Path() + ", runghoul, true) Failed, lResult = " + sCode, sCondition,
                     sCondition,
                     "RegSetDwordValue (" + m_tKey.Path() + ", pintimeout, 0x00000abc) Failed, lResult = " + sCode}));
}

TEST_F(RegistryTest, RefusedWriteIsReportedAndLeavesTheCreatedKey)
{
    if (!IsEmulatedMachine())
        GTEST_SKIP() << "needs an injected fault";
    const std::string sValueName = m_tKey.DriverName();
    ScopedFaults tFaults("RegSetValueExA@" + sValueName + "=" + std::to_string(ERROR_ACCESS_DENIED));
    const std::string sCondition = RegistryError("lResult != ERROR_SUCCESS");

    EXPECT_FALSE(RegSetStringValue(m_tKey.Path().c_str(), sValueName.c_str(), "data", true, HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(RegSetDwordValue(m_tKey.Path().c_str(), sValueName.c_str(), 0xDEADBEEF, true, HKEY_LOCAL_MACHINE));

    EXPECT_EQ(
        m_tLog.Lines(),
        (Lines{sCondition, "RegSetStringValue (" + m_tKey.Path() + ", " + sValueName + ", data) Failed, lResult = 5",
               sCondition,
               "RegSetDwordValue (" + m_tKey.Path() + ", " + sValueName + ", 0xdeadbeef) Failed, lResult = 5"}));
    EXPECT_TRUE(KeyExists(m_tKey.Path()));
    EXPECT_EQ(QueryRawValue(m_tKey.Path(), sValueName.c_str()).lResult, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, FailedFlushDoesNotUndoTheWrite)
{
    if (!IsEmulatedMachine())
        GTEST_SKIP() << "needs an injected fault";
    ScopedFaults tFaults("RegFlushKey=" + std::to_string(ERROR_WRITE_FAULT));

    EXPECT_TRUE(RegSetStringValue(m_tKey.Path().c_str(), "runghoul", "true", true, HKEY_LOCAL_MACHINE));

    EXPECT_EQ(QueryRawValue(m_tKey.Path(), "runghoul").sData, std::string("true\0", 5));
    EXPECT_EQ(m_tLog.Lines(), Lines{});
}

} // namespace
