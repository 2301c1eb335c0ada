// Start-up: hands the Pin its command-line text and its own path name.
#include "pin/pin_main.h"
#include "pin/pin_pathname.h"

#ifdef _WIN32

#include <stdlib.h>

// The runtime has already cut the program's name and the blanks after it
// off lpszCmdLine, and split the process command line into __argv, whose
// first element is the program's path name without enclosing quotes.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpszCmdLine, int)
{
    SetPinPathname(__argc > 0 && __argv != nullptr ? __argv[0] : nullptr);
    return PinMain(lpszCmdLine);
}

#else  // POSIX

#include <cctype>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/posix/machine.h"

// The text after the program's name, as Glue writes it: what the shell split
// into arguments is joined again by single blanks, and the leading blanks and
// control characters are skipped as a Windows runtime does.
static std::string CommandLineText(int argc, char* argv[])
{
    std::string sCmdLine;
    for (int iArg = 1; iArg < argc; ++iArg)
    {
        if (iArg > 1)
            sCmdLine += ' ';
        sCmdLine += argv[iArg];
    }
    std::string::size_type isStart = 0;
    while (isStart < sCmdLine.length() && static_cast<unsigned char>(sCmdLine[isStart]) >= 1 &&
           static_cast<unsigned char>(sCmdLine[isStart]) <= 32)
        ++isStart;
    return sCmdLine.substr(isStart);
}

static bool IsWindowsPathForm(const std::string& sPath)
{
    return sPath.length() >= 3 && std::isalpha(static_cast<unsigned char>(sPath[0])) && sPath[1] == ':' &&
           sPath[2] == '\\';
}

// The program's path name in Windows form, as the Pin registers it for its
// siblings. A name given without a directory stays bare, as on Windows, and
// a name already in Windows form ("C:\...") stays as it is.
static std::string PinPathnameFromArgv0(const char* pszArgv0)
{
    if (pszArgv0 == nullptr)
        return std::string();
    const std::string sArgv0 = pszArgv0;
    if (IsWindowsPathForm(sArgv0) || sArgv0.find('/') == std::string::npos)
        return sArgv0;

    // "./" and "../" are resolved as written, without following links.
    std::error_code tError;
    const std::filesystem::path tAbsolute = std::filesystem::absolute(sArgv0, tError);
    return qxz::posix::ToWindowsPath(tError ? sArgv0 : tAbsolute.lexically_normal().string());
}

int main(int argc, char* argv[])
{
    SetPinPathname(PinPathnameFromArgv0(argc > 0 ? argv[0] : nullptr).c_str());
    const std::string sCmdLine = CommandLineText(argc, argv);
    return PinMain(sCmdLine.c_str());
}

#endif
