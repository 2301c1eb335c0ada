// Two runs side by side: what is different about the run that failed.
#ifndef QXZ_TOOLS_QXZLOG_DIFF_H
#define QXZ_TOOLS_QXZLOG_DIFF_H

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/qxzlog/log_runs.h"

namespace qxz::qxzlog
{

constexpr size_t kNoLine = static_cast<size_t>(-1);

// A run's lines as compared: the header's time and the Pin's own path name
// (and its directory) set aside, as they differ between any two runs.
std::vector<std::string> ComparableLines(std::vector<std::string> vLines, const LogRun& tRun);

// A pair of lines of the two runs; kNoLine where one run has no line there.
struct LinePair
{
    size_t iA;
    size_t iB;
};

// The lines of both runs lined up, equal lines side by side (the longest
// common run of lines, or line by line for very long runs).
std::vector<LinePair> AlignLines(const std::vector<std::string>& vA, const std::vector<std::string>& vB);

// Prints the two runs side by side and the first line where they part; true
// when they differ.
bool PrintDiff(std::FILE* pOut, const std::string& sNameA, const std::vector<std::string>& vA,
               const std::string& sNameB, const std::vector<std::string>& vB);

} // namespace qxz::qxzlog

#endif // QXZ_TOOLS_QXZLOG_DIFF_H
