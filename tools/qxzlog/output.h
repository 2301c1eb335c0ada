// What qxzlog prints: the list of runs as text or JSON, and a log's lines.
#ifndef QXZ_TOOLS_QXZLOG_OUTPUT_H
#define QXZ_TOOLS_QXZLOG_OUTPUT_H

#include <cstdio>
#include <string>
#include <vector>

#include "tools/qxzlog/log_directory.h"

namespace qxz::qxzlog
{

// One line per run, newest first, then one line per file that holds no run.
void PrintRunsText(std::FILE* pOut, const std::vector<RunRef>& vRuns, const std::vector<LogFile>& vFiles, bool fColour);

// The same as one JSON array of objects.
void PrintRunsJson(std::FILE* pOut, const std::vector<RunRef>& vRuns, const std::vector<LogFile>& vFiles);

// A log's bytes; error lines stand out in colour.
void PrintLogText(std::FILE* pOut, const std::string& sBytes, bool fColour);

// A value as one line of a terminal: control characters become '?', and a
// long value is cut.
std::string Shown(const std::string& sValue);

// A JSON string for any bytes: quotes, backslashes, control characters and
// bytes 0x80 to 0xFF escaped as \uXXXX, so the output is always ASCII.
std::string JsonString(const std::string& sBytes);

} // namespace qxz::qxzlog

#endif // QXZ_TOOLS_QXZLOG_OUTPUT_H
