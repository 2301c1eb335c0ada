// Names the system gives: GetWindowsDirectoryA, GetSystemDirectoryA, GetComputerNameA,
// GetModuleFileNameA and GetShortPathNameA (there are no 8.3 names here, so
// a path that exists is its own short name).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/posix/machine/call_steps.h"
#include "platform/posix/machine/caller_buffer.h"
#include "platform/posix/machine/last_error.h"
#include "platform/posix/machine/machine_root.h"
#include "platform/posix/machine/paths.h"
#include "text/ascii_case.h"

using namespace qxz::posix;

namespace
{

// A directory of the machine's C: drive, which exists once the root does.
UINT MachineDirectory(const char* pszCall, const char* pszDirectory, LPSTR lpBuffer, UINT uSize)
{
    if (CallFaulted(pszCall, nullptr))
        return 0;
    if (MachineRoot().empty())
    {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    return CopyToCallerBuffer(pszDirectory, lpBuffer, uSize);
}

bool ExecutablePath(std::string* psPosixPath)
{
    std::string sBuffer(4096, '\0');
    const ssize_t cch = readlink("/proc/self/exe", &sBuffer[0], sBuffer.size());
    if (cch < 0)
        return false;
    if (static_cast<size_t>(cch) >= sBuffer.size())
    {
        errno = ENAMETOOLONG;
        return false;
    }
    sBuffer.resize(static_cast<size_t>(cch));
    psPosixPath->swap(sBuffer);
    return true;
}

} // namespace

extern "C" {

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    return MachineDirectory("GetWindowsDirectoryA", "C:\\WINDOWS", lpBuffer, uSize);
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    return MachineDirectory("GetSystemDirectoryA", "C:\\WINDOWS\\SYSTEM32", lpBuffer, uSize);
}

// The host's name as a Windows machine's short name: the first label, in
// capitals, at most 15 characters.
BOOL WINAPI GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize)
{
    if (CallFaulted("GetComputerNameA", nullptr))
        return FALSE;
    char szHost[256] = {};
    if (gethostname(szHost, sizeof szHost - 1) != 0)
    {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    std::string sName(szHost, strcspn(szHost, "."));
    sName.resize(std::min<size_t>(sName.size(), 15));
    for (char& ch : sName)
        ch = qxz::AsciiUpper(ch);
    const DWORD cch = CopyToCallerBuffer(sName, lpBuffer, *nSize);
    if (cch > sName.size())
    {
        *nSize = cch;
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    *nSize = cch;
    return TRUE;
}

// Only the program itself is a module here. A name that does not fit is cut
// to nSize - 1 characters and terminated, as current Windows does.
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    if (CallFaulted("GetModuleFileNameA", nullptr))
        return 0;
    if (hModule != nullptr)
    {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    std::string sPosixPath;
    if (!ExecutablePath(&sPosixPath))
    {
        SetLastError(ErrorFromErrno(errno));
        return 0;
    }
    const std::string sName = ToWindowsPath(sPosixPath);
    if (nSize == 0 || lpFilename == nullptr)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (sName.size() < nSize)
    {
        memcpy(lpFilename, sName.c_str(), sName.size() + 1);
        return static_cast<DWORD>(sName.size());
    }
    memcpy(lpFilename, sName.data(), nSize - 1);
    lpFilename[nSize - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
}

DWORD WINAPI GetShortPathNameA(LPCSTR lpszLongPath, LPSTR lpszShortPath, DWORD cchBuffer)
{
    if (CallFaulted("GetShortPathNameA", lpszLongPath))
        return 0;
    if (lpszLongPath == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string sPath;
    if (!PosixPathOf(lpszLongPath, &sPath))
        return 0;
    // Whichever component is missing, the name is not found (as Wine reports).
    struct stat tStat;
    if (stat(sPath.c_str(), &tStat) != 0)
    {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(errno));
        return 0;
    }
    return CopyToCallerBuffer(lpszLongPath, lpszShortPath, cchBuffer);
}

} // extern "C"
