// Conformance of the registry calls: results, codes and what they leave
// behind, the same natively (our layer) and under Wine (the real thing).
// Registry calls return their code and must not touch the last error.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/support/test_machine.h"

namespace
{

constexpr DWORD kSentinel = 0xdeadbeef;

std::string Bytes(const char* pszData, size_t cb)
{
    return std::string(pszData, cb);
}

class Registry : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_sPath = std::string("SOFTWARE\\QxzConformance\\") +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                  std::to_string(GetCurrentProcessId());
        qxz::test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, m_sPath);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, m_sPath.c_str(), 0, nullptr,
                                                 REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &m_hKey, nullptr));
    }
    void TearDown() override
    {
        if (m_hKey != nullptr)
            RegCloseKey(m_hKey);
        qxz::test::DeleteRegistryTree(HKEY_LOCAL_MACHINE, m_sPath);
        HKEY hConformance = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS, &hConformance) == ERROR_SUCCESS)
        {
            RegDeleteKeyA(hConformance, "QxzConformance"); // only once it is empty
            RegCloseKey(hConformance);
        }
    }

    void Set(const char* pszName, DWORD dwType, const std::string& sData)
    {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(m_hKey, pszName, 0, dwType, reinterpret_cast<const BYTE*>(sData.data()),
                                                static_cast<DWORD>(sData.size())));
    }

    // The value as stored: type and bytes, read with a buffer of its size.
    LONG Query(HKEY hKey, const char* pszName, DWORD* pdwType, std::string* psData)
    {
        DWORD cbData = 0;
        LONG lResult = RegQueryValueExA(hKey, pszName, nullptr, pdwType, nullptr, &cbData);
        if (lResult != ERROR_SUCCESS)
            return lResult;
        std::vector<BYTE> vData(cbData + 1);
        lResult = RegQueryValueExA(hKey, pszName, nullptr, nullptr, vData.data(), &cbData);
        psData->assign(reinterpret_cast<const char*>(vData.data()), cbData);
        return lResult;
    }

    std::vector<std::string> SubkeyNames(HKEY hKey)
    {
        std::vector<std::string> vNames;
        char szName[256];
        for (DWORD dwIndex = 0;; ++dwIndex)
        {
            DWORD cchName = sizeof szName;
            LONG lResult = RegEnumKeyExA(hKey, dwIndex, szName, &cchName, nullptr, nullptr, nullptr, nullptr);
            if (lResult != ERROR_SUCCESS)
            {
                EXPECT_EQ(ERROR_NO_MORE_ITEMS, lResult);
                return vNames;
            }
            EXPECT_EQ(strlen(szName), cchName);
            vNames.push_back(szName);
        }
    }

    HKEY Open(const std::string& sSubKey, REGSAM samDesired)
    {
        HKEY hKey = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(m_hKey, sSubKey.c_str(), 0, samDesired, &hKey)) << sSubKey;
        return hKey;
    }

    std::string m_sPath;
    HKEY m_hKey = nullptr;
    qxz::test::TestMachine m_machine;
};

TEST_F(Registry, OpeningAMissingKeyFailsWithFileNotFound)
{
    HKEY hKey = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
    SetLastError(kSentinel);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(m_hKey, "Missing", 0, KEY_READ, &hKey));
    EXPECT_EQ(nullptr, hKey);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(m_hKey, "Missing\\Below", 0, KEY_READ, &hKey));
    EXPECT_EQ(kSentinel, GetLastError());
}

TEST_F(Registry, CreatingMakesEveryMissingParentAndTellsTheDisposition)
{
    HKEY hKey = nullptr;
    DWORD dwDisposition = 0;
    SetLastError(kSentinel);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(m_hKey, "A\\B\\C", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                                             &hKey, &dwDisposition));
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), dwDisposition);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
    EXPECT_EQ(kSentinel, GetLastError());

    for (const char* pszPath : {"A", "A\\B", "A\\B\\C", "a\\b\\c"})
        RegCloseKey(Open(pszPath, KEY_READ));

    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(m_hKey, "a\\B\\c", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                                             &hKey, &dwDisposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), dwDisposition);
    RegCloseKey(hKey);
    // A key keeps the case it was created with.
    EXPECT_EQ(std::vector<std::string>{"A"}, SubkeyNames(m_hKey));
}

