// Reading the Pin's log: a run begins with its header line, ends with its
// four closing lines, and a failure leaves a stack of error lines, the
// innermost first.
#include "tools/qxzlog/log_runs.h"

#include <cstring>
#include <memory>
#include <string_view>

namespace qxz::qxzlog
{

namespace
{

constexpr std::string_view kHeaderStart = "**** ";
constexpr std::string_view kHeaderEnd = " - Logging Enabled ****";
constexpr std::string_view kPortGiven = "Input PortName is :: ";
constexpr std::string_view kPortFound = "Found the Input Port Name :: ";
constexpr std::string_view kPortNotFound = "Did not find the Input Port Name :: ";
constexpr std::string_view kPinPathname = "Pin Pathname = ";
constexpr std::string_view kCommandLine = "Command Line = ";
constexpr std::string_view kDriverName = "Driver Name = ";
constexpr std::string_view kSucceeded = "The Pin Succeeded";
constexpr std::string_view kFailed = "The Pin Failed";
constexpr std::string_view kErrorText = "Error --> ";
constexpr std::string_view kLineText = ", Line ";
// What a closing line prints for an empty value.
constexpr std::string_view kNull = "NULL";

// The lookup of Glue's status code reports the switch as missing with this
// line on every run that gets as far as the switch checks; it is no failure.
constexpr std::string_view kLookupSource = "qxzglue_utils.cpp";
constexpr std::string_view kLookupCondition = "sDriverName.empty()";

bool StartsWith(std::string_view sText, std::string_view sPrefix)
{
    return sText.size() >= sPrefix.size() && sText.compare(0, sPrefix.size(), sPrefix) == 0;
}

bool EndsWith(std::string_view sText, std::string_view sSuffix)
{
    return sText.size() >= sSuffix.size() && sText.compare(sText.size() - sSuffix.size(), sSuffix.size(), sSuffix) == 0;
}

bool HeaderTime(std::string_view sLine, std::string_view* psTime)
{
    if (sLine.size() < kHeaderStart.size() + kHeaderEnd.size())
        return false;
    if (!StartsWith(sLine, kHeaderStart) || !EndsWith(sLine, kHeaderEnd))
        return false;
    *psTime = sLine.substr(kHeaderStart.size(), sLine.size() - kHeaderStart.size() - kHeaderEnd.size());
    return true;
}

Text ClosingValue(std::string_view sValue)
{
    Text tText;
    tText.fPresent = sValue != kNull;
    if (tText.fPresent)
        tText.sValue.assign(sValue);
    return tText;
}

bool ParseDecimal(std::string_view sText, int64_t* pnValue)
{
    size_t i = 0;
    const bool fNegative = !sText.empty() && sText[0] == '-';
    if (fNegative)
        i = 1;
    // Up to ten digits: every int the log can print, and no overflow.
    if (sText.size() == i || sText.size() - i > 10)
        return false;
    int64_t nValue = 0;
    for (; i < sText.size(); ++i)
    {
        if (sText[i] < '0' || sText[i] > '9')
            return false;
        nValue = nValue * 10 + (sText[i] - '0');
    }
    *pnValue = fNegative ? -nValue : nValue;
    return true;
}

bool ParseErrorView(std::string_view sLine, ErrorLine* ptError)
{
    if (!StartsWith(sLine, "["))
        return false;
    const size_t iClose = sLine.find("]: ");
    if (iClose == std::string_view::npos)
        return false;
    const std::string_view sPlace = sLine.substr(1, iClose - 1);
    const std::string_view sText = sLine.substr(iClose + 3);
    const size_t iLine = sPlace.rfind(kLineText);
    if (iLine == std::string_view::npos || !StartsWith(sText, kErrorText))
        return false;
    int64_t nLine = 0;
    if (!ParseDecimal(sPlace.substr(iLine + kLineText.size()), &nLine))
        return false;
    ptError->sSource.assign(sPlace.substr(0, iLine));
    ptError->nLine = nLine;
    ptError->sCondition.assign(sText.substr(kErrorText.size()));
    return true;
}

// Reads the lines of one run as they come.
//
// The failed check is the innermost line of the stack that ends the run. The
// stack lies between the port check's result and the closing lines. A
// message line that does not follow an error line shows that the run went
// on, so the stack begins after the last such line; a message right after an
// error line tells more about that failure and belongs to the stack. The
// status-code lookup's line, the first error line after the port check when
// the switch checks ran, is no failure.
class RunReader
{
public:
    explicit RunReader(LogRun* ptRun) : m_ptRun(ptRun)
    {
    }

