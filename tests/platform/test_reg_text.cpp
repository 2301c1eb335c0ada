// The .reg text codec: what it writes, what it reads back, what it refuses.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"
#include "regtext/reg_text.h"

namespace qxz
{
namespace
{

RegTextValue Value(const std::string& sName, uint32_t dwType, const std::string& sData)
{
    return RegTextValue{sName, dwType, sData, false};
}

std::string Bytes(std::initializer_list<int> bytes)
{
    std::string s;
    for (int byte : bytes)
        s.push_back(static_cast<char>(byte));
    return s;
}

std::string Parsed(const std::string& sText, RegTextKeys* pKeys)
{
    std::string sError;
    EXPECT_TRUE(ParseRegText(sText, pKeys, &sError)) << sError << "\n" << sText;
    return sError;
}

void ExpectSameKeys(const RegTextKeys& expected, const RegTextKeys& actual)
{
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t i = 0; i < expected.size(); ++i)
    {
        EXPECT_EQ(expected[i].sPath, actual[i].sPath);
        EXPECT_EQ(expected[i].fDelete, actual[i].fDelete);
        ASSERT_EQ(expected[i].values.size(), actual[i].values.size()) << expected[i].sPath;
        for (size_t j = 0; j < expected[i].values.size(); ++j)
        {
            const RegTextValue& e = expected[i].values[j];
            const RegTextValue& a = actual[i].values[j];
            EXPECT_EQ(e.sName, a.sName);
            EXPECT_EQ(e.dwType, a.dwType) << e.sName;
            EXPECT_EQ(e.sData, a.sData) << e.sName;
            EXPECT_EQ(e.fDelete, a.fDelete) << e.sName;
        }
    }
}

// Each value, written alone, gives exactly this line and reads back as itself.
struct ValueCase
{
    RegTextValue tValue;
    const char* pszLine;
};

const std::string kLong(40, '\x5a');

const ValueCase kValueCases[] = {
    {Value("Name", REG_SZ, std::string("C:\\x\\\0", 6)), "\"Name\"=\"C:\\\\x\\\\\""},
    {Value("", REG_SZ, std::string("d\0", 2)), "@=\"d\""},
    {Value("@", REG_SZ, std::string("\0", 1)), "\"@\"=\"\""},
    {Value("q\"u\\o", REG_SZ, std::string("say \"hi\"\0", 9)), "\"q\\\"u\\\\o\"=\"say \\\"hi\\\"\""},
    {Value("lines", REG_SZ, std::string("a\r\nb\0", 5)), "\"lines\"=\"a\\r\\nb\""},
    {Value("nonul", REG_SZ, "abc"), "\"nonul\"=hex(1):61,62,63"},
    {Value("zero", REG_SZ, ""), "\"zero\"=hex(1):"},
    {Value("inner", REG_SZ, std::string("a\0b\0", 4)), "\"inner\"=hex(1):61,00,62,00"},
    {Value("count", REG_DWORD, Bytes({0xb4, 0, 0, 0})), "\"count\"=dword:000000b4"},
    {Value("max", REG_DWORD, Bytes({0xff, 0xfe, 0xfd, 0xfc})), "\"max\"=dword:fcfdfeff"},
    {Value("short", REG_DWORD, Bytes({1, 2})), "\"short\"=hex(4):01,02"},
    {Value("raw", REG_BINARY, Bytes({0, 0xab, 0x10})), "\"raw\"=hex:00,ab,10"},
    {Value("none", REG_NONE, ""), "\"none\"=hex(0):"},
    {Value("path", REG_EXPAND_SZ, std::string("%T%\0", 4)), "\"path\"=hex(2):25,54,25,00"},
    {Value("multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5)), "\"multi\"=hex(7):61,00,62,00,00"},
    {Value("q", REG_QWORD, Bytes({1, 0, 0, 0, 0, 0, 0, 0})), "\"q\"=hex(b):01,00,00,00,00,00,00,00"},
    {RegTextValue{"gone", REG_NONE, "", true}, "\"gone\"=-"},
    {Value("wrapped", REG_BINARY, kLong),
     "\"wrapped\"=hex:5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,\\\n"
     "  5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a,5a"},
};

TEST(RegText, EachKindOfValueHasItsLineAndReadsBackByteForByte)
{
    for (const ValueCase& tCase : kValueCases)
    {
        SCOPED_TRACE(tCase.pszLine);
        RegTextKeys keys = {RegTextKey{"HKEY_LOCAL_MACHINE\\SOFTWARE\\T", false, {tCase.tValue}}};
        std::string sText = FormatRegText(keys);
        EXPECT_EQ("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\n" + std::string(tCase.pszLine) + "\n\n", sText);
        RegTextKeys parsed;
        Parsed(sText, &parsed);
        ExpectSameKeys(keys, parsed);
    }
}

TEST(RegText, KeysKeepTheirOrderAndDeletionsSurvive)
{
    RegTextKeys keys = {
        RegTextKey{"HKEY_LOCAL_MACHINE\\SOFTWARE\\B",
                   false,
                   {Value("z", REG_SZ, std::string("1\0", 2)), Value("a", REG_SZ, std::string("2\0", 2))}},
        RegTextKey{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Old", true, {}},
        RegTextKey{"HKEY_CURRENT_USER\\A key with blanks", false, {}},
    };
    RegTextKeys parsed;
    Parsed(FormatRegText(keys), &parsed);
    ExpectSameKeys(keys, parsed);
}

TEST(RegText, LongHexListsStayWithinEightyColumns)
{
    RegTextKeys keys = {RegTextKey{
        "HKEY_LOCAL_MACHINE\\K", false, {Value("a rather long value name", 0x1234, std::string(500, '\x01'))}}};
    std::string sText = FormatRegText(keys);
    size_t nStart = 0;
    while (nStart < sText.size())
    {
        size_t nEnd = sText.find('\n', nStart);
        EXPECT_LE(nEnd - nStart, 80u) << sText.substr(nStart, nEnd - nStart);
        nStart = nEnd + 1;
    }
    RegTextKeys parsed;
    Parsed(sText, &parsed);
    ExpectSameKeys(keys, parsed);
}

TEST(RegText, ReadsWhatRegeditAndPeopleWrite)
{
    const std::string sText = "REGEDIT4\r\n"
                              "\r\n"
                              "; a comment\r\n"
                              "  [HKEY_LOCAL_MACHINE\\SOFTWARE\\Seed]  \r\n"
                              "\"Flag\" = \"TRUE\"\r\n"
                              "\"Small\"=dword:B4\r\n"
                              "\"Upper\"=HEX(2):41,0,00\r\n"
                              "\"Split\"=hex:01, 02,\\\r\n"
                              "     03,\\\r\n"
                              "  04\r\n"
                              "\"Empty\"=hex:\r\n"
                              "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Last]";
    RegTextKeys expected = {
        RegTextKey{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Seed",
                   false,
                   {Value("Flag", REG_SZ, std::string("TRUE\0", 5)), Value("Small", REG_DWORD, Bytes({0xb4, 0, 0, 0})),
                    Value("Upper", REG_EXPAND_SZ, Bytes({0x41, 0, 0})), Value("Split", REG_BINARY, Bytes({1, 2, 3, 4})),
                    Value("Empty", REG_BINARY, "")}},
        RegTextKey{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone", true, {}},
        RegTextKey{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Last", false, {}},
    };
    RegTextKeys parsed;
    Parsed(sText, &parsed);
    ExpectSameKeys(expected, parsed);
}

struct RejectCase
{
    const char* pszWhat;
    std::string sText;
    int nLine; // the line that the message must name
};

const RejectCase kRejectCases[] = {
    {"empty text", "", 0},
    {"another header", "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\K]\n", 1},
    {"value before any key", "REGEDIT4\n\"a\"=\"b\"\n", 2},
    {"value in a deletion", "REGEDIT4\n[-HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"b\"\n", 3},
    {"stray line", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\nname=\"b\"\n", 3},
    {"unclosed key", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K\n", 2},
    {"empty key name", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\\\K]\n", 2},
    {"trailing backslash in key", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K\\]\n", 2},
    {"empty key path", "REGEDIT4\n[]\n", 2},
    {"unclosed name", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a=\"b\n", 3},
    {"unclosed text", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"b\n", 3},
    {"escape at the end", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"b\\", 3},
    {"unknown escape", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"\\t\"\n", 3},
    {"text after the string", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"b\" x\n", 3},
    {"no equals sign", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\" \"b\"\n", 3},
    {"unknown data", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=qword:1\n", 3},
    {"dword too long", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=dword:123456789\n", 3},
    {"dword not hex", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=dword:xyz\n", 3},
    {"dword empty", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=dword:\n", 3},
    {"hex byte too long", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=hex:123\n", 3},
    {"hex without comma", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=hex:01 02\n", 3},
    {"trailing comma", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=hex:01,\n", 3},
    {"continuation at the end", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=hex:01,\\\n", 3},
    {"continuation onto a blank line", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=hex:01,\\\n\n", 4},
    {"bad hex type", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=hex(z):01\n", 3},
    {"hex type unclosed", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=hex(2:01\n", 3},
    {"NUL character", std::string("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"a\"=\"b") + '\0' + "\"\n", 3},
};

TEST(RegText, RefusesCorruptTextNamingTheLineAndKeepsTheCallersKeys)
{
    for (const RejectCase& tCase : kRejectCases)
    {
        SCOPED_TRACE(tCase.pszWhat);
        RegTextKeys keys = {RegTextKey{"HKEY_LOCAL_MACHINE\\Before", false, {}}};
        std::string sError;
        EXPECT_FALSE(ParseRegText(tCase.sText, &keys, &sError));
        EXPECT_EQ(0u, sError.find("line " + std::to_string(tCase.nLine) + ":")) << sError;
        ASSERT_EQ(1u, keys.size());
        EXPECT_EQ("HKEY_LOCAL_MACHINE\\Before", keys[0].sPath);
    }
}

// Every cut of a text with every construct either parses or is refused;
// under the sanitizers this also shows that no cut reads past the text.
TEST(RegText, EveryTruncationIsHandled)
{
    RegTextKeys keys;
    for (const ValueCase& tCase : kValueCases)
        keys.push_back(RegTextKey{"HKEY_LOCAL_MACHINE\\K", false, {tCase.tValue}});
    std::string sText = FormatRegText(keys);
    size_t nAccepted = 0;
    for (size_t cb = 0; cb <= sText.size(); ++cb)
    {
        std::string sCut = sText.substr(0, cb); // its own allocation, so a read past it is caught
        RegTextKeys parsed;
        std::string sError;
        if (ParseRegText(sCut, &parsed, &sError))
        {
            ++nAccepted;
        }
        else
        {
            EXPECT_FALSE(sError.empty());
        }
    }
    EXPECT_GT(nAccepted, 0u);
    EXPECT_LT(nAccepted, sText.size());
}

TEST(RegText, NameOrderIgnoresCaseAsIfLowerCase)
{
    RegNameLess less;
    EXPECT_TRUE(less("a0", "A_")); // '0' < '_'
    EXPECT_TRUE(less("A_", "ab")); // '_' < 'b', though '_' > 'B'
    EXPECT_TRUE(less("AB", "z"));
    EXPECT_FALSE(less("Key", "kEY"));
    EXPECT_FALSE(less("kEY", "Key"));
    EXPECT_TRUE(less("Key", "Keys"));
}

} // namespace
} // namespace qxz
