// The text after a program's name on a Windows process command line, as a
// windowed program's entry receives it. Used on both sides of the seam: by
// the emulated machine's start-up and by a program that takes its text from
// GetCommandLineA itself.
#ifndef QXZ_PLATFORM_COMMAND_LINE_H
#define QXZ_PLATFORM_COMMAND_LINE_H

namespace qxz
{

// A name in double quotes is skipped up to and including its closing quote
// (to the end when it has none), an unquoted name up to the first character
// whose code is 32 or less; then every character from 1 to 32. Bytes 0x80 to
// 0xFF are text, never blanks. Points into pszCommandLine; a null text
// gives an empty one.
const char* TextAfterProgramName(const char* pszCommandLine);

} // namespace qxz

#endif // QXZ_PLATFORM_COMMAND_LINE_H