    void Add(std::string_view sLine)
    {
        ErrorLine tError;
        if (!sLine.empty() && sLine[0] == '[' && ParseErrorView(sLine, &tError))
        {
            AddError(std::move(tError));
            return;
        }
        const bool fContinues = !m_fAfterError;
        m_fAfterError = false;
        if (sLine.empty())
        {
            if (fContinues)
                m_iStackBegin = kNone;
            return;
        }
        switch (sLine[0])
        {
            case 'I':
                if (StartsWith(sLine, kPortGiven))
                {
                    m_ptRun->tPort.fPresent = true;
                    m_ptRun->tPort.sValue.assign(sLine.substr(kPortGiven.size()));
                }
                break;
            case 'F':
            case 'D':
                if (StartsWith(sLine, kPortFound) || StartsWith(sLine, kPortNotFound))
                {
                    m_ptRun->ePortState = sLine[0] == 'F' ? PortState::Found : PortState::NotFound;
                    m_iStackBegin = kNone;
                    m_fLookupPending = true;
                    return;
                }
                if (StartsWith(sLine, kDriverName))
                    m_ptRun->tDriver = ClosingValue(sLine.substr(kDriverName.size()));
                break;
            case 'P':
                if (StartsWith(sLine, kPinPathname))
                {
                    m_ptRun->tPinPathname = ClosingValue(sLine.substr(kPinPathname.size()));
                    m_iFailedCheck = m_iStackBegin;
                    m_fClosing = true;
                }
                break;
            case 'C':
                if (StartsWith(sLine, kCommandLine))
                    m_ptRun->tCommandLine = ClosingValue(sLine.substr(kCommandLine.size()));
                break;
            case 'T':
                if (sLine == kSucceeded || sLine == kFailed)
                {
                    m_ptRun->eOutcome = sLine == kSucceeded ? Outcome::Succeeded : Outcome::Failed;
                    if (!m_fClosing)
                        m_iFailedCheck = m_iStackBegin;
                    m_fClosing = false;
                }
                break;
            default: break;
        }
        if (fContinues)
            m_iStackBegin = kNone;
    }

    void Finish()
    {
        if (m_ptRun->eOutcome == Outcome::Failed)
            m_ptRun->iFailedCheck = m_iFailedCheck;
    }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    void AddError(ErrorLine tError)
    {
        const bool fLookup =
            m_fLookupPending && tError.sSource == kLookupSource && tError.sCondition == kLookupCondition;
        m_fLookupPending = false;
        m_fAfterError = true;
        m_ptRun->vErrors.push_back(std::move(tError));
        if (!fLookup && m_iStackBegin == kNone)
            m_iStackBegin = m_ptRun->vErrors.size() - 1;
    }

    LogRun* m_ptRun;
    bool m_fAfterError = false;
    bool m_fLookupPending = true;
    bool m_fClosing = false;       // "Pin Pathname" seen since the last result line
    size_t m_iStackBegin = kNone;  // into the errors: the innermost line of the stack so far
    size_t m_iFailedCheck = kNone; // the stack's innermost line when the closing lines began
};

int MonthNumber(std::string_view sName)
{
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i)
    {
        if (sName == kMonths[i])
            return i + 1;
    }
    return 0;
}

bool IsDayName(std::string_view sName)
{
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    for (const char* pszDay : kDays)
    {
        if (sName == pszDay)
            return true;
    }
    return false;
}

bool Digits(std::string_view sText, size_t iAt, size_t cDigits, int* pnValue)
{
    int nValue = 0;
    for (size_t i = iAt; i < iAt + cDigits; ++i)
    {
        if (sText[i] < '0' || sText[i] > '9')
            return false;
        nValue = nValue * 10 + (sText[i] - '0');
    }
    *pnValue = nValue;
    return true;
}

void StartRun(std::string_view sTime, size_t ibBegin, std::vector<LogRun>* pvRuns)
{
    LogRun tRun;
    tRun.sStarted.assign(sTime);
    tRun.fStartedKnown = ParseTimeText(tRun.sStarted, &tRun.nStartedKey);
    tRun.ibBegin = ibBegin;
    pvRuns->push_back(std::move(tRun));
}

} // namespace

