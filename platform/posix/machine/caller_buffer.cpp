#include "platform/posix/machine/caller_buffer.h"

#include <cstring>

namespace qxz::posix
{

DWORD CopyToCallerBuffer(const std::string& sText, LPSTR pszBuffer, DWORD cchBuffer)
{
    const DWORD cchText = static_cast<DWORD>(sText.size());
    if (pszBuffer == nullptr || cchBuffer <= cchText)
        return cchText + 1;
    memcpy(pszBuffer, sText.c_str(), sText.size() + 1);
    return cchText;
}

} // namespace qxz::posix
