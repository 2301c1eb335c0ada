// mkdir PATH: a directory, made as the installer would make it.
#include "platform/win32.h"
#include "tools/installer-sim/verbs.h"

namespace qxz::sim {

int MakeDirectory(char** argv) {
  if (!CreateDirectoryA(argv[0], nullptr)) return ReportResult("mkdir", "CreateDirectoryA", GetLastError());
  return ReportResult("mkdir", nullptr, 0);
}

}  // namespace qxz::sim
