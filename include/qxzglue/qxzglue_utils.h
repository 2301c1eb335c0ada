// Command-line switches, driver parameters, paths, files and the Windows
// version: the helpers that every program of the installer family shares.
#ifndef QXZ_QXZGLUE_QXZGLUE_UTILS_H
#define QXZ_QXZGLUE_QXZGLUE_UTILS_H

#include "text/qx_ci_string.h"

// The Windows version class. The values and their order are fixed: callers
// compare them ("at most OsClass_WinMe" means the Windows 9x family).
enum OsClass
{
    OsClass_Win95 = 0,
    OsClass_Win98 = 1,
    OsClass_WinMe = 2,
    OsClass_WinNt4 = 3,
    OsClass_Win2000 = 4,
    OsClass_WinXp = 5,
    OsClass_Unknown = 6
};

// The value of the switch "-<sKey>=<value>" in sCmdLine. The line is searched
// whole, ignoring case: the first "<sKey>=" wins wherever it stands; the
// value of the last switch runs to the end of the line, any other value ends
// at the "-" that introduces the next switch. False without a log line when
// the switch is absent; *psValue is left alone on every failure.
bool FindCmdLineVar(const CQxCiString& sCmdLine, const CQxCiString& sKey, CQxCiString* psValue);

// The driver's Glue key, sRegKeyGlueDriver: the Glue key, one backslash and
// the driver's name (under HKEY_LOCAL_MACHINE).
CQxCiString RegKeyGlueDriver(const CQxCiString& sDriverName);

// A driver parameter: the switch of that name on the command line, else the
// string value of that name under the driver's Glue key. An empty value
// counts as none.
bool GetDriverParameter(const CQxCiString& sCmdLine, const CQxCiString& sDriverName, const CQxCiString& sParameterName,
                        CQxCiString* psParameterValue);

// Whether GetDriverParameter would find the parameter.
bool IsDriverParameterSet(const CQxCiString& sCmdLine, const CQxCiString& sDriverName,
                          const CQxCiString& sParameterName);

// The directory part of a path name, up to and including its last backslash.
bool GetPath(const CQxCiString& sPathname, CQxCiString* psPath);

// Whether a file or directory of that name exists. A directory named with a
// trailing backslash is found through its entries. Logs nothing.
bool IsFilePresent(const CQxCiString& sPathname);

// The class of the running Windows version.
OsClass GetOsClass();

#endif // QXZ_QXZGLUE_QXZGLUE_UTILS_H
