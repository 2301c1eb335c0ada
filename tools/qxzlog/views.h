// The views beside the list of runs, each with its own options: the
// registry state, the report for a ticket and the comparison of two runs.
#ifndef QXZ_TOOLS_QXZLOG_VIEWS_H
#define QXZ_TOOLS_QXZLOG_VIEWS_H

namespace qxz::qxzlog
{

// Which view the arguments ask for, or null for the others.
using ViewEntry = int (*)(int argc, char** argv);
ViewEntry ViewFor(int argc, char** argv);

} // namespace qxz::qxzlog

#endif // QXZ_TOOLS_QXZLOG_VIEWS_H
