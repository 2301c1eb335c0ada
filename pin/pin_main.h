// The Pin's entry and the fixed order of its run.
#ifndef QXZ_PIN_PIN_MAIN_H
#define QXZ_PIN_PIN_MAIN_H

#include "platform/win32.h"
#include "text/qx_ci_string.h"

// Runs the Pin once with the command-line text after the program's own name
// (switches such as "-printerdriver=<name> -product=<name> -port=<port>").
// The outcome is told only by the log's last line and the registry; the
// result is the process exit code, always 0.
int PinMain(const char* lpszCmdLine);

// The stages of PinMain, declared here so that each can be tested alone.

// Logs whether the port of the "port" switch is one of the spooler's ports,
// listing them all; for a USB port first registers the USB port monitor.
void VerifyPort(const CQxCiString& sCmdLine);

// Logs one port record of the spooler and its type flags.
void LogPortRecord(const PORT_INFO_2A& tPort);

// Whether an enumerated port name stands for the requested one: the shorter
// of the two names decides how many characters are compared.
bool IsSamePortName(const CQxCiString& sPortName, const char* pszEnumeratedName);

// Whether a port is served by the USB port monitor.
bool IsUsbPort(const CQxCiString& sPortName);

// The switch checks that lead to the pre-install. *psDriverName receives the
// driver's name once it has been read; true when the pre-install succeeded.
bool RunSwitchChecks(const CQxCiString& sCmdLine, CQxCiString* psDriverName);

#endif // QXZ_PIN_PIN_MAIN_H
