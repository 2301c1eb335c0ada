// The one rule of case that the program applies to names: the ASCII letters
// equal their other case, every other byte only itself. Header-only, so that
// the log, which is built without the string type, uses the same rule.
#ifndef QXZ_TEXT_ASCII_CASE_H
#define QXZ_TEXT_ASCII_CASE_H

#include <string_view>

namespace qxz
{

// a-z fold to A-Z; every other byte stays as it is.
constexpr char AsciiUpper(char ch) noexcept
{
    return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
}

constexpr bool EqualIgnoringAsciiCase(std::string_view s1, std::string_view s2) noexcept
{
    if (s1.size() != s2.size())
        return false;
    for (size_t i = 0; i < s1.size(); ++i)
    {
        if (AsciiUpper(s1[i]) != AsciiUpper(s2[i]))
            return false;
    }
    return true;
}

} // namespace qxz

#endif // QXZ_TEXT_ASCII_CASE_H
