// The texts of the log that a reader relies on, defined once: the writers
// print with these very format strings, and qxzlog reads a line by matching
// it against them, so a changed text cannot leave the reader behind.
#ifndef QXZ_LOG_LOG_TEXTS_H
#define QXZ_LOG_LOG_TEXTS_H

#include <cstdint>
#include <string_view>

// ---- The file --------------------------------------------------------------------

// The name the entry opens; numbered, it becomes qxqxin00.log to qxqxin99.log.
inline constexpr char kLogFileName[] = "qxqxin.log";
inline constexpr char kLogFileStem[] = "qxqxin";
inline constexpr char kLogFileExtension[] = ".log";
// The number between stem and extension, and how many numbers there are.
inline constexpr char kLogNumberFormat[] = "%2.2d";
inline constexpr uint32_t kLogNumberCount = 100;
static_assert(std::string_view(kLogFileName).substr(0, sizeof kLogFileStem - 1) == kLogFileStem &&
                  std::string_view(kLogFileName).substr(sizeof kLogFileStem - 1) == kLogFileExtension,
              "the name the entry opens is the stem and the extension");

// ---- Lines of the log itself -------------------------------------------------------

// The header, written as one line with an empty line on either side; %s is
// the local time ("Wed Dec 09 23:12:19 2026", or "Unknown").
inline constexpr char kLogHeaderFormat[] = "\n**** %s - Logging Enabled ****\n";
// What the runtime prints when the time cannot be told.
inline constexpr char kLogUnknownTime[] = "Unknown";
// The start of an error line: the caller's source file and line.
inline constexpr char kLogErrorPlaceFormat[] = "[%s, Line %d]: ";
// The text of a failed check, after the place.
inline constexpr char kLogCheckFormat[] = "Error --> %s";

// ---- The port verification -----------------------------------------------------------

inline constexpr char kLogPortGiven[] = "Input PortName is :: %s";
inline constexpr char kLogPortNotGiven[] = "FindCmdLineVar() returned FALSE for PortName!!!.. ";
inline constexpr char kLogAddMonitorCalling[] = "Calling AddMonitor for usbmon.";
inline constexpr char kLogAddMonitorSucceeded[] = "Call to AddMonitor SUCCEEDED.";
inline constexpr char kLogAddMonitorFailed[] = "Call to AddMonitor FAILED with error :: %d()";
inline constexpr char kLogEnumPortsFirstBefore[] = "Before calling EnumPorts the first time";
inline constexpr char kLogEnumPortsFirstResult[] =
    "EnumPorts returned %d after calling first time :: GetLastError() is %d ";
inline constexpr char kLogPortsAllocationFailed[] = "Memory Allocation for Ports FAILED !!!..() ";
inline constexpr char kLogPortsSecondCallSkipped[] = "Unable to call EnumPorts() the second time!!!..() ";
inline constexpr char kLogEnumPortsSecondBefore[] = "Before calling EnumPorts second time ()";
inline constexpr char kLogEnumPortsFailed[] = "Call to EnumPorts FAILED with error :: %d()";
inline constexpr char kLogPortRecord[] = "\nName %s,Mon name %s,Desc %s,Res %x Type=%x";
inline constexpr char kLogPortTypeFlag[] = " %s";
inline constexpr char kLogEnumPortsSecondAfter[] = "After calling EnumPorts second time() ";
inline constexpr char kLogPortFound[] =
    "Found the Input Port Name :: %s in the list enumerated by EnumPorts() :: fFoundPortName = %d";
inline constexpr char kLogPortNotFound[] =
    "Did not find the Input Port Name :: %s in the list enumerated by EnumPorts() :: fFoundPortName = %d";
// The spooler's code for a monitor that is registered already: no failure.
inline constexpr int32_t kLogMonitorAlreadyInstalled = 3006;

// ---- The switch checks ---------------------------------------------------------------

inline constexpr char kLogStatusCodePassed[] = "Glue passed a status code to the Pin";
inline constexpr char kLogNoRecovery[] = "No recovery implemented -- exiting";

// ---- The registry's own failures (with fLogFailure) -------------------------------

inline constexpr char kLogRegGetStringFailed[] = "RegGetStringValue (%s, %s) Failed, lResult = %d";
inline constexpr char kLogRegSetStringFailed[] = "RegSetStringValue (%s, %s, %s) Failed, lResult = %d";
inline constexpr char kLogRegSetDwordFailed[] = "RegSetDwordValue (%s, %s, 0x%.8x) Failed, lResult = %d";

// ---- The closing lines ------------------------------------------------------------------

inline constexpr char kLogPinPathname[] = "Pin Pathname = %s";
inline constexpr char kLogCommandLine[] = "Command Line = %s";
inline constexpr char kLogDriverName[] = "Driver Name = %s";
// What a closing line prints for an empty value.
inline constexpr char kLogNull[] = "NULL";
inline constexpr char kLogOutcomeFormat[] = "%s";
inline constexpr char kLogSucceeded[] = "The Pin Succeeded";
inline constexpr char kLogFailed[] = "The Pin Failed";

#endif // QXZ_LOG_LOG_TEXTS_H
