// One escaping for every byte that reaches the report.
#include "tools/qxzlog/html.h"

#include <cstdio>

namespace qxz::qxzlog
{

namespace
{

// Windows-1252 from 0x80 to 0x9F; 0 where the code page assigns nothing.
constexpr unsigned kWindows1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                       0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
// U+2400 and on picture the control characters; U+2421 is DEL's.
constexpr unsigned kControlPictures = 0x2400;
constexpr unsigned kDeletePicture = 0x2421;

std::string Reference(unsigned nCodePoint)
{
    char szReference[16];
    std::snprintf(szReference, sizeof szReference, "&#x%X;", nCodePoint);
    return szReference;
}

} // namespace

std::string HtmlEscape(const std::string& sBytes)
{
    std::string sHtml;
    sHtml.reserve(sBytes.size() + sBytes.size() / 8);
    for (const char ch : sBytes)
    {
        const unsigned char uch = static_cast<unsigned char>(ch);
        switch (ch)
        {
            case '&': sHtml += "&amp;"; continue;
            case '<': sHtml += "&lt;"; continue;
            case '>': sHtml += "&gt;"; continue;
            case '"': sHtml += "&quot;"; continue;
            case '\'': sHtml += "&#39;"; continue;
            case '\t': sHtml += ch; continue;
            default: break;
        }
        if (uch < 0x20)
        {
            sHtml += Reference(kControlPictures + uch);
        }
        else if (uch == 0x7F)
        {
            sHtml += Reference(kDeletePicture);
        }
        else if (uch >= 0x80 && uch < 0xA0 && kWindows1252[uch - 0x80] == 0)
        {
            // U+27E8 and U+27E9 lie outside the code page: no log byte
            // shows as them.
            char szByte[4];
            std::snprintf(szByte, sizeof szByte, "%02X", uch);
            sHtml += Reference(0x27E8) + szByte + Reference(0x27E9);
        }
        else if (uch >= 0x80)
        {
            sHtml += Reference(uch < 0xA0 ? kWindows1252[uch - 0x80] : uch);
        }
        else
        {
            sHtml += ch;
        }
    }
    return sHtml;
}

} // namespace qxz::qxzlog
