// The process's argument vector (__argc, __argv) and GetCommandLineA.
//
// A Windows process is given one command-line text; a POSIX process is given
// words. The text is rebuilt from the words as the co-installer wrote it:
// the program's name, quoted when it holds a blank, then the arguments
// joined by single blanks (what a shell split, this joins again).
#include "platform/posix/machine/layer_state.h"
#include "platform/posix/startup/process_arguments.h"

#include <cctype>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/posix/machine/paths.h"

int __argc = 0;
char** __argv = nullptr;

namespace qxz::posix
{

namespace
{

struct ProcessArguments
{
    std::vector<std::string> vArguments;
    std::vector<char*> vPointers; // into vArguments, ending with a null
    std::string sCommandLine;
};

ProcessArguments& Recorded()
{
    return LayerState<ProcessArguments>();
}

bool IsWindowsPathForm(const std::string& sPath)
{
    return sPath.length() >= 3 && std::isalpha(static_cast<unsigned char>(sPath[0])) && sPath[1] == ':' &&
           sPath[2] == '\\';
}

// A name given without a directory stays bare, as on Windows, and a name
// already in Windows form ("C:\...") stays as it is; "./" and "../" are
// resolved as written, without following links.
std::string ProgramPathInWindowsForm(const std::string& sArgv0)
{
    if (IsWindowsPathForm(sArgv0) || sArgv0.find('/') == std::string::npos)
        return sArgv0;
    std::error_code tError;
    const std::filesystem::path tAbsolute = std::filesystem::absolute(sArgv0, tError);
    return ToWindowsPath(tError ? sArgv0 : tAbsolute.lexically_normal().string());
}

} // namespace

void RecordProcessArguments(int argc, char** argv)
{
    ProcessArguments& tRecorded = Recorded();
    tRecorded.vArguments.clear();
    for (int iArg = 0; iArg < argc && argv != nullptr && argv[iArg] != nullptr; ++iArg)
    {
        tRecorded.vArguments.push_back(iArg == 0 ? ProgramPathInWindowsForm(argv[0]) : std::string(argv[iArg]));
    }
    tRecorded.vPointers.clear();
    for (std::string& sArgument : tRecorded.vArguments)
        tRecorded.vPointers.push_back(&sArgument[0]);
    tRecorded.vPointers.push_back(nullptr);

    tRecorded.sCommandLine.clear();
    for (size_t iArg = 0; iArg < tRecorded.vArguments.size(); ++iArg)
    {
        const std::string& sArgument = tRecorded.vArguments[iArg];
        if (iArg == 0)
        {
            const bool fQuoted = sArgument.find_first_of(" \t") != std::string::npos;
            tRecorded.sCommandLine = fQuoted ? "\"" + sArgument + "\"" : sArgument;
        }
        else
        {
            tRecorded.sCommandLine += ' ' + sArgument;
        }
    }
    __argc = static_cast<int>(tRecorded.vArguments.size());
    __argv = tRecorded.vPointers.data();
}

} // namespace qxz::posix

extern "C" {

// Empty in a program whose arguments were never recorded (one with a main
// of its own).
LPSTR WINAPI GetCommandLineA(void)
{
    return &qxz::posix::Recorded().sCommandLine[0];
}

} // extern "C"
