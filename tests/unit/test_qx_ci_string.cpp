#include "text/qx_ci_string.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace
{

using size_type = CQxCiString::size_type;
constexpr size_type npos = CQxCiString::npos;

static_assert(std::is_same<size_type, std::uint32_t>::value, "positions are 32-bit");
static_assert(npos == 0xFFFFFFFFu, "npos is the largest 32-bit number");
static_assert(CQxCiString::max_size() == 0xFFFFFFFDu, "the longest value is npos minus 2");

int Sign(int iValue)
{
    return (iValue > 0) - (iValue < 0);
}

// The exact stored bytes, so that a test can tell kept case from folded case.
std::string Bytes(const CQxCiString& s)
{
    return std::string(s.data(), s.length());
}

TEST(CiCharTraits, MapsOnlyAsciiSmallLettersToCapitals)
{
    for (int iByte = 0; iByte < 256; ++iByte)
    {
        const char c = static_cast<char>(iByte);
        const int iExpected = iByte >= 'a' && iByte <= 'z' ? iByte - 'a' + 'A' : iByte;
        EXPECT_EQ(CiCharTraits::to_mapped(c), static_cast<signed char>(iExpected)) << "byte " << iByte;
    }
}

TEST(CiCharTraits, OrdersMappedCharactersAsSigned)
{
    struct Case
    {
        char cLess;
        char cGreater;
    };
    const Case aCases[] = {
        {'a', '_'},    {'Z', '['},       {'z', '`'},       {'a', 'B'},
        {'\xE9', 'A'}, {'\xFF', '\x00'}, {'\x80', '\x7F'}, {'\xC9', '\xE9'},
    };
    for (const Case& tCase : aCases)
    {
        SCOPED_TRACE(testing::Message() << int(tCase.cLess) << " < " << int(tCase.cGreater));
        EXPECT_TRUE(CiCharTraits::lt(tCase.cLess, tCase.cGreater));
        EXPECT_FALSE(CiCharTraits::lt(tCase.cGreater, tCase.cLess));
        EXPECT_FALSE(CiCharTraits::eq(tCase.cLess, tCase.cGreater));
        EXPECT_EQ(CiCharTraits::compare(&tCase.cLess, &tCase.cGreater, 1), -1);
        EXPECT_EQ(CiCharTraits::compare(&tCase.cGreater, &tCase.cLess, 1), 1);
    }
}

TEST(CiCharTraits, FindsTheFirstCharacterEqualIgnoringCase)
{
    const char szRange[] = "xAbaB";
    EXPECT_EQ(CiCharTraits::find(szRange, 5, 'a'), szRange + 1);
    EXPECT_EQ(CiCharTraits::find(szRange, 5, 'B'), szRange + 2);
    EXPECT_EQ(CiCharTraits::find(szRange, 1, 'a'), nullptr);
    EXPECT_EQ(CiCharTraits::find(szRange, 0, 'x'), nullptr);
}

struct CompareCase
{
    const char* pszLeft;
    const char* pszRight;
    int iSign;
};

const CompareCase g_aCompareCases[] = {
    {"PrinterDriver", "printerdriver", 0},
    {"TRUE", "true", 0},
    {"True", "true", 0},
    {"ABC", "abc", 0},
    {"C:\\Dir\\File.INF", "c:\\dir\\file.inf", 0},
    {"", "", 0},
    {"", "a", -1},
    {"abc", "abcd", -1},
    {"ABD", "abcd", 1},
    {"a", "_", -1},
    {"Z", "[", -1},
    {"\xE9", "A", -1},
    {"\xC9", "\xE9", -1},
    {"x\xE9", "xA", -1},
};

TEST(CQxCiString, CompareAndOperatorsFollowTheCharacterRule)
{
    for (const CompareCase& tCase : g_aCompareCases)
    {
        SCOPED_TRACE(testing::Message() << '"' << tCase.pszLeft << "\" vs \"" << tCase.pszRight << '"');
        const CQxCiString sLeft(tCase.pszLeft);
        const CQxCiString sRight(tCase.pszRight);
        const bool fEqual = tCase.iSign == 0;

        EXPECT_EQ(Sign(sLeft.compare(sRight)), tCase.iSign);
        EXPECT_EQ(Sign(sRight.compare(sLeft)), -tCase.iSign);
        EXPECT_EQ(Sign(sLeft.compare(tCase.pszRight)), tCase.iSign);
        EXPECT_EQ(Sign(sRight.compare(tCase.pszLeft)), -tCase.iSign);

        EXPECT_EQ(sLeft == sRight, fEqual);
        EXPECT_EQ(sLeft == tCase.pszRight, fEqual);
        EXPECT_EQ(tCase.pszLeft == sRight, fEqual);
        EXPECT_EQ(sLeft != sRight, !fEqual);
        EXPECT_EQ(sLeft != tCase.pszRight, !fEqual);
        EXPECT_EQ(tCase.pszLeft != sRight, !fEqual);
        EXPECT_EQ(sLeft < sRight, tCase.iSign < 0);
        EXPECT_EQ(sRight<sLeft, tCase.iSign> 0);

        // Folding happens only while comparing.
        EXPECT_EQ(Bytes(sLeft), tCase.pszLeft);
        EXPECT_EQ(Bytes(sRight), tCase.pszRight);
    }
}

TEST(CQxCiString, CompareOfAPartClipsTheCountAndComparesWithTheTextLength)
{
    struct Case
    {
        const char* pszValue;
        size_type isPos;
        size_type nCount;
        const char* pText;
        size_type nTextLength;
        int iSign;
    };
    const Case aCases[] = {
        {"-PORT=USB", 1, 4, "port", 4, 0},         {"-PORT=USB", 1, 4, "port=", 4, 0},
        {"-PORT=USB", 1, 4, "port=", 5, -1},       {"-PORT=USB", 6, npos, "usb", 3, 0},
        {"-PORT=USB", 6, 100, "usc", 3, -1},       {"-PORT=USB", 9, npos, "", 0, 0},
        {"-PORT=USB", 9, 5, "a", 1, -1},           {"-PORT=USB", 0, 0, "", 0, 0},
        {"-PORT=USB", 0, npos, "-port=usb", 9, 0}, {"-PORT=USB", 0, npos, "-port", 5, 1},
    };
    for (const Case& tCase : aCases)
    {
        SCOPED_TRACE(testing::Message() << tCase.pszValue << " at " << tCase.isPos << " count " << tCase.nCount
                                        << " vs " << std::string(tCase.pText, tCase.nTextLength));
        const CQxCiString sValue(tCase.pszValue);
        EXPECT_EQ(Sign(sValue.compare(tCase.isPos, tCase.nCount, tCase.pText, tCase.nTextLength)), tCase.iSign);
    }
}

struct SearchCase
{
    const char* pszValue;
    const char* pszSearched;
    size_type isStart;
    size_type isExpected;
};

// Runs one search through its text, value and (for one character) character
// overloads, which must all agree.
void ExpectSearch(const SearchCase& tCase, size_type (CQxCiString::*pfnText)(const char*, size_type) const noexcept,
                  size_type (CQxCiString::*pfnValue)(const CQxCiString&, size_type) const noexcept,
                  size_type (CQxCiString::*pfnChar)(char, size_type) const noexcept)
{
    SCOPED_TRACE(testing::Message() << '"' << tCase.pszValue << "\" for \"" << tCase.pszSearched << "\" from "
                                    << tCase.isStart);
    const CQxCiString sValue(tCase.pszValue);
    EXPECT_EQ((sValue.*pfnText)(tCase.pszSearched, tCase.isStart), tCase.isExpected);
    EXPECT_EQ((sValue.*pfnValue)(CQxCiString(tCase.pszSearched), tCase.isStart), tCase.isExpected);
    if (std::char_traits<char>::length(tCase.pszSearched) == 1)
    {
        EXPECT_EQ((sValue.*pfnChar)(tCase.pszSearched[0], tCase.isStart), tCase.isExpected);
    }
}

TEST(CQxCiString, Find)
{
    const SearchCase aCases[] = {
        {"-PRINTERDRIVER=x -port=y", "printerdriver=", 0, 1},
        {"-corunpin=true -runpin=false", "runpin=", 0, 3},
        {"-corunpin=true -runpin=false", "runpin=", 4, 16},
        {"-port=a=b", "=", 0, 5},
        {"-port=a=b", "=", 6, 7},
        {"-port=a=b", "=", 8, npos},
        {"abc", "C", 0, 2},
        {"abc", "abc", 0, 0},
        {"abc", "abcd", 0, npos},
        {"abc", "bc", 2, npos},
        {"abc", "c", 3, npos},
        {"abc", "c", npos, npos},
        {"abc", "", 0, 0},
        {"abc", "", 3, 3},
        {"abc", "", 4, npos},
        {"", "", 0, 0},
        {"", "", 1, npos},
        {"", "a", 0, npos},
        {"\xC9t\xE9", "\xE9", 0, 2},
        {"\xC9t\xE9", "\xC9", 1, npos},
    };
    for (const SearchCase& tCase : aCases)
        ExpectSearch(tCase, &CQxCiString::find, &CQxCiString::find, &CQxCiString::find);
}

TEST(CQxCiString, Rfind)
{
    const SearchCase aCases[] = {
        {"C:\\", "\\", npos, 2},
        {"C:\\dir\\file", "\\", npos, 6},
        {"C:\\dir\\file", "\\", 5, 2},
        {"C:\\dir\\file", "\\", 1, npos},
        {"no backslash", "\\", npos, npos},
        {"Model A -port", "-", npos, 8},
        {"ABAB", "ab", npos, 2},
        {"ABAB", "ab", 1, 0},
        {"ABAB", "ab", 0, 0},
        {"ABAB", "abab", npos, 0},
        {"ABAB", "ababa", npos, npos},
        {"abc", "", npos, 3},
        {"abc", "", 1, 1},
        {"", "", npos, 0},
        {"", "a", npos, npos},
    };
    for (const SearchCase& tCase : aCases)
        ExpectSearch(tCase, &CQxCiString::rfind, &CQxCiString::rfind, &CQxCiString::rfind);
}

TEST(CQxCiString, FindFirstNotOf)
{
    const SearchCase aCases[] = {
        {"   ", " ", 0, npos},  {"   USB001", " ", 0, 3},  {"x  y", " ", 1, 3},
        {"x  y", " ", 4, npos}, {"x  y", " ", npos, npos}, {"", " ", 0, npos},
        {"aBAc", "ab", 0, 3},   {"abc", "", 1, 1},         {"abc", "", 3, npos},
    };
    for (const SearchCase& tCase : aCases)
        ExpectSearch(tCase, &CQxCiString::find_first_not_of, &CQxCiString::find_first_not_of,
                     &CQxCiString::find_first_not_of);
}

TEST(CQxCiString, FindLastNotOf)
{
    const SearchCase aCases[] = {
        {"", " ", npos, npos},   {"", "", npos, npos}, {"   ", " ", npos, npos}, {"Model A ", " ", npos, 6},
        {"x y ", " ", 2, 2},     {"x y ", " ", 1, 0},  {"x y ", " ", 0, 0},      {" y", " ", 0, npos},
        {"cAbA", "ab", npos, 0}, {"abc", "", npos, 2}, {"abc", "", 1, 1},
    };
    for (const SearchCase& tCase : aCases)
        ExpectSearch(tCase, &CQxCiString::find_last_not_of, &CQxCiString::find_last_not_of,
                     &CQxCiString::find_last_not_of);
}

TEST(CQxCiString, SubstrEraseAndPartConstructionTakeAtMostCountFromThePosition)
{
    struct Case
    {
        const char* pszValue;
        size_type isPos;
        size_type nCount;
        const char* pszPart;
        const char* pszAfterErase;
    };
    const Case aCases[] = {
        {"USB-001", 0, npos, "USB-001", ""}, {"USB-001", 3, npos, "-001", "USB"},
        {"USB-001", 3, 1, "-", "USB001"},    {"USB-001", 3, 100, "-001", "USB"},
        {"USB-001", 0, 0, "", "USB-001"},    {"USB-001", 7, npos, "", "USB-001"},
        {"USB-001", 7, 1, "", "USB-001"},    {"", 0, npos, "", ""},
    };
    for (const Case& tCase : aCases)
    {
        SCOPED_TRACE(testing::Message() << tCase.pszValue << " at " << tCase.isPos << " count " << tCase.nCount);
        const CQxCiString sValue(tCase.pszValue);
        EXPECT_EQ(Bytes(sValue.substr(tCase.isPos, tCase.nCount)), tCase.pszPart);
        EXPECT_EQ(Bytes(CQxCiString(sValue, tCase.isPos, tCase.nCount)), tCase.pszPart);
        CQxCiString sAssigned("old");
        EXPECT_EQ(Bytes(sAssigned.assign(sValue, tCase.isPos, tCase.nCount)), tCase.pszPart);

        CQxCiString sErased(sValue);
        EXPECT_EQ(Bytes(sErased.erase(tCase.isPos, tCase.nCount)), tCase.pszAfterErase);
        EXPECT_EQ(Bytes(sValue), tCase.pszValue);
    }
}

TEST(CQxCiString, DefaultArgumentsCoverTheWholeValue)
{
    const CQxCiString sValue("Model A");
    EXPECT_EQ(Bytes(sValue.substr()), "Model A");
    EXPECT_EQ(Bytes(sValue.substr(6)), "A");
    EXPECT_EQ(Bytes(CQxCiString(sValue, 2)), "del A");
    CQxCiString sErased(sValue);
    EXPECT_EQ(Bytes(sErased.erase(5)), "Model");
    EXPECT_TRUE(sErased.erase().empty());
}

void ExpectThrowsLeavingValue(const char* pszName, const std::function<void(CQxCiString&)>& fnOperation,
                              bool fOutOfRange)
{
    SCOPED_TRACE(pszName);
    CQxCiString sValue("AbC");
    try
    {
        fnOperation(sValue);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::out_of_range& e)
    {
        EXPECT_TRUE(fOutOfRange);
        EXPECT_STREQ(e.what(), "invalid string position");
    }
    catch (const std::length_error& e)
    {
        EXPECT_FALSE(fOutOfRange);
        EXPECT_STREQ(e.what(), "string too long");
    }
    EXPECT_EQ(Bytes(sValue), "AbC");
}

TEST(CQxCiString, PositionPastTheLengthThrowsOutOfRange)
{
    struct Case
    {
        const char* pszName;
        std::function<void(CQxCiString&)> fnOperation;
    };
    const CQxCiString sOther("xyz");
    const Case aCases[] = {
        {"substr at length + 1", [](CQxCiString& s) { s.substr(4); }},
        {"substr at npos", [](CQxCiString& s) { s.substr(npos, 0); }},
        {"erase at length + 1", [](CQxCiString& s) { s.erase(4, 0); }},
        {"compare at length + 1", [](CQxCiString& s) { s.compare(4, 0, "", 0); }},
        {"construct from part", [&](CQxCiString& s) { s = CQxCiString(sOther, 4); }},
        {"assign from part", [&](CQxCiString& s) { s.assign(sOther, 4, 1); }},
        {"assign from own part", [](CQxCiString& s) { s.assign(s, 4); }},
        {"character past the length", [](CQxCiString& s) { (void)s[4]; }},
    };
    for (const Case& tCase : aCases)
        ExpectThrowsLeavingValue(tCase.pszName, tCase.fnOperation, true);
}

TEST(CQxCiString, ResultLongerThanTheLargestLengthThrowsLengthError)
{
    struct Case
    {
        const char* pszName;
        std::function<void(CQxCiString&)> fnOperation;
    };
    // Counts just past the limit; none of these may allocate before checking.
    const Case aCases[] = {
        {"append count to reach max + 1", [](CQxCiString& s) { s.append(CQxCiString::max_size() - 2, 'x'); }},
        {"append npos characters", [](CQxCiString& s) { s.append(npos, 'x'); }},
        {"assign text with count max + 1", [](CQxCiString& s) { s.assign("abc", CQxCiString::max_size() + 1); }},
        {"assign text with count npos", [](CQxCiString& s) { s.assign("abc", npos); }},
    };
    for (const Case& tCase : aCases)
        ExpectThrowsLeavingValue(tCase.pszName, tCase.fnOperation, false);
}

TEST(CQxCiString, CharacterAccessReadsTheStoredCase)
{
    const CQxCiString sPath("C:\\Dir\\");
    EXPECT_EQ(sPath[0], 'C');
    EXPECT_EQ(sPath[3], 'D');
    EXPECT_EQ(sPath[sPath.length() - 1], '\\');
    EXPECT_EQ(sPath[sPath.length()], '\0');
}

TEST(CQxCiString, CStrIsNeverNull)
{
    CQxCiString sErasedAll("abc");
    sErasedAll.erase();
    CQxCiString sErasedFromZero("abc");
    sErasedFromZero.erase(0, 3);
    const CQxCiString aEmpty[] = {CQxCiString(), CQxCiString(""), CQxCiString(nullptr),
                                  sErasedAll,    sErasedFromZero, CQxCiString("abc").substr(3)};
    for (const CQxCiString& sEmpty : aEmpty)
    {
        ASSERT_NE(sEmpty.c_str(), nullptr);
        EXPECT_STREQ(sEmpty.c_str(), "");
        EXPECT_TRUE(sEmpty.empty());
        EXPECT_EQ(sEmpty.length(), 0u);
        EXPECT_EQ(sEmpty.size(), 0u);
        EXPECT_EQ(sEmpty, "");
        EXPECT_NE(sEmpty, "a");
    }
}

TEST(CQxCiString, CStrIsZeroTerminatedAndKeepsCase)
{
    CQxCiString sValue("Model");
    sValue += " A";
    EXPECT_STREQ(sValue.c_str(), "Model A");
    EXPECT_EQ(sValue.data(), sValue.c_str());
    EXPECT_EQ(sValue.length(), 7u);
}

TEST(CQxCiString, AppendFormsAddAtTheEnd)
{
    CQxCiString sPath("C:\\Dir");
    sPath.append(1, '\\');
    EXPECT_EQ(Bytes(sPath), "C:\\Dir\\");
    sPath.append("Sub").append(CQxCiString("\\File")).append(2, '.');
    EXPECT_EQ(Bytes(sPath), "C:\\Dir\\Sub\\File..");
    sPath.append(0, 'x').append("").append(CQxCiString()).append(nullptr);
    EXPECT_EQ(Bytes(sPath), "C:\\Dir\\Sub\\File..");

    CQxCiString sKey("port");
    sKey += "=";
    sKey += CQxCiString("X");
    sKey += 'y';
    EXPECT_EQ(Bytes(sKey), "port=Xy");
}

TEST(CQxCiString, AppendingAValueToItselfDoublesIt)
{
    CQxCiString sValue("Ab");
    sValue.append(sValue);
    EXPECT_EQ(Bytes(sValue), "AbAb");
    sValue.append(sValue.c_str());
    EXPECT_EQ(Bytes(sValue), "AbAbAbAb");
}

TEST(CQxCiString, AssignFormsReplaceTheContents)
{
    CQxCiString sValue("old contents");
    EXPECT_EQ(Bytes(sValue.assign("New")), "New");
    EXPECT_EQ(Bytes(sValue.assign("Newer", 3)), "New");
    EXPECT_EQ(Bytes(sValue.assign(CQxCiString("Value"))), "Value");
    EXPECT_EQ(Bytes(sValue.assign(nullptr)), "");
    EXPECT_EQ(Bytes(sValue.assign(nullptr, 5)), "");
    sValue = "Text";
    EXPECT_EQ(Bytes(sValue), "Text");
    sValue.assign(sValue, 1, 2);
    EXPECT_EQ(Bytes(sValue), "ex");
}

TEST(CQxCiString, CopiesAreIndependent)
{
    const CQxCiString sOriginal("Model A");

    CQxCiString sCopy(sOriginal);
    sCopy.append(" series");
    EXPECT_EQ(Bytes(sOriginal), "Model A");
    EXPECT_EQ(Bytes(sCopy), "Model A series");

    CQxCiString sAssigned;
    sAssigned = sOriginal;
    sAssigned.erase(0, 6);
    EXPECT_EQ(Bytes(sAssigned), "A");
    EXPECT_EQ(Bytes(sOriginal), "Model A");

    CQxCiString sSource("Temp");
    const CQxCiString sMoved(std::move(sSource));
    sSource = "reused";
    EXPECT_EQ(Bytes(sMoved), "Temp");
    EXPECT_EQ(Bytes(sSource), "reused");
}

TEST(CQxCiString, PlusLeavesOperandsAndKeepsCase)
{
    const CQxCiString sKey("Glue");
    const CQxCiString sName("Model A");
    EXPECT_EQ(Bytes(sKey + "\\" + sName), "Glue\\Model A");
    EXPECT_EQ(Bytes("SOFTWARE\\" + sKey), "SOFTWARE\\Glue");
    EXPECT_EQ(Bytes(sKey + sName), "GlueModel A");
    EXPECT_EQ(Bytes(sKey + '='), "Glue=");
    EXPECT_EQ(Bytes(sKey), "Glue");
    EXPECT_EQ(Bytes(sName), "Model A");
}

TEST(CQxCiString, GlobalConstantsAndPrintfUse)
{
    static const CQxCiString g_sSwitchPort("port");
    char szLine[32];
    std::snprintf(szLine, sizeof szLine, "-%s=", g_sSwitchPort.c_str());
    EXPECT_STREQ(szLine, "-port=");
    EXPECT_EQ(CQxCiString("-PORT=USB001").find(g_sSwitchPort + "="), 1u);
}

} // namespace
