// Reading the Pin's log: a run begins with its header line, ends with its
// four closing lines, and a failure leaves a stack of error lines, the
// innermost first.
#include "tools/qxzlog/log_runs.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "log/log_texts.h"
#include "tools/qxzlog/format_match.h"

namespace qxz::qxzlog
{

namespace
{

// The header's line: its format without the empty lines around it.
constexpr std::string_view HeaderLineFormat()
{
    std::string_view sFormat = kLogHeaderFormat;
    while (!sFormat.empty() && sFormat.front() == '\n')
        sFormat.remove_prefix(1);
    while (!sFormat.empty() && sFormat.back() == '\n')
        sFormat.remove_suffix(1);
    return sFormat;
}

// An error line of a failed check: the place, then the check's text.
const std::string& ErrorLineFormat()
{
    static const std::string sFormat = std::string(kLogErrorPlaceFormat) + kLogCheckFormat;
    return sFormat;
}

// The lookup of Glue's status code reports the switch as missing with this
// line on every run that gets as far as the switch checks; it is no failure.
constexpr std::string_view kLookupSource = "qxzglue_utils.cpp";
constexpr std::string_view kLookupCondition = "sDriverName.empty()";

// The step that a registry line shows the run in, by the value concerned.
struct ValueStep
{
    const char* pszValueName;
    const char* pszStep;
};
constexpr ValueStep kValueSteps[] = {
    {"PreloadPath", "install type"},
    {"OverrideLanguage", "language override"},
    {"pintimeout", "mutex wait"},
};

std::string StepOfValue(std::string_view sValueName)
{
    for (const ValueStep& tStep : kValueSteps)
    {
        if (sValueName == tStep.pszValueName)
            return tStep.pszStep;
    }
    return std::string(sValueName);
}

// Whether the line is what the format prints; the first byte rejects most
// lines at once.
bool Matches(std::string_view sLine, std::string_view sFormat, std::vector<std::string_view>* pvFields)
{
    if (!sFormat.empty() && sFormat[0] != '%' && (sLine.empty() || sLine[0] != sFormat[0]))
        return false;
    return MatchFormat(sLine, sFormat, pvFields);
}

bool Matches(std::string_view sLine, std::string_view sFormat)
{
    std::vector<std::string_view> vFields;
    return Matches(sLine, sFormat, &vFields);
}

bool HeaderTime(std::string_view sLine, std::string_view* psTime)
{
    std::vector<std::string_view> vFields;
    if (!MatchFormat(sLine, HeaderLineFormat(), &vFields))
        return false;
    *psTime = vFields[0];
    return true;
}

// The text of a closing line's one value, or false for another line.
bool ClosingField(std::string_view sLine, std::string_view sFormat, Text* ptText)
{
    std::vector<std::string_view> vFields;
    if (!Matches(sLine, sFormat, &vFields))
        return false;
    ptText->fPresent = vFields[0] != kLogNull;
    ptText->sValue.assign(ptText->fPresent ? vFields[0] : std::string_view());
    return true;
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
    std::vector<std::string_view> vFields;
    int64_t nLine = 0;
    if (!MatchFormat(sLine, ErrorLineFormat(), &vFields) || !ParseDecimal(vFields[1], &nLine))
        return false;
    ptError->sSource.assign(vFields[0]);
    ptError->nLine = nLine;
    ptError->sCondition.assign(vFields[2]);
    return true;
}

// The code of a line that reports one: which format it matches, and which of
// its fields is the code and which the value name.
struct CodedFormat
{
    std::string_view sFormat;
    CodeSource eSource;
    size_t iCode;
    size_t iValueName; // kNoField: none
};
constexpr size_t kNoField = static_cast<size_t>(-1);
constexpr CodedFormat kCodedFormats[] = {
    {kLogRegGetStringFailed, CodeSource::RegistryRead, 2, 1},
    {kLogRegSetStringFailed, CodeSource::RegistryWrite, 3, 1},
    {kLogRegSetDwordFailed, CodeSource::RegistryWrite, 3, 1},
    {kLogAddMonitorFailed, CodeSource::AddMonitor, 0, kNoField},
    {kLogEnumPortsFirstResult, CodeSource::PortListSize, 1, kNoField},
    {kLogEnumPortsFailed, CodeSource::PortList, 0, kNoField},
};

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
        if (AddPortLine(sLine))
            return;
        AddMessage(sLine);
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

    // The port check's result: the stack of a failure lies after it. True
    // for that line.
    bool AddPortLine(std::string_view sLine)
    {
        if (Matches(sLine, kLogPortFound) || Matches(sLine, kLogPortNotFound))
        {
            m_ptRun->ePortState = Matches(sLine, kLogPortFound) ? PortState::Found : PortState::NotFound;
            m_ptRun->sLastStep = "port check";
            m_iStackBegin = kNone;
            m_fLookupPending = true;
            return true;
        }
        return false;
    }

