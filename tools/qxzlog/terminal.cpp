// The one place that asks about the terminal.
#include "tools/qxzlog/terminal.h"

#include <cstdio>
#include <cstdlib>

#include "platform/win32.h"

namespace qxz::qxzlog
{

bool UseColour()
{
    // Any non-empty NO_COLOR turns colour off (https://no-color.org).
    const char* pszNoColour = std::getenv("NO_COLOR");
    if (pszNoColour != nullptr && pszNoColour[0] != '\0')
        return false;
    return _isatty(_fileno(stdout)) != 0;
}

} // namespace qxz::qxzlog
