// Reading a log line back by the format string that wrote it.
#ifndef QXZ_TOOLS_QXZLOG_FORMAT_MATCH_H
#define QXZ_TOOLS_QXZLOG_FORMAT_MATCH_H

#include <string_view>
#include <vector>

namespace qxz::qxzlog
{

// Whether the line is what the format prints, and then the text that each
// conversion printed, in order. The conversions the log uses are known: %s
// (any text, up to the first place where the rest of the format follows; a
// format's final text must end the line), %d, %x and %.8x. Linear in the
// line's length: each piece is looked for once, never again.
bool MatchFormat(std::string_view sLine, std::string_view sFormat, std::vector<std::string_view>* pvFields);

} // namespace qxz::qxzlog

#endif // QXZ_TOOLS_QXZLOG_FORMAT_MATCH_H
