// What the Pin left in the registry: the Glue key's values and each driver's
// key, read with read access only, and what in them makes an installation
// fail later although the Pin succeeded.
#ifndef QXZ_TOOLS_QXZLOG_STATE_H
#define QXZ_TOOLS_QXZLOG_STATE_H

#include <string>
#include <vector>

#include "platform/win32.h"

namespace qxz::qxzlog
{

enum class Exists
{
    NotAFile, // the value names no file or directory
    Yes,
    No
};

struct ValueState
{
    std::string sName;
    DWORD dwExpectedType = REG_SZ;
    bool fPresent = false;
    LONG lError = ERROR_SUCCESS; // why a present value could not be read
    DWORD dwType = REG_NONE;
    std::string sData; // the bytes as stored
    Exists eExists = Exists::NotAFile;
    // The text that the Pin reads: the data up to its first NUL.
    std::string Text() const;
};

struct Problem
{
    std::string sProblem; // missing-file, runghoul-missing, glue-path-missing, wrong-type
    std::string sValue;
    std::string sText; // in words, for people
};

struct DriverState
{
    std::string sDriver;
    LONG lError = ERROR_SUCCESS; // the key could not be opened
    std::vector<ValueState> vValues;
    std::vector<Problem> vProblems;
};

struct GlueState
{
    std::vector<ValueState> vGlueValues;
    std::vector<DriverState> vDrivers;
};

// Reads the Glue key and its drivers' keys (only the one named by
// *psDriver, ignoring case, when given). ERROR_SUCCESS, or the code of the
// Glue key's own opening or listing (ERROR_FILE_NOT_FOUND: no Glue key).
LONG ReadGlueState(const std::string* psDriver, GlueState* ptState);

// What makes an installation fail later in a driver's values as read.
std::vector<Problem> FindProblems(const std::vector<ValueState>& vValues);

// REG_SZ, REG_DWORD, ...; "type N" for others.
std::string RegTypeName(DWORD dwType);

} // namespace qxz::qxzlog

#endif // QXZ_TOOLS_QXZLOG_STATE_H
