// The .reg text format that regedit imports and exports (REGEDIT4): a
// portable codec between that text and a list of keys with their values.
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\Software\Key]
//   "name"="text"             REG_SZ: the text and its terminating NUL
//   @="text"                  the key's default value (empty name)
//   "count"=dword:000000b4    REG_DWORD, four bytes
//   "raw"=hex:01,02           REG_BINARY
//   "path"=hex(2):25,00       any other type by number, bytes as stored
//   "gone"=-                  deletes the value on import
//   [-HKEY_LOCAL_MACHINE\Software\Old]   deletes the key on import
//
// Long hex lists continue on the next line after a trailing backslash.
// In quoted text, \\ \" \n and \r are escapes. The codec keeps the data
// byte for byte: text that a quoted string cannot carry exactly (no
// terminating NUL, an inner NUL) is written as hex(1).
#ifndef QXZ_REGTEXT_REG_TEXT_H
#define QXZ_REGTEXT_REG_TEXT_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qxz
{

struct RegTextValue
{
    std::string sName; // empty for the default value
    uint32_t dwType = 0;
    std::string sData; // the value's bytes exactly as stored
    bool fDelete = false;
};

struct RegTextKey
{
    std::string sPath; // with its root: HKEY_LOCAL_MACHINE\Software\Key
    bool fDelete = false;
    std::vector<RegTextValue> values;
};

using RegTextKeys = std::vector<RegTextKey>;

// Orders key and value names ignoring ASCII case, as if both were in lower
// case: the order in which Windows and Wine enumerate subkeys.
struct RegNameLess
{
    bool operator()(const std::string& sLeft, const std::string& sRight) const;
};

// Parses a whole .reg text. On failure returns false with a message that
// names the line, and leaves *pKeys unchanged.
bool ParseRegText(std::string_view sText, RegTextKeys* pKeys, std::string* psError);

// The text of keys as regedit would import it, lines ending in "\n".
std::string FormatRegText(const RegTextKeys& keys);

} // namespace qxz

#endif // QXZ_REGTEXT_REG_TEXT_H