int64_t CalendarKey(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond)
{
    // Days since 1970-01-01 of the proleptic Gregorian calendar.
    const int64_t nShiftedYear = nMonth <= 2 ? nYear - 1 : nYear;
    const int64_t nEra = (nShiftedYear >= 0 ? nShiftedYear : nShiftedYear - 399) / 400;
    const int64_t nYearOfEra = nShiftedYear - nEra * 400;
    const int64_t nDayOfYear = (153 * (nMonth > 2 ? nMonth - 3 : nMonth + 9) + 2) / 5 + nDay - 1;
    const int64_t nDayOfEra = nYearOfEra * 365 + nYearOfEra / 4 - nYearOfEra / 100 + nDayOfYear;
    const int64_t nDays = nEra * 146097 + nDayOfEra - 719468;
    return nDays * 86400 + nHour * 3600 + nMinute * 60 + nSecond;
}

bool ParseTimeText(const std::string& sText, int64_t* pnKey)
{
    // "Wed Dec 09 23:12:19 2026"
    const std::string_view sTime(sText);
    if (sTime.size() != 24 || sTime[3] != ' ' || sTime[7] != ' ' || sTime[10] != ' ' || sTime[13] != ':' ||
        sTime[16] != ':' || sTime[19] != ' ')
    {
        return false;
    }
    const int nMonth = MonthNumber(sTime.substr(4, 3));
    int nDay, nHour, nMinute, nSecond, nYear;
    if (!IsDayName(sTime.substr(0, 3)) || nMonth == 0 || !Digits(sTime, 8, 2, &nDay) || !Digits(sTime, 11, 2, &nHour) ||
        !Digits(sTime, 14, 2, &nMinute) || !Digits(sTime, 17, 2, &nSecond) || !Digits(sTime, 20, 4, &nYear))
    {
        return false;
    }
    if (nDay < 1 || nDay > 31 || nHour > 23 || nMinute > 59 || nSecond > 60)
        return false;
    *pnKey = CalendarKey(nYear, nMonth, nDay, nHour, nMinute, nSecond);
    return true;
}

bool ParseErrorLine(const std::string& sLine, ErrorLine* ptError)
{
    return ParseErrorView(sLine, ptError);
}

std::vector<LogRun> ParseLog(const std::string& sBytes)
{
    std::vector<LogRun> vRuns;
    std::unique_ptr<RunReader> pReader;
    size_t ibLine = 0;
    while (ibLine < sBytes.size())
    {
        const void* pNewline = std::memchr(sBytes.data() + ibLine, '\n', sBytes.size() - ibLine);
        const size_t ibNext = pNewline == nullptr
                                  ? sBytes.size()
                                  : static_cast<size_t>(static_cast<const char*>(pNewline) - sBytes.data()) + 1;
        std::string_view sLine(sBytes.data() + ibLine, (pNewline == nullptr ? ibNext : ibNext - 1) - ibLine);
        if (!sLine.empty() && sLine.back() == '\r')
            sLine.remove_suffix(1);
        std::string_view sTime;
        if (!sLine.empty() && sLine[0] == '*' && HeaderTime(sLine, &sTime))
        {
            if (pReader)
            {
                pReader->Finish();
                vRuns.back().ibEnd = ibLine;
            }
            StartRun(sTime, ibLine, &vRuns);
            pReader = std::make_unique<RunReader>(&vRuns.back());
        }
        else if (pReader)
        {
            pReader->Add(sLine);
        }
        ibLine = ibNext;
    }
    if (pReader)
    {
        pReader->Finish();
        vRuns.back().ibEnd = sBytes.size();
    }
    return vRuns;
}

const char* OutcomeName(Outcome eOutcome)
{
    switch (eOutcome)
    {
        case Outcome::Succeeded: return "succeeded";
        case Outcome::Failed: return "failed";
        case Outcome::Incomplete: break;
    }
    return "incomplete";
}

} // namespace qxz::qxzlog
