// The argument vector and the command-line text of this process, as the
// emulated machine's start-up records them before the program's entry runs.
#ifndef QXZ_PLATFORM_POSIX_STARTUP_PROCESS_ARGUMENTS_H
#define QXZ_PLATFORM_POSIX_STARTUP_PROCESS_ARGUMENTS_H

namespace qxz::posix
{

// Takes the vector main received: __argc and __argv from now on, the
// program's path (argv[0]) in Windows form, and the command-line text that
// GetCommandLineA returns, built from them.
void RecordProcessArguments(int argc, char** argv);

} // namespace qxz::posix

#endif // QXZ_PLATFORM_POSIX_STARTUP_PROCESS_ARGUMENTS_H
