// Texts compared as the registry and the Pin's switches compare names:
// ASCII letters match their other case, every other byte must be the same.
#ifndef QXZ_TOOLS_QXZLOG_ASCII_TEXT_H
#define QXZ_TOOLS_QXZLOG_ASCII_TEXT_H

#include <algorithm>
#include <cctype>
#include <string_view>

namespace qxz::qxzlog
{

inline bool SameTextIgnoringCase(std::string_view s1, std::string_view s2)
{
    return s1.size() == s2.size() && std::equal(s1.begin(), s1.end(), s2.begin(), [](char ch1, char ch2) {
               return std::tolower(static_cast<unsigned char>(ch1)) == std::tolower(static_cast<unsigned char>(ch2));
           });
}

} // namespace qxz::qxzlog

#endif // QXZ_TOOLS_QXZLOG_ASCII_TEXT_H
