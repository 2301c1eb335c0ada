// The parts of qxzlog's views that need no machine: the HTML escaping of
// every byte, the problems of a driver's values, and lining up two runs.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tools/qxzlog/diff.h"
#include "tools/qxzlog/html.h"
#include "tools/qxzlog/log_runs.h"
#include "tools/qxzlog/state.h"

namespace
{

using qxz::qxzlog::AlignLines;
using qxz::qxzlog::ComparableLines;
using qxz::qxzlog::Exists;
using qxz::qxzlog::FindProblems;
using qxz::qxzlog::HtmlEscape;
using qxz::qxzlog::kNoLine;
using qxz::qxzlog::ParseLog;
using qxz::qxzlog::ValueState;

// The code point of one character reference "&#xHEX;", "&lt;" and the like.
unsigned CodePointOf(const std::string& sReference)
{
    if (sReference == "&amp;")
        return '&';
    if (sReference == "&lt;")
        return '<';
    if (sReference == "&gt;")
        return '>';
    if (sReference == "&quot;")
        return '"';
    if (sReference == "&#39;")
        return '\'';
    EXPECT_EQ(0u, sReference.compare(0, 3, "&#x")) << sReference;
    return static_cast<unsigned>(std::stoul(sReference.substr(3), nullptr, 16));
}

// The characters that an escaped text stands for, as a browser reads it.
std::vector<unsigned> Decoded(const std::string& sHtml)
{
    std::vector<unsigned> vCodePoints;
    for (size_t i = 0; i < sHtml.size(); ++i)
    {
        const unsigned char uch = static_cast<unsigned char>(sHtml[i]);
        EXPECT_LT(uch, 0x80u) << "not ASCII: " << sHtml;
        EXPECT_TRUE(sHtml[i] != '<' && sHtml[i] != '>' && sHtml[i] != '"' && sHtml[i] != '\'') << sHtml;
        if (sHtml[i] != '&')
        {
            vCodePoints.push_back(uch);
            continue;
        }
        const size_t iEnd = sHtml.find(';', i);
        EXPECT_NE(std::string::npos, iEnd) << sHtml;
        vCodePoints.push_back(CodePointOf(sHtml.substr(i, iEnd - i + 1)));
        i = iEnd;
    }
    return vCodePoints;
}

TEST(HtmlEscape, EveryByteIsShownAsACharacterOfItsOwnAndNeverAsMarkup)
{
    std::set<std::vector<unsigned>> setShown;
    for (int nByte = 0; nByte < 256; ++nByte)
    {
        const std::string sByte(1, static_cast<char>(nByte));
        const std::vector<unsigned> vShown = Decoded(HtmlEscape(sByte));
        ASSERT_FALSE(vShown.empty()) << nByte;
        // Nothing that the page would take as a tag, an attribute's end or an
        // invisible control.
        for (const unsigned nCodePoint : vShown)
        {
            EXPECT_TRUE(nCodePoint == '\t' ||
                        (nCodePoint >= 0x20 && nCodePoint != 0x7F && (nCodePoint < 0x80 || nCodePoint >= 0xA0)))
                << "byte " << nByte << " shows as U+" << std::hex << nCodePoint;
        }
        if (nByte >= 0x20 && nByte < 0x7F)
        {
            EXPECT_EQ(std::vector<unsigned>{static_cast<unsigned>(nByte)}, vShown) << nByte;
        }
        EXPECT_TRUE(setShown.insert(vShown).second) << "byte " << nByte << " looks like another";
    }
}

TEST(HtmlEscape, TextThatLooksLikeMarkupStaysText)
{
    struct Case
    {
        std::string sBytes;
        std::string sHtml;
    };
    const Case aCases[] = {
        {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
        {"a\"b'c&d", "a&quot;b&#39;c&amp;d"},
        {"&lt;", "&amp;lt;"},
        {"\xe9\x80\x81", "&#xE9;&#x20AC;&#x27E8;81&#x27E9;"},
        {std::string("\0\r\x1b\x7f\t", 5), "&#x2400;&#x240D;&#x241B;&#x2421;\t"},
    };
    for (const Case& tCase : aCases)
        EXPECT_EQ(tCase.sHtml, HtmlEscape(tCase.sBytes));
}

ValueState Value(const char* pszName, DWORD dwExpectedType, DWORD dwType, Exists eExists)
{
    ValueState tValue;
    tValue.sName = pszName;
    tValue.dwExpectedType = dwExpectedType;
    tValue.fPresent = true;
    tValue.dwType = dwType;
    tValue.sData = "x";
    tValue.eExists = eExists;
    return tValue;
}

ValueState Absent(const char* pszName)
{
    ValueState tValue;
    tValue.sName = pszName;
    return tValue;
}

TEST(FindProblems, EachKindOfProblemFromTheValuesAsRead)
{
    using Problems = std::vector<std::pair<std::string, std::string>>;
    struct Case
    {
        std::vector<ValueState> vValues;
        Problems vExpected;
    };
    const ValueState tGlue = Value("GluePath", REG_SZ, REG_SZ, Exists::Yes);
    const ValueState tPin = Value("pinpathname", REG_SZ, REG_SZ, Exists::Yes);
    const ValueState tRunGhoul = Value("runghoul", REG_SZ, REG_SZ, Exists::NotAFile);
    const Case aCases[] = {
        {{tGlue, tPin, tRunGhoul}, {}},
        // Only Glue's value: the Pin has not registered anything yet.
        {{tGlue, Absent("pinpathname"), Absent("runghoul")}, {}},
        {{tGlue, tPin, Absent("runghoul")}, {{"runghoul-missing", "runghoul"}}},
        {{Value("GluePath", REG_SZ, REG_SZ, Exists::No), tPin, tRunGhoul}, {{"glue-path-missing", "GluePath"}}},
        {{tGlue, Value("pdipathname", REG_SZ, REG_SZ, Exists::No), tRunGhoul}, {{"missing-file", "pdipathname"}}},
        {{Value("GluePath", REG_SZ, REG_EXPAND_SZ, Exists::NotAFile), tPin, tRunGhoul}, {{"wrong-type", "GluePath"}}},
        {{tGlue, tPin, tRunGhoul, Value("pintimeout", REG_DWORD, REG_SZ, Exists::NotAFile)},
         {{"wrong-type", "pintimeout"}}},
        // A language directory that is missing is no registered program.
        {{tGlue, Value("languagedir", REG_SZ, REG_SZ, Exists::No)}, {}},
    };
    for (const Case& tCase : aCases)
    {
        Problems vFound;
        for (const auto& tProblem : FindProblems(tCase.vValues))
        {
            vFound.emplace_back(tProblem.sProblem, tProblem.sValue);
            EXPECT_NE(std::string::npos, tProblem.sText.find(tProblem.sValue)) << tProblem.sText;
        }
        EXPECT_EQ(tCase.vExpected, vFound);
    }
}

TEST(Diff, TheTimeAndThePinsPathAreSetAside)
{
    const std::string sRun = "**** Wed Dec 09 23:12:19 2026 - Logging Enabled ****\n\n"
                             "RegSetStringValue (SOFTWARE\\Vorquelle\\QXZ\\Glue\\M, pdipathname, "
                             "C:\\setup\\qxzpdi14.exe) Failed, lResult = 5\r\n"
                             "Pin Pathname = C:\\setup\\qxzpin14.exe\n"
                             "The Pin Failed\n";
    const qxz::qxzlog::LogRun tRun = ParseLog(sRun).front();
    const std::vector<std::string> vLines = ComparableLines(qxz::qxzlog::RunLines(sRun, tRun), tRun);
    const std::vector<std::string> vExpected = {
        "**** <the time> - Logging Enabled ****", "",
        "RegSetStringValue (SOFTWARE\\Vorquelle\\QXZ\\Glue\\M, pdipathname, <the Pin's directory>\\qxzpdi14.exe) "
        "Failed, lResult = 5",
        "Pin Pathname = <the Pin>", "The Pin Failed"};
    EXPECT_EQ(vExpected, vLines);
}

TEST(Diff, EqualLinesLineUpAndTheOthersStandAlone)
{
    const std::vector<std::string> vA = {"h", "port LPT1:", "found", "ok"};
    const std::vector<std::string> vB = {"h", "port USB001", "monitor", "found", "failed"};
    const std::vector<std::pair<size_t, size_t>> vExpected = {{0, 0}, {1, kNoLine}, {kNoLine, 1}, {kNoLine, 2},
                                                              {2, 3}, {3, kNoLine}, {kNoLine, 4}};
    std::vector<std::pair<size_t, size_t>> vFound;
    for (const auto& tPair : AlignLines(vA, vB))
        vFound.emplace_back(tPair.iA, tPair.iB);
    EXPECT_EQ(vExpected, vFound);
    EXPECT_EQ(4u, AlignLines(vA, vA).size());
}

} // namespace