    void AddMessage(std::string_view sLine)
    {
        CodedLine tCoded;
        if (ParseCodedLine(sLine, &tCoded))
        {
            tCoded.cErrorsBefore = m_ptRun->vErrors.size();
            if (tCoded.eSource == CodeSource::RegistryRead || tCoded.eSource == CodeSource::RegistryWrite)
                m_ptRun->sLastStep = StepOfValue(tCoded.sValueName);
            if (tCoded.eSource == CodeSource::PortList)
                m_ptRun->fPortListFailed = true;
            m_ptRun->vCodedLines.push_back(std::move(tCoded));
            return;
        }
        std::vector<std::string_view> vFields;
        if (Matches(sLine, kLogPortGiven, &vFields))
        {
            m_ptRun->tPort.fPresent = true;
            m_ptRun->tPort.sValue.assign(vFields[0]);
            m_ptRun->sLastStep = "port lookup";
        }
        else if (Matches(sLine, kLogPortNotGiven))
        {
            m_ptRun->sLastStep = "port lookup";
        }
        else if (Matches(sLine, kLogAddMonitorCalling))
        {
            m_ptRun->sLastStep = "AddMonitor";
        }
        else if (Matches(sLine, kLogEnumPortsFirstBefore))
        {
            m_ptRun->sLastStep = "EnumPorts";
        }
        else if (Matches(sLine, kLogPortsAllocationFailed))
        {
            m_ptRun->fPortListFailed = true;
        }
        else if (Matches(sLine, kLogEnumPortsSecondAfter))
        {
            m_ptRun->fPortListRead = !m_ptRun->fPortListFailed;
        }
        else if (Matches(sLine, kLogStatusCodePassed))
        {
            m_ptRun->fStatusCodePassed = true;
        }
        else if (ClosingField(sLine, kLogPinPathname, &m_ptRun->tPinPathname))
        {
            m_iFailedCheck = m_iStackBegin;
            m_fClosing = true;
            m_ptRun->sLastStep = "closing lines";
        }
        else if (ClosingField(sLine, kLogCommandLine, &m_ptRun->tCommandLine) ||
                 ClosingField(sLine, kLogDriverName, &m_ptRun->tDriver))
        {
        }
        else if (sLine == kLogSucceeded || sLine == kLogFailed)
        {
            m_ptRun->eOutcome = sLine == kLogSucceeded ? Outcome::Succeeded : Outcome::Failed;
            if (!m_fClosing)
                m_iFailedCheck = m_iStackBegin;
            m_fClosing = false;
        }
    }

    void AddError(ErrorLine tError)
    {
        const bool fLookup =
            m_fLookupPending && tError.sSource == kLookupSource && tError.sCondition == kLookupCondition;
        m_fLookupPending = false;
        m_fAfterError = true;
        if (fLookup)
            m_ptRun->sLastStep = "switch checks";
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

bool ParseErrorLine(std::string_view sLine, ErrorLine* ptError)
{
    return ParseErrorView(sLine, ptError);
}

bool ParseCodedLine(std::string_view sLine, CodedLine* ptLine)
{
    std::vector<std::string_view> vFields;
    for (const CodedFormat& tFormat : kCodedFormats)
    {
        int64_t nCode = 0;
        if (!Matches(sLine, tFormat.sFormat, &vFields) || !ParseDecimal(vFields[tFormat.iCode], &nCode))
            continue;
        ptLine->eSource = tFormat.eSource;
        ptLine->nCode = nCode;
        ptLine->sValueName.assign(tFormat.iValueName == kNoField ? std::string_view() : vFields[tFormat.iValueName]);
        return true;
    }
    return false;
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

std::vector<std::string> RunLines(const std::string& sFileBytes, const LogRun& tRun)
{
    const size_t ibEndOfRun = std::min(tRun.ibEnd, sFileBytes.size());
    std::vector<std::string> vLines;
    for (size_t ibLine = std::min(tRun.ibBegin, ibEndOfRun); ibLine < ibEndOfRun;)
    {
        size_t ibEnd = sFileBytes.find('\n', ibLine);
        if (ibEnd == std::string::npos || ibEnd > ibEndOfRun)
            ibEnd = ibEndOfRun;
        vLines.push_back(sFileBytes.substr(ibLine, ibEnd - ibLine));
        if (!vLines.back().empty() && vLines.back().back() == '\r')
            vLines.back().pop_back();
        ibLine = ibEnd + 1;
    }
    return vLines;
}

} // namespace qxz::qxzlog