TEST_F(Registry, PathsWithALeadingBackslashAreRefusedOthersTolerated)
{
    HKEY hKey = nullptr;
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegCreateKeyExA(m_hKey, "\\Lead", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                                  nullptr, &hKey, nullptr));
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegOpenKeyExA(HKEY_LOCAL_MACHINE, ("\\" + m_sPath).c_str(), 0, KEY_READ, &hKey));
    EXPECT_EQ(std::vector<std::string>{}, SubkeyNames(m_hKey));

    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(m_hKey, "X\\\\Y\\", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                             nullptr, &hKey, nullptr));
    RegCloseKey(hKey);
    RegCloseKey(Open("X\\Y", KEY_READ));
    RegCloseKey(Open("X\\Y\\", KEY_READ));
    HKEY hSame = Open("", KEY_READ);
    EXPECT_NE(m_hKey, hSame);
    RegCloseKey(hSame);
}

TEST_F(Registry, ReservedMustBeZeroToCreate)
{
    HKEY hKey = nullptr;
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegCreateKeyExA(m_hKey, "R", 1, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &hKey, nullptr));
    EXPECT_EQ(std::vector<std::string>{}, SubkeyNames(m_hKey));
}

TEST_F(Registry, QueryingReportsSizeTypeAndMoreData)
{
    Set("Text", REG_SZ, Bytes("hello", 6));
    DWORD dwType = 0;
    DWORD cbData = 0;
    SetLastError(kSentinel);
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(m_hKey, "Text", nullptr, &dwType, nullptr, &cbData));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);
    EXPECT_EQ(6u, cbData);

    char szData[16] = "xxxxxxxxxxxxxxx";
    cbData = 3;
    dwType = 0;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegQueryValueExA(m_hKey, "Text", nullptr, &dwType, reinterpret_cast<BYTE*>(szData), &cbData));
    EXPECT_EQ(6u, cbData);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);

    cbData = 6;
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(m_hKey, "text", nullptr, nullptr, reinterpret_cast<BYTE*>(szData), &cbData));
    EXPECT_EQ(6u, cbData);
    EXPECT_STREQ("hello", szData);

    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(m_hKey, "Text", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegQueryValueExA(m_hKey, "Text", nullptr, nullptr, reinterpret_cast<BYTE*>(szData), nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(m_hKey, "Missing", nullptr, nullptr, nullptr, &cbData));
    EXPECT_EQ(kSentinel, GetLastError());
}

TEST_F(Registry, TheDefaultValueHasTheEmptyName)
{
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(m_hKey, nullptr, nullptr, nullptr, nullptr, nullptr));
    Set(nullptr, REG_SZ, Bytes("dflt", 5));
    DWORD dwType = 0;
    std::string sData;
    EXPECT_EQ(ERROR_SUCCESS, Query(m_hKey, "", &dwType, &sData));
    EXPECT_EQ(Bytes("dflt", 5), sData);
}

struct StoredCase
{
    const char* pszName;
    DWORD dwType;
    std::string sData;
};

TEST_F(Registry, DataIsKeptByteForByteWithItsType)
{
    const StoredCase kCases[] = {
        {"empty string", REG_SZ, Bytes("", 1)},
        {"no bytes", REG_SZ, ""},
        {"expand", REG_EXPAND_SZ, Bytes("%TEMP%\\x", 9)},
        {"multi", REG_MULTI_SZ, Bytes("one\0two\0", 9)},
        {"dword", REG_DWORD, Bytes("\xb4\0\0\0", 4)},
        {"binary", REG_BINARY, Bytes("\0\x01\xff\0", 4)},
        {"no binary", REG_BINARY, ""},
    };
    for (const StoredCase& tCase : kCases)
        Set(tCase.pszName, tCase.dwType, tCase.sData);
    for (const StoredCase& tCase : kCases)
    {
        SCOPED_TRACE(tCase.pszName);
        DWORD dwType = 0;
        std::string sData = "untouched";
        EXPECT_EQ(ERROR_SUCCESS, Query(m_hKey, tCase.pszName, &dwType, &sData));
        EXPECT_EQ(tCase.dwType, dwType);
        EXPECT_EQ(tCase.sData, sData);
    }
}

