// FindCmdLineVar: the value of one switch, read from the whole command line.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "qxzglue/qxzglue_utils.h"
#include "tests/support/test_machine.h"
#include "tests/unit/qxzglue_test_support.h"

namespace
{

using qxz::test::CapturedLog;
using qxz::test::LoggedMachineTest;
using qxz::test::TestMachine;
using qxz::test::UtilsError;

const char kUnchanged[] = "value before the call";
const char kExample[] = "-printerdriver=Model A -port=USB-001 -product=Model A series";

struct CmdLineCase
{
    const char* pszCmdLine;
    const char* pszKey;
    const char* pszValue;     // the value found; null when the call fails
    const char* pszCondition; // the one error line's condition; null for none
};

std::ostream& operator<<(std::ostream& os, const CmdLineCase& tCase)
{
    return os << "key \"" << tCase.pszKey << "\" in \"" << tCase.pszCmdLine << "\"";
}

const CmdLineCase kCases[] = {
    // The three switches of a typical run.
    {kExample, "printerdriver", "Model A", nullptr},
    {kExample, "port", "USB-001", nullptr},
    {kExample, "product", "Model A series", nullptr},
    {kExample, "statuscode", nullptr, nullptr},
    // Letter case: of the key and of the line; values keep theirs.
    {"-PORT=USB001", "port", "USB001", nullptr},
    {"-port=UsbPort", "PoRt", "UsbPort", nullptr},
    // The name must be followed directly by "=".
    {"-port = USB001", "port", nullptr, nullptr},
    {"-port", "port", nullptr, nullptr},
    // Blanks: skipped after "=", cut before the next switch, kept at the end.
    {"-port=   USB001", "port", "USB001", nullptr},
    {"-printerdriver=Model A    -port=x", "printerdriver", "Model A", nullptr},
    {"-port=USB001 ", "port", "USB001 ", nullptr},
    {"-port= -product=x", "port", "", nullptr},
    // A tab is not a blank; quotes are ordinary characters.
    {"-printerdriver=x\t-port=y", "printerdriver", "x\t", nullptr},
    {"-port=\tUSB001", "port", "\tUSB001", nullptr},
    {"-printerdriver=\"Model A\" -port=y", "printerdriver", "\"Model A\"", nullptr},
    // Where the name is found.
    {"-port=USB001 -port=LPT1:", "port", "USB001", nullptr},
    {"-corunpin=true -runpin=false", "runpin", "true", nullptr},
    // "=" and "-" inside values.
    {"-port=a-b=c", "port", "a", nullptr},
    {"-infpath=a=b -port=x", "infpath", nullptr, "isValue == CQxCiString::npos"},
    {"-port=a=b", "port", nullptr, "isValue == CQxCiString::npos"},
    {"/printerdriver=x /port=y", "printerdriver", nullptr, "isValue == CQxCiString::npos"},
    {"/printerdriver=x /port=y", "port", "y", nullptr},
    // Nothing after "=".
    {"-printerdriver=x -port=", "port", nullptr, "isCmdLine >= sCmdLine.length()"},
    {"-port=", "port", nullptr, "isCmdLine >= sCmdLine.length()"},
    {"-printerdriver=x -port=   ", "port", nullptr, "isCmdLine == CQxCiString::npos"},
    // Arguments.
    {"", "port", nullptr, "sCmdLine.empty()"},
    {"-port=x", "", nullptr, "sKey.empty()"},
};

class FindCmdLineVarTest : public LoggedMachineTest, public ::testing::WithParamInterface<CmdLineCase>
{
};

TEST_P(FindCmdLineVarTest, FindsValueOrReportsFailure)
{
    const CmdLineCase& tCase = GetParam();
    CQxCiString sValue = kUnchanged;

    const bool fFound = FindCmdLineVar(tCase.pszCmdLine, tCase.pszKey, &sValue);

    EXPECT_EQ(fFound, tCase.pszValue != nullptr);
    // Byte for byte: the string's own comparison would ignore case.
    EXPECT_EQ(std::string(sValue.c_str()), tCase.pszValue != nullptr ? tCase.pszValue : kUnchanged);
    std::vector<std::string> vExpectedLines;
    if (tCase.pszCondition != nullptr)
        vExpectedLines.push_back(UtilsError(tCase.pszCondition));
    EXPECT_EQ(m_tLog.Lines(), vExpectedLines);
}

INSTANTIATE_TEST_SUITE_P(CommandLines, FindCmdLineVarTest, ::testing::ValuesIn(kCases));

TEST(FindCmdLineVar, NullValuePointerIsReported)
{
    TestMachine tMachine;
    CapturedLog tLog(tMachine);

    EXPECT_FALSE(FindCmdLineVar("-port=x", "port", nullptr));

    EXPECT_EQ(tLog.Lines(), std::vector<std::string>{UtilsError("psValue == 0")});
}

TEST(FindCmdLineVar, ArgumentChecksStopAtTheFirstFailure)
{
    TestMachine tMachine;
    CapturedLog tLog(tMachine);

    EXPECT_FALSE(FindCmdLineVar("", "", nullptr));

    EXPECT_EQ(tLog.Lines(), std::vector<std::string>{UtilsError("sCmdLine.empty()")});
}

} // namespace
