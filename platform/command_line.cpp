#include "platform/command_line.h"

namespace qxz
{

namespace
{

// The character codes are taken unsigned: a plain char may be signed, and
// then 0x80 to 0xFF would compare as blanks.
bool IsBlankOrControl(char ch)
{
    const unsigned char uch = static_cast<unsigned char>(ch);
    return uch >= 1 && uch <= 32;
}

} // namespace

const char* TextAfterProgramName(const char* pszCommandLine)
{
    if (pszCommandLine == nullptr)
        return "";
    const char* pch = pszCommandLine;
    if (*pch == '"')
    {
        ++pch;
        while (*pch != '\0' && *pch != '"')
            ++pch;
        if (*pch == '"')
            ++pch;
    }
    else
    {
        while (*pch != '\0' && !IsBlankOrControl(*pch))
            ++pch;
    }
    while (IsBlankOrControl(*pch))
        ++pch;
    return pch;
}

} // namespace qxz
