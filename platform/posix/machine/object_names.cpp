// Kernel object names: the namespace prefixes, the length limit and the
// characters that make a name a path.
#include "platform/posix/machine/object_names.h"

#include <cstring>

namespace qxz::posix
{

namespace
{

constexpr char kLocalPrefix[] = "Local\\";
constexpr char kGlobalPrefix[] = "Global\\";

bool StartsWith(const char* pszText, const char* pszPrefix)
{
    return strncmp(pszText, pszPrefix, strlen(pszPrefix)) == 0;
}

} // namespace

bool ObjectNameKey(const char* pszName, std::string* psKey, DWORD* pdwError)
{
    // The ANSI calls convert the name in a buffer of MAX_PATH characters.
    if (strlen(pszName) > MAX_PATH)
    {
        *pdwError = ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    if (pszName[0] == '\\')
    {
        *pdwError = ERROR_BAD_PATHNAME;
        return false;
    }
    std::string sKey;
    const char* pszLeaf = pszName;
    if (StartsWith(pszName, kLocalPrefix))
    {
        pszLeaf += strlen(kLocalPrefix);
    }
    else if (StartsWith(pszName, kGlobalPrefix))
    {
        pszLeaf += strlen(kGlobalPrefix);
        sKey = kGlobalPrefix;
    }
    if (pszLeaf[0] == '\0')
    {
        *pdwError = ERROR_INVALID_NAME;
        return false;
    }
    // Any other backslash names a directory of objects that does not exist.
    if (strchr(pszLeaf, '\\') != nullptr)
    {
        *pdwError = ERROR_PATH_NOT_FOUND;
        return false;
    }
    psKey->assign(sKey + pszLeaf);
    return true;
}

} // namespace qxz::posix
