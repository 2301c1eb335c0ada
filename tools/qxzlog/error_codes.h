// The Win32 codes that the Pin's logs carry: each one's name and what it
// means where the Pin meets it.
#ifndef QXZ_TOOLS_QXZLOG_ERROR_CODES_H
#define QXZ_TOOLS_QXZLOG_ERROR_CODES_H

#include <cstdint>
#include <string>

namespace qxz::qxzlog
{

struct ErrorCode
{
    int64_t nCode;
    const char* pszName; // the system's name, "ERROR_FILE_NOT_FOUND"
    const char* pszText; // its meaning for the Pin, in a few words
};

// The code's entry, or null for a code the table does not know.
const ErrorCode* LookUpErrorCode(int64_t nCode);

// A code as the user writes it: decimal, 0x hexadecimal, or its name
// (any case); null when it names no code of the table.
const ErrorCode* FindErrorCode(const std::string& sText);

// "5 ERROR_ACCESS_DENIED" for a known code, else the number alone.
std::string CodeWithName(int64_t nCode);

} // namespace qxz::qxzlog

#endif // QXZ_TOOLS_QXZLOG_ERROR_CODES_H