TEST_F(Registry, AStringWithoutItsNulIsReadAsStoredAndTerminatedWhenThereIsRoom)
{
    // The byte after the counted ones is not a NUL: Windows counts a NUL
    // that follows the data as if the caller had forgotten it.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(m_hKey, "Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcd"), 3));
    char achData[8];
    memset(achData, 'x', sizeof achData);
    DWORD cbData = sizeof achData;
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(m_hKey, "Bare", nullptr, nullptr, reinterpret_cast<BYTE*>(achData), &cbData));
    EXPECT_EQ(3u, cbData);
    EXPECT_EQ(0, memcmp(achData, "abc", 4));

    memset(achData, 'x', sizeof achData);
    cbData = 3;
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(m_hKey, "Bare", nullptr, nullptr, reinterpret_cast<BYTE*>(achData), &cbData));
    EXPECT_EQ(0, memcmp(achData, "abcx", 4));
}

TEST_F(Registry, ValueNamesIgnoreCaseAndKeepTheFirstSpelling)
{
    Set("Val", REG_SZ, Bytes("one", 4));
    Set("VAL", REG_SZ, Bytes("three", 6));
    char szName[16];
    DWORD cchName = sizeof szName;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(m_hKey, 0, szName, &cchName, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ("Val", szName);
    cchName = sizeof szName;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueA(m_hKey, 1, szName, &cchName, nullptr, nullptr, nullptr, nullptr));
    DWORD dwType = 0;
    std::string sData;
    EXPECT_EQ(ERROR_SUCCESS, Query(m_hKey, "val", &dwType, &sData));
    EXPECT_EQ(Bytes("three", 6), sData);
}

TEST_F(Registry, EnumeratingValuesGivesNameTypeDataAndMoreData)
{
    Set("Second", REG_DWORD, Bytes("\x07\0\0\0", 4));
    Set("First", REG_SZ, Bytes("foobar", 7));
    std::vector<std::string> vNames;
    for (DWORD dwIndex = 0;; ++dwIndex)
    {
        char szName[32];
        BYTE abData[32];
        DWORD cchName = sizeof szName;
        DWORD cbData = sizeof abData;
        DWORD dwType = 0;
        SetLastError(kSentinel);
        LONG lResult = RegEnumValueA(m_hKey, dwIndex, szName, &cchName, nullptr, &dwType, abData, &cbData);
        EXPECT_EQ(kSentinel, GetLastError());
        if (lResult == ERROR_NO_MORE_ITEMS)
            break;
        ASSERT_EQ(ERROR_SUCCESS, lResult);
        EXPECT_EQ(strlen(szName), cchName);
        if (strcmp(szName, "First") == 0)
        {
            EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);
            EXPECT_EQ(Bytes("foobar", 7), Bytes(reinterpret_cast<char*>(abData), cbData));
        }
        else
        {
            EXPECT_EQ(static_cast<DWORD>(REG_DWORD), dwType);
            EXPECT_EQ(Bytes("\x07\0\0\0", 4), Bytes(reinterpret_cast<char*>(abData), cbData));
        }
        vNames.push_back(szName);
    }
    std::sort(vNames.begin(), vNames.end());
    EXPECT_EQ((std::vector<std::string>{"First", "Second"}), vNames);

    // Find First's index, then overflow its data, then its name.
    DWORD dwFirst = 0;
    for (;; ++dwFirst)
    {
        char szName[32];
        DWORD cchName = sizeof szName;
        ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(m_hKey, dwFirst, szName, &cchName, nullptr, nullptr, nullptr, nullptr));
        if (strcmp(szName, "First") == 0)
            break;
    }
    char szName[32];
    BYTE abData[32];
    DWORD cchName = sizeof szName;
    DWORD cbData = 2;
    DWORD dwType = 0;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(m_hKey, dwFirst, szName, &cchName, nullptr, &dwType, abData, &cbData));
    EXPECT_EQ(7u, cbData);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);
    EXPECT_EQ(sizeof szName, cchName);

    cchName = 5; // "First" needs 6 with its NUL
    cbData = sizeof abData;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(m_hKey, dwFirst, szName, &cchName, nullptr, nullptr, abData, &cbData));
    EXPECT_EQ(5u, cchName);

    cchName = sizeof szName;
    cbData = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumValueA(m_hKey, dwFirst, szName, &cchName, nullptr, nullptr, nullptr, &cbData));
    EXPECT_EQ(7u, cbData);
}

