// The Pin's log files in a directory, read without changing what the Pin
// will do next: no write, no lock, and every last-access time as it was.
#ifndef QXZ_TOOLS_QXZLOG_LOG_DIRECTORY_H
#define QXZ_TOOLS_QXZLOG_LOG_DIRECTORY_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tools/qxzlog/log_runs.h"

namespace qxz::qxzlog
{

// More than any run writes; a longer file is read this far.
constexpr size_t kMaxLogBytes = 64u << 20;

struct LogFile
{
    std::string sName;
    std::string sPath;
    uint64_t nWrittenTicks = 0; // the last write time, as the file system keeps it
    uint64_t cbSize = 0;        // as the directory listed it
    int64_t nWrittenKey = 0;    // the same ordered as header times are; set when a run has no time
    std::string sProblem;       // why it holds no run ("empty file", "a directory", ...)
    bool fPartial = false;      // only the first kMaxLogBytes were read
    std::vector<LogRun> vRuns;
};

// A run and the file it is in, for ordering runs across files.
struct RunRef
{
    const LogFile* ptFile;
    size_t iRun;
    const LogRun& Run() const
    {
        return ptFile->vRuns[iRun];
    }
};

// The bytes of one log (at most kMaxLogBytes), or false with a problem text.
bool ReadLogBytes(const std::string& sPath, std::string* psBytes, bool* pfPartial, std::string* psProblem);

// Reads one log into *ptFile (its name, path and last write time are set by
// the caller).
void ReadLogFile(LogFile* ptFile);

// Every qxqxin*.log in the directory, read. False with the error when the
// directory cannot be read; true with no files when it holds no log.
bool ReadLogDirectory(const std::string& sDirectory, std::vector<LogFile>* pvFiles, DWORD* pdwError);

// The same files listed, sorted by name, not yet read (a directory has its
// problem set already).
bool ListLogDirectory(const std::string& sDirectory, std::vector<LogFile>* pvFiles, DWORD* pdwError);

// A file of the directory: a number ("7", "07") names qxqxinNN.log; any
// other text is a name in the directory, or a path when it has a separator.
std::string LogPathFor(const std::string& sDirectory, const std::string& sFile);

// Every run of the files, newest first: by header time (a run without a
// readable time by its file's last write time), ties by the last write time,
// then the later run of one file first.
std::vector<RunRef> RunsNewestFirst(const std::vector<LogFile>& vFiles);

// What orders a run among the others: its header time, or its file's last
// write time when the header's time cannot be read.
int64_t StartKey(const RunRef& tRef);

} // namespace qxz::qxzlog

#endif // QXZ_TOOLS_QXZLOG_LOG_DIRECTORY_H
