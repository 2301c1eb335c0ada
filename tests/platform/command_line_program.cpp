// A windowed program for the command-line conformance test: it writes what
// it was given, the process command line, a NUL and the first element of its
// argument vector, into the file that QXZ_TEST_OUTPUT names.
#include <string>

#include "platform/win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char szOutput[MAX_PATH];
    const DWORD cchOutput = GetEnvironmentVariableA("QXZ_TEST_OUTPUT", szOutput, sizeof szOutput);
    if (cchOutput == 0 || cchOutput >= sizeof szOutput)
        return 2;
    std::string sReport = GetCommandLineA();
    sReport += '\0';
    if (__argc > 0 && __argv != nullptr && __argv[0] != nullptr)
        sReport += __argv[0];
    HANDLE hFile = CreateFileA(szOutput, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return 3;
    DWORD cbWritten = 0;
    const BOOL fWritten = WriteFile(hFile, sReport.data(), static_cast<DWORD>(sReport.size()), &cbWritten, nullptr);
    CloseHandle(hFile);
    return fWritten && cbWritten == sReport.size() ? 0 : 4;
}
