// What qxzlog prints: the list of runs as text or JSON, and a log's lines.
#ifndef QXZ_TOOLS_QXZLOG_OUTPUT_H
#define QXZ_TOOLS_QXZLOG_OUTPUT_H

#include <cstdio>
#include <string>
#include <vector>

#include "tools/qxzlog/diagnosis.h"
#include "tools/qxzlog/log_directory.h"

namespace qxz::qxzlog
{

// One line per run, newest first, then one line per file that holds no run.
void PrintRunsText(std::FILE* pOut, const std::vector<RunRef>& vRuns, const std::vector<LogFile>& vFiles, bool fColour);

// The same as one JSON array of objects.
void PrintRunsJson(std::FILE* pOut, const std::vector<RunRef>& vRuns, const std::vector<LogFile>& vFiles);

// A log's lines; error lines stand out in colour. Under each line that
// carries a code, a note line with the code's name and meaning, marked by
// kNoteMark so that it cannot be taken for a line of the log.
void PrintLogText(std::FILE* pOut, const std::string& sBytes, bool fColour);
constexpr char kNoteMark[] = "  >> qxzlog: ";

// The note for a code: "126 ERROR_MOD_NOT_FOUND: ..." (no mark, no end).
std::string CodeNote(int64_t nCode);

// One line per group of the pattern across runs, or the same as JSON.
void PrintSummaryText(std::FILE* pOut, const std::vector<FindingGroup>& vGroups);
void PrintSummaryJson(std::FILE* pOut, const std::vector<FindingGroup>& vGroups);

// A diagnosis or warning as a JSON object.
std::string JsonFinding(const Finding& tFinding);

// Longer values (a mebibyte of driver name) are cut in the list.
constexpr size_t kShownBytes = 80;

// A value as one line of a terminal: control characters become '?', and a
// long value is cut.
std::string Shown(const std::string& sValue, size_t cbShown = kShownBytes);

// A JSON string for any bytes: quotes, backslashes, control characters and
// bytes 0x80 to 0xFF escaped as \uXXXX, so the output is always ASCII.
std::string JsonString(const std::string& sBytes);

} // namespace qxz::qxzlog

#endif // QXZ_TOOLS_QXZLOG_OUTPUT_H
