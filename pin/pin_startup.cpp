// Start-up: hands the Pin its command-line text and its own path name.
#include <string>
#include <vector>

#include "pin/pin_main.h"
#include "pin/pin_pathname.h"
#include "platform/command_line.h"

// The longest path name Windows knows, with its NUL.
static const DWORD kLongestPath = 32768;

// The module's file name; empty when it cannot be told.
static std::string ModuleFileName()
{
    std::vector<char> vBuffer(MAX_PATH);
    for (;;)
    {
        const DWORD cch = GetModuleFileNameA(nullptr, vBuffer.data(), static_cast<DWORD>(vBuffer.size()));
        if (cch == 0)
            return std::string();
        if (cch < vBuffer.size())
            return std::string(vBuffer.data(), cch);
        if (vBuffer.size() >= kLongestPath)
            return std::string();
        vBuffer.resize(vBuffer.size() * 2);
    }
}

// The first element of the argument vector: the program's path name as its
// launcher wrote it, without enclosing quotes; the module's file name when
// there is none. (Linux gives a program started with no arguments at all an
// empty first one.)
static std::string PinPathnameOfProcess()
{
    if (__argc > 0 && __argv != nullptr && __argv[0] != nullptr && __argv[0][0] != '\0')
        return __argv[0];
    return ModuleFileName();
}

// lpszCmdLine is not used: the Windows runtime takes bytes 0x80 to 0xFF for
// blanks when it cuts the program's name off, so the text is taken from the
// process command line and cut here by the entry's own rules.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    SetPinPathname(PinPathnameOfProcess().c_str());
    return PinMain(qxz::TextAfterProgramName(GetCommandLineA()));
}
