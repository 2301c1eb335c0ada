#include "regtext/reg_text.h"

#include <algorithm>
#include <cstdio>

namespace qxz
{

namespace
{

constexpr uint32_t kTypeString = 1; // REG_SZ
constexpr uint32_t kTypeBinary = 3; // REG_BINARY
constexpr uint32_t kTypeDword = 4;  // REG_DWORD
constexpr std::string_view kHeader = "REGEDIT4";
// regedit keeps hex lines within 80 columns, the continuation "\" included.
constexpr size_t kMaxHexLineWidth = 79;

unsigned char LowerCase(char ch)
{
    unsigned char byte = static_cast<unsigned char>(ch);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

int HexDigitValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

// Reads up to nMaxDigits hexadecimal digits (at least one) from the front.
bool TakeHexNumber(std::string_view* ps, size_t nMaxDigits, uint32_t* pdwValue)
{
    size_t nDigits = 0;
    uint32_t dwValue = 0;
    while (nDigits < ps->size() && nDigits < nMaxDigits && HexDigitValue((*ps)[nDigits]) >= 0)
    {
        dwValue = dwValue * 16 + static_cast<uint32_t>(HexDigitValue((*ps)[nDigits]));
        ++nDigits;
    }
    if (nDigits == 0)
        return false;
    ps->remove_prefix(nDigits);
    *pdwValue = dwValue;
    return true;
}

bool TakePrefixIgnoringCase(std::string_view* ps, std::string_view sPrefix)
{
    if (ps->size() < sPrefix.size())
        return false;
    for (size_t i = 0; i < sPrefix.size(); ++i)
    {
        if (LowerCase((*ps)[i]) != static_cast<unsigned char>(sPrefix[i]))
            return false;
    }
    ps->remove_prefix(sPrefix.size());
    return true;
}

class RegTextParser
{
public:
    explicit RegTextParser(std::string_view sText) : m_sText(sText)
    {
    }

    bool Parse(RegTextKeys* pKeys, std::string* psError)
    {
        RegTextKeys keys;
        bool fOk = ParseAll(&keys);
        if (!fOk)
        {
            if (psError != nullptr)
                *psError = m_sError;
            return false;
        }
        *pKeys = std::move(keys);
        return true;
    }

private:
    bool ParseAll(RegTextKeys* pKeys)
    {
        std::string_view sLine;
        if (!NextLine(&sLine))
            return Fail("empty text, no REGEDIT4 header");
        if (Trimmed(sLine) != kHeader)
            return Fail("the first line is not REGEDIT4");
        while (NextLine(&sLine))
        {
            sLine = Trimmed(sLine);
            if (sLine.empty() || sLine.front() == ';')
                continue;
            if (sLine.front() == '[')
            {
                if (!ParseSection(sLine, pKeys))
                    return false;
            }
            else if (sLine.front() == '"' || sLine.front() == '@')
            {
                if (pKeys->empty())
                    return Fail("a value before the first [key]");
                if (pKeys->back().fDelete)
                    return Fail("a value in a key deletion");
                if (!ParseValue(sLine, &pKeys->back()))
                    return false;
            }
            else
            {
                return Fail("neither a [key] nor a value");
            }
        }
        return m_sError.empty();
    }

    // The next physical line without its line end; false at the end of text.
    bool NextLine(std::string_view* psLine)
    {
        if (m_nPos >= m_sText.size())
            return false;
        size_t nEnd = m_sText.find('\n', m_nPos);
        if (nEnd == std::string_view::npos)
            nEnd = m_sText.size();
        std::string_view sLine = m_sText.substr(m_nPos, nEnd - m_nPos);
        m_nPos = nEnd + 1;
        ++m_nLine;
        if (!sLine.empty() && sLine.back() == '\r')
            sLine.remove_suffix(1);
        if (sLine.find('\0') != std::string_view::npos)
            return Fail("a NUL character");
        *psLine = sLine;
        return true;
    }

    bool Fail(const char* pszWhat)
    {
        if (m_sError.empty())
            m_sError = "line " + std::to_string(m_nLine) + ": " + pszWhat;
        // Stop reading further lines.
        m_nPos = m_sText.size();
        return false;
    }

    bool ParseSection(std::string_view sLine, RegTextKeys* pKeys)
    {
        if (sLine.back() != ']')
            return Fail("a [key] line without its closing ]");
        std::string_view sPath = sLine.substr(1, sLine.size() - 2);
        RegTextKey key;
        if (!sPath.empty() && sPath.front() == '-')
        {
            key.fDelete = true;
            sPath.remove_prefix(1);
        }
        if (sPath.empty() || sPath.front() == '\\' || sPath.back() == '\\' ||
            sPath.find("\\\\") != std::string_view::npos)
        {
            return Fail("an empty key name in the [key] path");
        }
        key.sPath = std::string(sPath);
        pKeys->push_back(std::move(key));
        return true;
    }

    bool ParseValue(std::string_view sLine, RegTextKey* pKey)
    {
        RegTextValue value;
        if (sLine.front() == '@')
        {
            sLine.remove_prefix(1);
        }
        else if (!TakeQuoted(&sLine, &value.sName))
        {
            return false;
        }
        sLine = Trimmed(sLine);
        if (sLine.empty() || sLine.front() != '=')
            return Fail("no = after the value name");
        sLine = Trimmed(sLine.substr(1));
        if (!ParseData(sLine, &value))
            return false;
        pKey->values.push_back(std::move(value));
        return true;
    }

    bool ParseData(std::string_view sData, RegTextValue* pValue)
    {
        if (sData == "-")
        {
            pValue->fDelete = true;
            return true;
        }
        if (!sData.empty() && sData.front() == '"')
        {
            if (!TakeQuoted(&sData, &pValue->sData))
                return false;
            if (!Trimmed(sData).empty())
                return Fail("text after the closing quote");
            pValue->dwType = kTypeString;
            pValue->sData.push_back('\0');
            return true;
        }
        if (TakePrefixIgnoringCase(&sData, "dword:"))
        {
            uint32_t dwNumber = 0;
            if (!TakeHexNumber(&sData, 8, &dwNumber) || !sData.empty())
            {
                return Fail("dword: needs one to eight hex digits");
            }
            pValue->dwType = kTypeDword;
            for (int i = 0; i < 4; ++i)
                pValue->sData.push_back(static_cast<char>(dwNumber >> (8 * i)));
            return true;
        }
        if (TakePrefixIgnoringCase(&sData, "hex:"))
        {
            pValue->dwType = kTypeBinary;
            return ParseHexList(sData, &pValue->sData);
        }
        if (TakePrefixIgnoringCase(&sData, "hex("))
        {
            if (!TakeHexNumber(&sData, 8, &pValue->dwType) || !TakePrefixIgnoringCase(&sData, "):"))
            {
                return Fail("hex( needs a hex type number and ):");
            }
            return ParseHexList(sData, &pValue->sData);
        }
        return Fail("unknown value data");
    }

    // Comma-separated bytes; a backslash at the end of a line continues the
    // list on the next one.
    bool ParseHexList(std::string_view sRest, std::string* psData)
    {
        sRest = Trimmed(sRest);
        if (sRest.empty())
            return true;
        for (;;)
        {
            sRest = Trimmed(sRest);
            if (sRest == "\\")
            {
                if (!NextLine(&sRest))
                    return Fail("the hex list ends with a continuation");
                continue;
            }
            uint32_t dwByte = 0;
            if (!TakeHexNumber(&sRest, 2, &dwByte))
                return Fail("a hex byte is missing or malformed");
            psData->push_back(static_cast<char>(dwByte));
            sRest = Trimmed(sRest);
            if (sRest.empty())
                return true;
            if (sRest.front() != ',')
                return Fail("hex bytes must be separated by commas");
            sRest.remove_prefix(1);
        }
    }

    // A double-quoted string at the front of *ps, unescaped into *psOut.
    bool TakeQuoted(std::string_view* ps, std::string* psOut)
    {
        std::string sText;
        for (size_t i = 1; i < ps->size(); ++i)
        {
            char ch = (*ps)[i];
            if (ch == '"')
            {
                ps->remove_prefix(i + 1);
                *psOut = std::move(sText);
                return true;
            }
            if (ch == '\\')
            {
                if (++i == ps->size())
                    break;
                switch ((*ps)[i])
                {
                    case '\\': sText.push_back('\\'); break;
                    case '"': sText.push_back('"'); break;
                    case 'n': sText.push_back('\n'); break;
                    case 'r': sText.push_back('\r'); break;
                    default: return Fail("an unknown escape in quoted text");
                }
                continue;
            }
            sText.push_back(ch);
        }
        return Fail("quoted text without its closing quote");
    }

    std::string_view m_sText;
    size_t m_nPos = 0;
    size_t m_nLine = 0;
    std::string m_sError;
};

std::string Quoted(const std::string& sText)
{
    std::string sOut = "\"";
    for (char ch : sText)
    {
        switch (ch)
        {
            case '\\': sOut += "\\\\"; break;
            case '"': sOut += "\\\""; break;
            case '\n': sOut += "\\n"; break;
            case '\r': sOut += "\\r"; break;
            default: sOut.push_back(ch);
        }
    }
    sOut.push_back('"');
    return sOut;
}

// A quoted string carries text and exactly one terminating NUL.
bool FitsQuotedString(const RegTextValue& value)
{
    return value.dwType == kTypeString && !value.sData.empty() && value.sData.find('\0') == value.sData.size() - 1;
}

std::string HexByte(unsigned char byte)
{
    char sz[3];
    std::snprintf(sz, sizeof sz, "%02x", byte);
    return sz;
}

void AppendHexList(std::string sLine, const std::string& sData, std::string* psOut)
{
    for (size_t i = 0; i < sData.size(); ++i)
    {
        std::string sPiece = HexByte(static_cast<unsigned char>(sData[i]));
        if (i + 1 < sData.size())
            sPiece.push_back(',');
        if (i > 0 && sLine.size() + sPiece.size() > kMaxHexLineWidth)
        {
            *psOut += sLine + "\\\n";
            sLine = "  ";
        }
        sLine += sPiece;
    }
    *psOut += sLine + "\n";
}

void AppendValue(const RegTextValue& value, std::string* psOut)
{
    std::string sLine = value.sName.empty() ? "@=" : Quoted(value.sName) + "=";
    if (value.fDelete)
    {
        *psOut += sLine + "-\n";
    }
    else if (FitsQuotedString(value))
    {
        *psOut += sLine + Quoted(value.sData.substr(0, value.sData.size() - 1)) + "\n";
    }
    else if (value.dwType == kTypeDword && value.sData.size() == 4)
    {
        uint32_t dwNumber = 0;
        for (int i = 3; i >= 0; --i)
            dwNumber = dwNumber << 8 | static_cast<unsigned char>(value.sData[i]);
        char sz[16];
        std::snprintf(sz, sizeof sz, "%08x", static_cast<unsigned>(dwNumber));
        *psOut += sLine + "dword:" + sz + "\n";
    }
    else
    {
        char szType[24];
        if (value.dwType == kTypeBinary)
        {
            std::snprintf(szType, sizeof szType, "hex:");
        }
        else
        {
            std::snprintf(szType, sizeof szType, "hex(%x):", static_cast<unsigned>(value.dwType));
        }
        AppendHexList(sLine + szType, value.sData, psOut);
    }
}

} // namespace

bool RegNameLess::operator()(const std::string& sLeft, const std::string& sRight) const
{
    return std::lexicographical_compare(
        sLeft.begin(), sLeft.end(), sRight.begin(), sRight.end(),
        [](char chLeft, char chRight) { return LowerCase(chLeft) < LowerCase(chRight); });
}

bool ParseRegText(std::string_view sText, RegTextKeys* pKeys, std::string* psError)
{
    return RegTextParser(sText).Parse(pKeys, psError);
}

std::string FormatRegText(const RegTextKeys& keys)
{
    std::string sOut = std::string(kHeader) + "\n\n";
    for (const RegTextKey& key : keys)
    {
        sOut += "[" + std::string(key.fDelete ? "-" : "") + key.sPath + "]\n";
        for (const RegTextValue& value : key.values)
            AppendValue(value, &sOut);
        sOut += "\n";
    }
    return sOut;
}

} // namespace qxz