TEST_F(Registry, ValuesEnumerateInTheOrderTheyWereMade)
{
    if (!qxz::test::IsEmulatedMachine())
    {
        GTEST_SKIP() << "Wine enumerates values sorted by name; Windows in the order they were made";
    }
    for (const char* pszName : {"zeta", "Alpha", "mid"})
        Set(pszName, REG_SZ, Bytes("", 1));
    Set("ALPHA", REG_SZ, Bytes("again", 6)); // replaced in place
    std::vector<std::string> vNames;
    char szName[16];
    DWORD cchName = sizeof szName;
    for (DWORD dwIndex = 0;
         RegEnumValueA(m_hKey, dwIndex, szName, &cchName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++dwIndex, cchName = sizeof szName)
    {
        vNames.push_back(szName);
    }
    EXPECT_EQ((std::vector<std::string>{"zeta", "Alpha", "mid"}), vNames);
}

TEST_F(Registry, SubkeysEnumerateSortedIgnoringCase)
{
    for (const char* pszName : {"Z", "A_", "AB", "a0"})
    {
        HKEY hKey = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(m_hKey, pszName, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                                 nullptr, &hKey, nullptr));
        RegCloseKey(hKey);
    }
    SetLastError(kSentinel);
    EXPECT_EQ((std::vector<std::string>{"a0", "A_", "AB", "Z"}), SubkeyNames(m_hKey));

    char szName[8] = "xxxxxxx";
    DWORD cchName = 2; // "a0" needs 3 with its NUL
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExA(m_hKey, 0, szName, &cchName, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(2u, cchName);
    EXPECT_STREQ("xxxxxxx", szName);
    EXPECT_EQ(kSentinel, GetLastError());
}

// What a reader sizes its buffers by: counts, the longest names in
// characters without the NUL, the largest data in bytes.
struct KeyInfo
{
    DWORD cSubKeys = kSentinel;
    DWORD cchMaxSubKey = kSentinel;
    DWORD cValues = kSentinel;
    DWORD cchMaxValueName = kSentinel;
    DWORD cbMaxValue = kSentinel;
    bool operator==(const KeyInfo& tOther) const
    {
        return cSubKeys == tOther.cSubKeys && cchMaxSubKey == tOther.cchMaxSubKey && cValues == tOther.cValues &&
               cchMaxValueName == tOther.cchMaxValueName && cbMaxValue == tOther.cbMaxValue;
    }
};

std::ostream& operator<<(std::ostream& out, const KeyInfo& tInfo)
{
    return out << tInfo.cSubKeys << " subkeys (longest " << tInfo.cchMaxSubKey << "), " << tInfo.cValues
               << " values (longest name " << tInfo.cchMaxValueName << ", data " << tInfo.cbMaxValue << ")";
}

LONG QueryInfo(HKEY hKey, KeyInfo* ptInfo)
{
    return RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, &ptInfo->cSubKeys, &ptInfo->cchMaxSubKey, nullptr,
                            &ptInfo->cValues, &ptInfo->cchMaxValueName, &ptInfo->cbMaxValue, nullptr, nullptr);
}

TEST_F(Registry, QueryingAKeyTellsItsCountsAndLongestNamesAndData)
{
    KeyInfo tInfo;
    ASSERT_EQ(ERROR_SUCCESS, QueryInfo(m_hKey, &tInfo));
    EXPECT_EQ((KeyInfo{0, 0, 0, 0, 0}), tInfo);

    for (const char* pszName : {"Short", "A Longer Name"})
    {
        HKEY hKey = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(m_hKey, pszName, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                                 nullptr, &hKey, nullptr));
        RegCloseKey(hKey);
    }
    Set("v", REG_SZ, Bytes("four", 5));
    Set("LongerValueName", REG_BINARY, std::string(17, '\x01'));
    Set("", REG_DWORD, Bytes("\x05\0\0\0", 4));
    tInfo = KeyInfo();
    SetLastError(kSentinel);
    ASSERT_EQ(ERROR_SUCCESS, QueryInfo(m_hKey, &tInfo));
    EXPECT_EQ((KeyInfo{2, 13, 3, 15, 17}), tInfo);
    // Every out argument may be left out.
    EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(m_hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(kSentinel, GetLastError());
}

