// The reader's side of the log's one set of texts: a line that the writer's
// format printed is matched back by that same format, field by field.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "log/log_texts.h"
#include "tools/qxzlog/format_match.h"

namespace
{

using qxz::qxzlog::MatchFormat;

template <typename... Arguments>
std::string Printed(const char* pszFormat, Arguments... arguments)
{
    char szLine[512];
    std::snprintf(szLine, sizeof szLine, pszFormat, arguments...);
    return szLine;
}

std::vector<std::string> Fields(const std::string& sLine, const char* pszFormat)
{
    std::vector<std::string_view> vFields;
    std::vector<std::string> vTexts;
    if (!MatchFormat(sLine, pszFormat, &vFields))
        return {"(no match)"};
    for (std::string_view sField : vFields)
        vTexts.emplace_back(sField);
    return vTexts;
}

TEST(MatchFormatTest, WhatTheWritersFormatsPrintIsReadBack)
{
    struct Case
    {
        const char* pszFormat;
        std::string sLine;
        std::vector<std::string> vFields;
    };
    const std::vector<Case> vCases = {
        {kLogRegGetStringFailed,
         Printed(kLogRegGetStringFailed, "SOFTWARE\\Vorquelle\\QXZ\\Glue\\Model B", "GluePath", 2),
         {"SOFTWARE\\Vorquelle\\QXZ\\Glue\\Model B", "GluePath", "2"}},
        {kLogRegSetStringFailed,
         Printed(kLogRegSetStringFailed, "K", "ghoulpathname", "Z:\\a, b) c.exe", 5),
         {"K", "ghoulpathname", "Z:\\a, b) c.exe", "5"}},
        {kLogRegSetDwordFailed,
         Printed(kLogRegSetDwordFailed, "K", "pintimeout", 180u, -2147024891),
         {"K", "pintimeout", "000000b4", "-2147024891"}},
        {kLogAddMonitorFailed, Printed(kLogAddMonitorFailed, 126), {"126"}},
        {kLogEnumPortsFirstResult, Printed(kLogEnumPortsFirstResult, 0, 122), {"0", "122"}},
        {kLogPortFound, Printed(kLogPortFound, "USB001", 1), {"USB001", "1"}},
        {kLogPortNotFound, Printed(kLogPortNotFound, "", 0), {"", "0"}},
        {kLogDriverName, Printed(kLogDriverName, "Model A = 100% ::"), {"Model A = 100% ::"}},
        {kLogPortNotGiven, kLogPortNotGiven, {}},
    };
    for (const Case& tCase : vCases)
    {
        SCOPED_TRACE(tCase.sLine);
        EXPECT_EQ(Fields(tCase.sLine, tCase.pszFormat), tCase.vFields);
    }
}

TEST(MatchFormatTest, LinesThatTheFormatDidNotPrint)
{
    const std::string sPort = Printed(kLogPortFound, "LPT1:", 1);
    for (const std::string& sLine : {sPort + " ", sPort.substr(0, sPort.size() - 1), "x" + sPort,
                                     std::string("Call to AddMonitor FAILED with error :: 12a()"),
                                     std::string("Call to AddMonitor FAILED with error :: ()"),
                                     std::string("Call to AddMonitor FAILED with error :: -()"), std::string()})
    {
        SCOPED_TRACE(sLine);
        EXPECT_EQ(Fields(sLine, kLogAddMonitorFailed).front(), "(no match)");
        EXPECT_EQ(Fields(sLine, kLogPortFound).front(), sLine == sPort ? "LPT1:" : "(no match)");
    }
}

// A mebibyte of text where the format's next piece never comes: each piece
// is looked for once.
TEST(MatchFormatTest, LongLinesAreReadOnce)
{
    const std::string sLong = "RegSetStringValue (" + std::string(1u << 20, ',') + ") Failed, lResult = 5";
    EXPECT_EQ(Fields(sLong, kLogRegSetStringFailed).front(), "(no match)");
    const std::string sPath(1u << 20, 'K');
    EXPECT_EQ(Fields(Printed(kLogRegGetStringFailed, "A", "B", 2) + std::string(1u << 20, ' '), kLogRegGetStringFailed)
                  .front(),
              "(no match)");
    EXPECT_EQ(Fields("Pin Pathname = " + sPath, kLogPinPathname), std::vector<std::string>{sPath});
}

} // namespace
