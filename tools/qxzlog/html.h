// Text of any bytes as HTML that a browser shows and never runs.
#ifndef QXZ_TOOLS_QXZLOG_HTML_H
#define QXZ_TOOLS_QXZLOG_HTML_H

#include <string>

namespace qxz::qxzlog
{

// ASCII only: & < > " ' as entities; bytes 0x80 to 0xFF as the characters of
// Windows-1252 (the code page the Pin's text is in), its five unassigned
// bytes as a visible "<81>" in angle brackets; control characters but the
// tab as their visible pictures. Distinct bytes stay distinct.
std::string HtmlEscape(const std::string& sBytes);

} // namespace qxz::qxzlog

#endif // QXZ_TOOLS_QXZLOG_HTML_H
