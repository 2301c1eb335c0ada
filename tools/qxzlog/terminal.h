// Whether qxzlog may colour what it prints.
#ifndef QXZ_TOOLS_QXZLOG_TERMINAL_H
#define QXZ_TOOLS_QXZLOG_TERMINAL_H

namespace qxz::qxzlog
{

// True when standard output is a terminal and NO_COLOR is not set.
bool UseColour();

} // namespace qxz::qxzlog

#endif // QXZ_TOOLS_QXZLOG_TERMINAL_H
