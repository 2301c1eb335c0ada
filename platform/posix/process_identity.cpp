// Process identities from /proc/PID/stat: its state and its start time.
#include "platform/posix/process_identity.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace qxz::posix {

namespace {

struct ProcessStat {
  char chState;
  uint64_t nStartTime;
};

enum class StatResult { Read, Gone, Unknown };

StatResult ReadProcessStat(int32_t nPid, ProcessStat* ptStat) {
  const std::string sPath = "/proc/" + std::to_string(nPid) + "/stat";
  // The host's, not the machine's: outside the machine's table of calls.
  int fd = ::open(sPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ESRCH ? StatResult::Gone : StatResult::Unknown;
  char achText[1024];
  ssize_t cbRead;
  do {
    cbRead = ::read(fd, achText, sizeof achText - 1);
  } while (cbRead < 0 && errno == EINTR);
  ::close(fd);
  if (cbRead <= 0) return cbRead < 0 && errno == ESRCH ? StatResult::Gone : StatResult::Unknown;
  achText[cbRead] = '\0';
  // The command name in parentheses may hold anything; the fields after
  // its last ')' are the state (field 3) and, 19 fields on, the start time
  // (field 22).
  const char* pszFields = strrchr(achText, ')');
  if (pszFields == nullptr || pszFields[1] != ' ' || pszFields[2] == '\0') return StatResult::Unknown;
  ptStat->chState = pszFields[2];
  const char* psz = pszFields + 2;
  for (int nField = 3; nField < 22; ++nField) {
    psz = strchr(psz, ' ');
    if (psz == nullptr) return StatResult::Unknown;
    ++psz;
  }
  ptStat->nStartTime = strtoull(psz, nullptr, 10);
  return StatResult::Read;
}

}  // namespace

ProcessIdentity CurrentProcessIdentity() {
  ProcessIdentity tProcess{static_cast<int32_t>(getpid()), 0};
  ProcessStat tStat;
  if (ReadProcessStat(tProcess.nPid, &tStat) == StatResult::Read) tProcess.nStartTime = tStat.nStartTime;
  return tProcess;
}

bool IsProcessRunning(const ProcessIdentity& tProcess) {
  ProcessStat tStat;
  switch (ReadProcessStat(tProcess.nPid, &tStat)) {
    case StatResult::Gone:
      return false;
    case StatResult::Unknown:
      return true;  // cannot tell: keep what it holds
    case StatResult::Read:
      break;
  }
  if (tStat.chState == 'Z' || tStat.chState == 'X') return false;
  return tProcess.nStartTime == 0 || tStat.nStartTime == tProcess.nStartTime;
}

}  // namespace qxz::posix