TEST_F(Registry, QueryingAKeyTakesTheRightToQueryItsValues)
{
    if (!qxz::test::IsEmulatedMachine())
    {
        GTEST_SKIP() << "Wine answers without the right; Windows asks for KEY_QUERY_VALUE";
    }
    HKEY hEnumerate = Open("", KEY_ENUMERATE_SUB_KEYS);
    HKEY hQuery = Open("", KEY_QUERY_VALUE);
    KeyInfo tInfo;
    SetLastError(kSentinel);
    EXPECT_EQ(ERROR_ACCESS_DENIED, QueryInfo(hEnumerate, &tInfo));
    EXPECT_EQ(ERROR_SUCCESS, QueryInfo(hQuery, &tInfo));
    EXPECT_EQ(kSentinel, GetLastError());
    RegCloseKey(hEnumerate);
    RegCloseKey(hQuery);
}

TEST_F(Registry, AKeyOpenedForReadingCannotBeWritten)
{
    Set("Kept", REG_SZ, Bytes("v", 2));
    HKEY hRead = Open("", KEY_READ);
    SetLastError(kSentinel);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExA(hRead, "New", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(hRead, "Kept"));
    EXPECT_EQ(kSentinel, GetLastError());
    DWORD dwType = 0;
    std::string sData;
    EXPECT_EQ(ERROR_SUCCESS, Query(hRead, "Kept", &dwType, &sData));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Query(hRead, "New", &dwType, &sData));
    RegCloseKey(hRead);
}

TEST_F(Registry, DeletingValuesAndKeys)
{
    Set("Gone", REG_SZ, Bytes("v", 2));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(m_hKey, "GONE"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(m_hKey, "Gone"));

    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(m_hKey, "Parent\\Child", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                             nullptr, &hKey, nullptr));
    RegCloseKey(hKey);
    SetLastError(kSentinel);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(m_hKey, "Parent"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(m_hKey, "Parent\\Nobody"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(m_hKey, "parent\\child"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(m_hKey, "Parent"));
    EXPECT_EQ(kSentinel, GetLastError());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(m_hKey, "Parent", 0, KEY_READ, &hKey));
}

TEST_F(Registry, AKeyDeletedBehindAnOpenHandle)
{
    HKEY hChild = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(m_hKey, "Doomed", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                             nullptr, &hChild, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(m_hKey, "Doomed"));
    EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExA(hChild, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(hChild, "v", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(hChild));
    EXPECT_EQ(std::vector<std::string>{}, SubkeyNames(m_hKey));
}

TEST_F(Registry, AClosedHandleIsInvalidForEveryCall)
{
    HKEY hKey = Open("", KEY_ALL_ACCESS);
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(hKey));
    HKEY hResult = nullptr;
    char szName[8];
    DWORD cchName = sizeof szName;
    DWORD cbData = 0;
    SetLastError(kSentinel);
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(hKey));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExA(hKey, "x", 0, KEY_READ, &hResult));
    EXPECT_EQ(ERROR_INVALID_HANDLE,
              RegCreateKeyExA(hKey, "x", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &hResult, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExA(hKey, "x", nullptr, nullptr, nullptr, &cbData));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegSetValueExA(hKey, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegDeleteValueA(hKey, "x"));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegDeleteKeyA(hKey, "x"));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegEnumKeyExA(hKey, 0, szName, &cchName, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegEnumValueA(hKey, 0, szName, &cchName, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegFlushKey(hKey));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryInfoKeyA(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                     nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(kSentinel, GetLastError());
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));
}

TEST_F(Registry, FlushingAKeySucceedsAndKeepsItsValues)
{
    Set("Durable", REG_DWORD, Bytes("\x01\0\0\0", 4));
    SetLastError(kSentinel);
    EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(m_hKey));
    EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(kSentinel, GetLastError());
    HKEY hAgain = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, m_sPath.c_str(), 0, KEY_READ, &hAgain));
    DWORD dwType = 0;
    std::string sData;
    EXPECT_EQ(ERROR_SUCCESS, Query(hAgain, "Durable", &dwType, &sData));
    EXPECT_EQ(Bytes("\x01\0\0\0", 4), sData);
    RegCloseKey(hAgain);
}

TEST_F(Registry, TheSpoolerFindsTheLocalPortsOfAFreshInstallation)
{
    HKEY hPorts = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports",
                                           0, KEY_READ, &hPorts));
    DWORD dwType = 0;
    std::string sData;
    EXPECT_EQ(ERROR_SUCCESS, Query(hPorts, "LPT1:", &dwType, &sData));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);
    EXPECT_EQ(ERROR_SUCCESS, Query(hPorts, "FILE:", &dwType, &sData));
    RegCloseKey(hPorts);
}

} // namespace
