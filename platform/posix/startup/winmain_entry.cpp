// The entry of a windowed program on the emulated machine: the machine
// supplies main, records the argument vector and the command-line text of
// the process, and calls the program's WinMain with the text after the
// program's name, as the Windows start-up does.
#include "platform/command_line.h"
#include "platform/posix/startup/process_arguments.h"
#include "platform/win32.h"

int main(int argc, char** argv)
{
    qxz::posix::RecordProcessArguments(argc, argv);
    // There is no module handle here; the program runs as its one module.
    return WinMain(nullptr, nullptr, const_cast<LPSTR>(qxz::TextAfterProgramName(GetCommandLineA())), SW_SHOWDEFAULT);
}
