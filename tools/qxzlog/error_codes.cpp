// One table for both platforms: the meaning is ours, for a support engineer
// who reads a customer's log, not the system's message text.
#include "tools/qxzlog/error_codes.h"

#include <cctype>
#include <cstdlib>

#include "tools/qxzlog/ascii_text.h"

namespace qxz::qxzlog
{

namespace
{

constexpr ErrorCode kErrorCodes[] = {
    {0, "ERROR_SUCCESS", "no error: the call succeeded"},
    {1, "ERROR_INVALID_FUNCTION", "the call is not supported here"},
    {2, "ERROR_FILE_NOT_FOUND",
     "not there: the registry key or value, or the file, does not exist (for the Glue key: the driver's setup did not "
     "record it)"},
    {3, "ERROR_PATH_NOT_FOUND", "a directory on the way to the file or key does not exist"},
    {4, "ERROR_TOO_MANY_OPEN_FILES", "the process has no more file handles"},
    {5, "ERROR_ACCESS_DENIED",
     "access denied: the installation was not run elevated, or the permissions of the key or file refuse it"},
    {6, "ERROR_INVALID_HANDLE", "a handle was closed or never valid: a fault of the program or the system"},
    {8, "ERROR_NOT_ENOUGH_MEMORY", "the system ran out of memory for the call"},
    {13, "ERROR_INVALID_DATA", "the data given or stored is not of the expected form"},
    {14, "ERROR_OUTOFMEMORY", "the system ran out of memory for the call"},
    {21, "ERROR_NOT_READY", "the device is not ready"},
    {32, "ERROR_SHARING_VIOLATION", "another process has the file open and does not share it"},
    {33, "ERROR_LOCK_VIOLATION", "another process holds a lock on the file or the registry"},
    {50, "ERROR_NOT_SUPPORTED", "the request is not supported by this system"},
    {87, "ERROR_INVALID_PARAMETER", "the call was given an argument it refuses"},
    {112, "ERROR_DISK_FULL", "the disk is full"},
    {122, "ERROR_INSUFFICIENT_BUFFER",
     "the buffer was too small; expected from the first port listing call, which only asks for the size"},
    {126, "ERROR_MOD_NOT_FOUND",
     "a DLL could not be loaded: for the USB monitor, usbmon.dll is not in the system directory"},
    {127, "ERROR_PROC_NOT_FOUND", "a DLL lacks a function it should export: a wrong or damaged version"},
    {183, "ERROR_ALREADY_EXISTS", "the object exists already; for a named event or mutex, another process made it"},
    {193, "ERROR_BAD_EXE_FORMAT", "a program or DLL is not valid for this system (32 against 64 bits, or damaged)"},
    {234, "ERROR_MORE_DATA", "the value is larger than the buffer given"},
    {258, "WAIT_TIMEOUT", "the wait ran out of time: the other process did not let go in time"},
    {259, "ERROR_NO_MORE_ITEMS", "there are no more entries to list"},
    {1008, "ERROR_NO_TOKEN", "the thread has no security token for the call"},
    {1009, "ERROR_BADDB", "the registry's database is damaged"},
    {1010, "ERROR_BADKEY", "the registry key is not valid"},
    {1011, "ERROR_CANTOPEN", "the registry key could not be opened"},
    {1012, "ERROR_CANTREAD", "the registry key could not be read"},
    {1013, "ERROR_CANTWRITE", "the registry key could not be written (a full disk, or its store refuses the write)"},
    {1014, "ERROR_REGISTRY_RECOVERED", "the registry had to be recovered from its log; the write went through"},
    {1015, "ERROR_REGISTRY_CORRUPT", "the registry is damaged"},
    {1016, "ERROR_REGISTRY_IO_FAILED", "the registry could not read or write its files"},
    {1017, "ERROR_NOT_REGISTRY_FILE", "a file loaded into the registry is not a registry file"},
    {1018, "ERROR_KEY_DELETED", "the registry key was deleted while the Pin used it"},
    {1019, "ERROR_NO_LOG_SPACE", "the registry has no room for its log"},
    {1020, "ERROR_KEY_HAS_CHILDREN", "the key has subkeys where none are allowed"},
    {1021, "ERROR_CHILD_MUST_BE_VOLATILE", "a key below a volatile key must be volatile too"},
    {1460, "ERROR_TIMEOUT", "the operation ran out of time"},
    {1722, "RPC_S_SERVER_UNAVAILABLE", "the print spooler is not running (or not reachable)"},
    {1753, "EPT_S_NOT_REGISTERED", "the print spooler is not running: its endpoint is not registered"},
    {1797, "ERROR_UNKNOWN_PRINTER_DRIVER", "the printer driver is not installed"},
    {1801, "ERROR_INVALID_PRINTER_NAME", "the printer or monitor name is not known to the spooler"},
    {1802, "ERROR_PRINTER_ALREADY_EXISTS", "the printer exists already"},
    {3000, "ERROR_UNKNOWN_PRINT_MONITOR", "the port monitor is not known to the spooler"},
    {3006, "ERROR_PRINT_MONITOR_ALREADY_INSTALLED", "the USB monitor is registered already: no fault"},
    {3007, "ERROR_INVALID_PRINT_MONITOR", "the monitor DLL is not a valid port monitor"},
    {3008, "ERROR_PRINT_MONITOR_IN_USE", "the port monitor is in use"},
};

// A whole number in decimal or with 0x in hexadecimal, at most 32 bits.
bool ParseNumber(const std::string& sText, int64_t* pnCode)
{
    const bool fHex = sText.size() > 2 && sText[0] == '0' && (sText[1] == 'x' || sText[1] == 'X');
    const size_t iDigits = fHex ? 2 : (!sText.empty() && sText[0] == '-' ? 1 : 0);
    if (sText.size() == iDigits || sText.size() - iDigits > 10)
        return false;
    for (size_t i = iDigits; i < sText.size(); ++i)
    {
        if (!(fHex ? std::isxdigit(static_cast<unsigned char>(sText[i]))
                   : std::isdigit(static_cast<unsigned char>(sText[i]))))
            return false;
    }
    *pnCode = std::strtoll(sText.c_str(), nullptr, fHex ? 16 : 10);
    return true;
}

} // namespace

const ErrorCode* LookUpErrorCode(int64_t nCode)
{
    for (const ErrorCode& tCode : kErrorCodes)
    {
        if (tCode.nCode == nCode)
            return &tCode;
    }
    return nullptr;
}

const ErrorCode* FindErrorCode(const std::string& sText)
{
    int64_t nCode = 0;
    if (ParseNumber(sText, &nCode))
        return LookUpErrorCode(nCode);
    for (const ErrorCode& tCode : kErrorCodes)
    {
        if (SameTextIgnoringCase(sText, tCode.pszName))
            return &tCode;
    }
    return nullptr;
}

std::string CodeWithName(int64_t nCode)
{
    const ErrorCode* ptCode = LookUpErrorCode(nCode);
    return std::to_string(nCode) + (ptCode != nullptr ? std::string(" ") + ptCode->pszName : std::string());
}

} // namespace qxz::qxzlog
