#include "tools/qxzlog/format_match.h"

#include <string>

namespace qxz::qxzlog
{

namespace
{

bool IsDecimal(char ch)
{
    return ch >= '0' && ch <= '9';
}

bool IsHex(char ch)
{
    return IsDecimal(ch) || (ch >= 'a' && ch <= 'f');
}

// The literal text of the format from iAt to its next conversion ("%%" is
// a percent sign of the text); *piNext is where that conversion begins.
std::string LiteralAt(std::string_view sFormat, size_t iAt, size_t* piNext)
{
    std::string sLiteral;
    while (iAt < sFormat.size())
    {
        if (sFormat[iAt] == '%')
        {
            if (iAt + 1 < sFormat.size() && sFormat[iAt + 1] == '%')
            {
                sLiteral += '%';
                iAt += 2;
                continue;
            }
            break;
        }
        sLiteral += sFormat[iAt++];
    }
    *piNext = iAt;
    return sLiteral;
}

// The conversion at iAt: its letter, and where the format goes on.
char ConversionAt(std::string_view sFormat, size_t iAt, size_t* piNext)
{
    // "%" then an optional precision ".8", then the letter.
    size_t i = iAt + 1;
    if (i < sFormat.size() && sFormat[i] == '.')
    {
        ++i;
        while (i < sFormat.size() && IsDecimal(sFormat[i]))
            ++i;
    }
    if (i >= sFormat.size())
        return '\0';
    *piNext = i + 1;
    return sFormat[i];
}

} // namespace

bool MatchFormat(std::string_view sLine, std::string_view sFormat, std::vector<std::string_view>* pvFields)
{
    pvFields->clear();
    size_t iFormat = 0;
    size_t iLine = 0;
    std::string sLiteral = LiteralAt(sFormat, iFormat, &iFormat);
    if (sLine.substr(0, sLiteral.size()) != sLiteral)
        return false;
    iLine = sLiteral.size();
    while (iFormat < sFormat.size())
    {
        size_t iAfter = iFormat;
        const char chConversion = ConversionAt(sFormat, iFormat, &iAfter);
        sLiteral = LiteralAt(sFormat, iAfter, &iFormat);
        const bool fLast = iFormat >= sFormat.size();
        size_t iEnd = iLine;
        if (chConversion == 's')
        {
            // A text followed by another conversion cannot be told apart from it.
            if (sLiteral.empty() && !fLast)
                return false;
            if (fLast)
            {
                if (sLine.size() < iLine + sLiteral.size())
                    return false;
                iEnd = sLine.size() - sLiteral.size();
            }
            else
            {
                iEnd = sLine.find(sLiteral, iLine);
                if (iEnd == std::string_view::npos)
                    return false;
            }
        }
        else if (chConversion == 'd')
        {
            if (iEnd < sLine.size() && sLine[iEnd] == '-')
                ++iEnd;
            const size_t iDigits = iEnd;
            while (iEnd < sLine.size() && IsDecimal(sLine[iEnd]))
                ++iEnd;
            if (iEnd == iDigits)
                return false;
        }
        else if (chConversion == 'x')
        {
            while (iEnd < sLine.size() && IsHex(sLine[iEnd]))
                ++iEnd;
            if (iEnd == iLine)
                return false;
        }
        else
        {
            return false;
        }
        pvFields->push_back(sLine.substr(iLine, iEnd - iLine));
        if (sLine.compare(iEnd, sLiteral.size(), sLiteral) != 0)
            return false;
        iLine = iEnd + sLiteral.size();
    }
    return iLine == sLine.size();
}

} // namespace qxz::qxzlog
