// The choice of the log's number and the taking of its file.
#include "log/log_number.h"

#include <cstdio>

#include "log/log_entry.h"
#include "log/log_file.h"

namespace qxz::log
{

namespace
{

// Shared, so that others can read the log while this run writes it.
constexpr DWORD kLogShareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The log's owner lock: one byte far past any text, which one handle at a
// time can hold. A run holds it on its file for as long as it writes, so
// that two runs never write one file, while readers are not stopped.
constexpr DWORD kOwnerLockOffsetHigh = 0x7FFFFFFF;

enum CandidateState
{
    CandidateState_Free,       // the number is taken at once
    CandidateState_PassedOver, // neither free nor to be reused
    CandidateState_InUse,      // open elsewhere: another run's log, or another run's look at it
    CandidateState_Present,    // an ordinary file, reused when it is the least recently used
};

CandidateState ProbeCandidate(const std::string& sCandidate, const std::string& sResolvedDirectory,
                              BY_HANDLE_FILE_INFORMATION* ptSeen)
{
    // No sharing: the open fails for a file that another run holds open.
    HANDLE hFile = CreateFileA(sCandidate.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, kOpenEntryItself, nullptr);
    if (hFile != INVALID_HANDLE_VALUE)
    {
        return IsOrdinaryFileClosing(hFile, sResolvedDirectory, sCandidate, ptSeen) ? CandidateState_Present
                                                                                    : CandidateState_PassedOver;
    }
    // Free only when nothing is there. A file in use is another run's log, and
    // one that cannot be looked at is no file of this run's to empty: either
    // is passed over.
    const DWORD dwError = GetLastError();
    if (dwError == ERROR_SHARING_VIOLATION)
        return CandidateState_InUse;
    if (dwError != ERROR_FILE_NOT_FOUND)
        return CandidateState_PassedOver;
    return HoldsOtherThanOrdinaryFile(sCandidate, sResolvedDirectory) ? CandidateState_PassedOver : CandidateState_Free;
}

// A write counts as a use, whatever the file system records as the last
// access: a file just written is never the least recently used.
FILETIME LastUse(const BY_HANDLE_FILE_INFORMATION& tInfo)
{
    return CompareFileTime(&tInfo.ftLastWriteTime, &tInfo.ftLastAccessTime) > 0 ? tInfo.ftLastWriteTime
                                                                                : tInfo.ftLastAccessTime;
}

// The same file, and as it was when it was looked at: another run that wrote
// it since changed its size or its last write time.
bool IsTheFileSeen(const BY_HANDLE_FILE_INFORMATION& tNow, const BY_HANDLE_FILE_INFORMATION& tSeen)
{
    return tNow.dwVolumeSerialNumber == tSeen.dwVolumeSerialNumber && tNow.nFileIndexHigh == tSeen.nFileIndexHigh &&
           tNow.nFileIndexLow == tSeen.nFileIndexLow && tNow.nFileSizeHigh == tSeen.nFileSizeHigh &&
           tNow.nFileSizeLow == tSeen.nFileSizeLow &&
           CompareFileTime(&tNow.ftLastWriteTime, &tSeen.ftLastWriteTime) == 0;
}

// One look at every number not passed over: the first that has no file,
// else the least recently used ordinary file. False when there is neither;
// *pfAnyInUse then tells whether a file in use was passed over.
bool LookAtNumbers(const std::string& sPrefix, const std::string& sExtension, const std::string& sResolvedDirectory,
                   const NumberSet& passedOver, NumberChoice* ptChoice, bool* pfAnyInUse)
{
    bool fAnyPresent = false;
    NumberChoice tOldest;
    *pfAnyInUse = false;
    for (uint32_t dwCandidate = 0; dwCandidate < kNumberCount; ++dwCandidate)
    {
        if (passedOver.test(dwCandidate))
            continue;
        BY_HANDLE_FILE_INFORMATION tSeen;
        const CandidateState eState =
            ProbeCandidate(NumberedName(std::string(), sPrefix, dwCandidate, sExtension), sResolvedDirectory, &tSeen);
        if (eState == CandidateState_Free)
        {
            ptChoice->dwNumber = dwCandidate;
            ptChoice->eSeen = NumberSeen_Nothing;
            return true;
        }
        *pfAnyInUse = *pfAnyInUse || eState == CandidateState_InUse;
        if (eState != CandidateState_Present)
            continue;
        // Strictly earlier only: on equal times the lower number stays.
        const FILETIME ftUsed = LastUse(tSeen);
        const FILETIME ftOldest = LastUse(tOldest.tSeen);
        if (!fAnyPresent || CompareFileTime(&ftUsed, &ftOldest) < 0)
        {
            tOldest = NumberChoice{dwCandidate, NumberSeen_File, tSeen};
            fAnyPresent = true;
        }
    }
    if (!fAnyPresent)
        return false;
    *ptChoice = tOldest;
    return true;
}

} // namespace

std::string NumberedName(const std::string& sDirectory, const std::string& sBase, uint32_t dwNumber,
                         const std::string& sExtension)
{
    char szNumber[16];
    snprintf(szNumber, sizeof szNumber, kLogNumberFormat, static_cast<int>(dwNumber));
    return sDirectory + sBase + szNumber + sExtension;
}

bool ChooseNumber(const std::string& sFileName, const NumberSet& passedOver, NumberChoice* ptChoice)
{
    if (sFileName.empty())
        return false;
    const std::string sSuffix = CLogFile::GetNumberSuffix(sFileName);
    if (sSuffix.size() == 2)
    {
        // A numbered name goes on with the next number, without looking at files.
        const uint32_t dwNext = static_cast<uint32_t>((sSuffix[0] - '0') * 10 + (sSuffix[1] - '0')) + 1;
        ptChoice->dwNumber = dwNext > 99 ? 0 : dwNext;
        ptChoice->eSeen = NumberSeen_NotLooked;
        return true;
    }
    const std::string sDirectory = CLogFile::GetDirectoryPart(sFileName);
    const std::string sBase = CLogFile::GetBaseWithoutNumber(sFileName);
    if (sBase.empty())
        return false;
    const std::string sExtension = CLogFile::GetExtension(sFileName);

    // A file in use may be so only for another run's look at it, which
    // allows no sharing either: when nothing else is left, look again.
    const std::string sResolvedDirectory = ResolvedDirectory(sFileName);
    bool fAnyInUse = true;
    for (uint32_t nLook = 0; fAnyInUse && nLook < kNumberCount; ++nLook)
    {
        if (LookAtNumbers(sDirectory + sBase, sExtension, sResolvedDirectory, passedOver, ptChoice, &fAnyInUse))
            return true;
    }
    return false;
}

// The file is checked on the handle itself: the directory may have changed
// since the number was chosen. A number seen free is taken only by a file
// that this run makes, without following anything; a file seen there is
// opened as the entry itself, and so is an existing file of a name not
// looked at. This run must get the file's owner lock, and the file must be
// an ordinary one at its name (a file removed from under it is not), the
// very file seen if one was; only then is it emptied.
OpenResult OpenLogFile(const std::string& sFileName, bool fAppend, const NumberChoice& tChoice, HANDLE* phFile)
{
    const std::string sResolvedDirectory = ResolvedDirectory(sFileName);
    auto Open = [&sFileName](DWORD dwDisposition) {
        return CreateFileA(sFileName.c_str(), GENERIC_WRITE, kLogShareMode, nullptr, dwDisposition,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    };
    HANDLE hFile = tChoice.eSeen == NumberSeen_File ? INVALID_HANDLE_VALUE : Open(CREATE_NEW);
    if (hFile == INVALID_HANDLE_VALUE && (tChoice.eSeen == NumberSeen_File || (tChoice.eSeen == NumberSeen_NotLooked &&
                                                                               GetLastError() == ERROR_FILE_EXISTS)))
    {
        hFile = Open(OPEN_EXISTING);
    }
    // Whatever the name holds by now that cannot be opened (a link, another
    // run's file, nothing), another number may still be written.
    if (hFile == INVALID_HANDLE_VALUE)
        return OpenResult_Refused;
    // The lock first: what is checked then stays as it is while this run
    // writes. A file that cannot be described is not written either, but is
    // no reason to try the next number.
    BY_HANDLE_FILE_INFORMATION tInfo;
    OpenResult eResult = OpenResult_Refused;
    if (LockFile(hFile, 0, kOwnerLockOffsetHigh, 1, 0))
    {
        eResult = !GetFileInformationByHandle(hFile, &tInfo)                                 ? OpenResult_Failed
                  : !IsOrdinaryFile(hFile, tInfo, sResolvedDirectory, sFileName)             ? OpenResult_Refused
                  : tChoice.eSeen == NumberSeen_File && !IsTheFileSeen(tInfo, tChoice.tSeen) ? OpenResult_Refused
                  : !fAppend && !SetEndOfFile(hFile)                                         ? OpenResult_Failed
                                                                                             : OpenResult_Opened;
    }
    if (eResult == OpenResult_Opened)
    {
        *phFile = hFile;
    }
    else
    {
        CloseHandle(hFile);
    }
    return eResult;
}

} // namespace qxz::log

bool CLogFile::ChooseFileNumber(const std::string& sFileName, uint32_t* pdwNumber)
{
    qxz::log::NumberChoice tChoice;
    if (!qxz::log::ChooseNumber(sFileName, qxz::log::NumberSet(), &tChoice))
        return false;
    *pdwNumber = tChoice.dwNumber;
    return true;
}
