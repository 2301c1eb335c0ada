// The causes are told by the checks in the stack that ended the run, read
// innermost first: the first check that the table knows names the cause.
// Codes come from the registry's and the spooler's own lines.
#include "tools/qxzlog/diagnosis.h"

#include <algorithm>
#include <cctype>
#include <tuple>

#include "log/log_texts.h"
#include "qxzglue/qxzglue_names.h"
#include "qxzglue/qxzglue_utils.h"
#include "tools/qxzlog/ascii_text.h"

namespace qxz::qxzlog
{

namespace
{

// Longer values (a mebibyte of driver name) are cut in a sentence.
constexpr size_t kShownBytes = 80;

enum class Cause
{
    NoCommandLine,
    StatusCode,
    SwitchMissing,
    GlueRanEvent,
    GluePathUnreadable,
    GluePathMissing,
    InstallType,
    MutexFailed,
    MutexAbandoned,
    MutexTimeout,
    LanguageOverride,
    Registration,
};

// A failed check that tells the cause. pszSource: only from that module
// (the same text is checked elsewhere too); pszSubject: the value or object
// concerned; pszCodeValue: the registry value whose failure line holds the
// code; pszDetail: what the check says, for the summary.
struct KnownCheck
{
    const char* pszCondition;
    const char* pszSource;
    Cause eCause;
    const char* pszSubject;
    const char* pszCodeValue;
    const char* pszDetail;
};

constexpr KnownCheck kKnownChecks[] = {
    {"lpszCmdLine == 0", "pin_main.cpp", Cause::NoCommandLine, nullptr, nullptr, nullptr},
    {"*lpszCmdLine == '\\0'", "pin_main.cpp", Cause::NoCommandLine, nullptr, nullptr, nullptr},
    {"sCmdLine.empty()", "pin_main.cpp", Cause::NoCommandLine, nullptr, nullptr, nullptr},
    {"fStatusCodeSet == true", nullptr, Cause::StatusCode, "statuscode", nullptr, nullptr},
    {"fInstall == false", nullptr, Cause::SwitchMissing, nullptr, nullptr, nullptr},
    {"FindCmdLineVar( sCmdLine, g_sSwitchPrinterDriver, &sDriverName ) == false", nullptr, Cause::SwitchMissing,
     nullptr, nullptr, nullptr},
    {"hEventGlueRan == 0", nullptr, Cause::GlueRanEvent, "QXZ_Glue_Ran", nullptr, "could not be created"},
    {"SetEvent( hEventGlueRan ) == FALSE", nullptr, Cause::GlueRanEvent, "QXZ_Glue_Ran", nullptr,
     "could not be signalled"},
    {"dwType != REG_SZ", "qxzglue_registry.cpp", Cause::GluePathUnreadable, "GluePath", nullptr,
     "is not a string value (REG_SZ)"},
    {"cbData == 0", "qxzglue_registry.cpp", Cause::GluePathUnreadable, "GluePath", nullptr, "holds no data at all"},
    {"RegGetStringValue( sRegKeyGlueDriver, g_sRegVnGluePath, &sGluePath ) == false", nullptr,
     Cause::GluePathUnreadable, "GluePath", "GluePath", "could not be read"},
    {"IsFilePresent( sGluePath ) == false", nullptr, Cause::GluePathMissing, "GluePath", nullptr, nullptr},
    {"fRegOk == false", nullptr, Cause::InstallType, "PreloadPath", "PreloadPath",
     "the installer runs, but PreloadPath could not be read"},
    {"sPreloadPath != sFixedGluePath", nullptr, Cause::InstallType, "PreloadPath", nullptr,
     "the installer runs, but the Glue path is not the recorded PreloadPath"},
    {"GetShortPathName( sFixedGluePath.c_str(), szShortPath, _MAX_PATH ) == 0", nullptr, Cause::InstallType, "GluePath",
     nullptr, "the Glue path has no short form"},
    {"sFixedGluePath.length() < 2", nullptr, Cause::InstallType, "GluePath", nullptr, "the Glue path is too short"},
    {"GetInstallType( sGluePath, &eInstallType ) == false", nullptr, Cause::InstallType, nullptr, nullptr, nullptr},
    {"eInstallType == InstallType_Unknown", nullptr, Cause::InstallType, nullptr, nullptr, nullptr},
    {"hMutexInstallerInitializing == 0", nullptr, Cause::MutexFailed, "QXZ_Installation_Initializing", nullptr,
     "could not be created"},
    {"dwWaitResult == WAIT_FAILED", nullptr, Cause::MutexFailed, "QXZ_Installation_Initializing", nullptr,
     "could not be waited for"},
    {"dwWaitResult != WAIT_OBJECT_0", nullptr, Cause::MutexFailed, "QXZ_Installation_Initializing", nullptr,
     "could not be waited for"},
    {"dwWaitResult == WAIT_ABANDONED", nullptr, Cause::MutexAbandoned, "QXZ_Installation_Initializing", nullptr,
     nullptr},
    {"dwWaitResult == WAIT_TIMEOUT", nullptr, Cause::MutexTimeout, "QXZ_Installation_Initializing", nullptr, nullptr},
    {"RegSetStringValue( sRegKeyGlueDriver, g_sSwitchLanguageDir, sOverrideLanguage ) == false", nullptr,
     Cause::LanguageOverride, "languagedir", "languagedir", nullptr},
    {"RegSetStringValue( sRegKeyGlueDriver, g_sSwitchPinPathname, sPinPathname ) == false", nullptr,
     Cause::Registration, "pinpathname", "pinpathname", "was refused"},
    {"sPinPathname.empty()", "pin_install.cpp", Cause::Registration, "pinpathname", nullptr,
     "could not be formed: the Pin's own path name is empty"},
    {"GetPath( sPinPathname, &sPdiPathname ) == false", nullptr, Cause::Registration, "pdipathname", nullptr,
     "could not be formed: the Pin's path name has no directory"},
    {"sPdiPathname.empty()", nullptr, Cause::Registration, "pdipathname", nullptr, "could not be formed"},
    {"RegSetStringValue( sRegKeyGlueDriver, g_sSwitchPdiPathname, sPdiPathname ) == false", nullptr,
     Cause::Registration, "pdipathname", "pdipathname", "was refused"},
    {"GetPath( sPinPathname, &sGhoulPathname ) == false", nullptr, Cause::Registration, "ghoulpathname", nullptr,
     "could not be formed: the Pin's path name has no directory"},
    {"sGhoulPathname.empty()", nullptr, Cause::Registration, "ghoulpathname", nullptr, "could not be formed"},
    {"RegSetStringValue( sRegKeyGlueDriver, g_sSwitchGhoulPathname, sGhoulPathname ) == false", nullptr,
     Cause::Registration, "ghoulpathname", "ghoulpathname", "was refused"},
    {"RegSetStringValue( g_sRegKeyGlue + \"\\\\\" + sDriverName, g_sSwitchRunGhoul,\"true\" ) == false", nullptr,
     Cause::Registration, "runghoul", "runghoul", "was refused"},
    {"RegisterPin( sDriverName ) == false", nullptr, Cause::Registration, "pinpathname", "pinpathname", "failed"},
    {"RegisterPdi( sDriverName ) == false", nullptr, Cause::Registration, "pdipathname", "pdipathname", "failed"},
    {"RegisterGhoul( sDriverName ) == false", nullptr, Cause::Registration, "ghoulpathname", "ghoulpathname", "failed"},
};

const char* CauseName(Cause eCause)
{
    switch (eCause)
    {
        case Cause::NoCommandLine: return "no-command-line";
        case Cause::StatusCode: return "status-code";
        case Cause::SwitchMissing: return "switch-missing";
        case Cause::GlueRanEvent: return "glue-ran-event";
        case Cause::GluePathUnreadable: return "glue-path-unreadable";
        case Cause::GluePathMissing: return "glue-path-missing";
        case Cause::InstallType: return "install-type";
        case Cause::MutexFailed: return "mutex-failed";
        case Cause::MutexAbandoned: return "mutex-abandoned";
        case Cause::MutexTimeout: return "mutex-timeout";
        case Cause::LanguageOverride: return "language-override";
        case Cause::Registration: break;
    }
    return "registration";
}

std::string Shortened(const std::string& sValue)
{
    return sValue.size() > kShownBytes ? sValue.substr(0, kShownBytes) + "..." : sValue;
}

// A switch's value on the run's command line, by the Pin's own rules.
std::optional<std::string> SwitchValue(const LogRun& tRun, const CQxCiString& sSwitch)
{
    CQxCiString sValue;
    if (!tRun.tCommandLine.fPresent || !FindCmdLineVar(tRun.tCommandLine.sValue.c_str(), sSwitch, &sValue))
        return std::nullopt;
    return std::string(sValue.c_str(), sValue.length());
}

// The switches that the Pin's switch check found missing or empty.
std::optional<std::string> MissingSwitches(const LogRun& tRun)
{
    if (!tRun.tCommandLine.fPresent)
        return std::nullopt;
    const CQxCiString sCmdLine = tRun.tCommandLine.sValue.c_str();
    std::string sMissing;
    for (const CQxCiString* psSwitch : {&g_sSwitchPrinterDriver, &g_sSwitchProduct, &g_sSwitchPort})
    {
        if (!IsDriverParameterSet(sCmdLine, CQxCiString(), *psSwitch))
            sMissing += (sMissing.empty() ? "" : ",") + std::string(psSwitch->c_str());
    }
    if (sMissing.empty())
        return std::nullopt;
    return sMissing;
}

void SetCode(int64_t nCode, Finding* ptFinding)
{
    ptFinding->osCode = std::to_string(nCode);
    ptFinding->fWin32Code = true;
    if (const ErrorCode* ptCode = LookUpErrorCode(nCode))
    {
        ptFinding->osCodeName = ptCode->pszName;
        ptFinding->osCodeText = ptCode->pszText;
    }
}

// The code of the last registry failure line about the value.
const CodedLine* RegistryLineOf(const LogRun& tRun, const char* pszValueName)
{
    for (auto it = tRun.vCodedLines.rbegin(); it != tRun.vCodedLines.rend(); ++it)
    {
        if ((it->eSource == CodeSource::RegistryRead || it->eSource == CodeSource::RegistryWrite) &&
            SameTextIgnoringCase(it->sValueName, pszValueName))
        {
            return &*it;
        }
    }
    return nullptr;
}

const CodedLine* LastCodedLine(const LogRun& tRun, CodeSource eSource)
{
    for (auto it = tRun.vCodedLines.rbegin(); it != tRun.vCodedLines.rend(); ++it)
    {
        if (it->eSource == eSource)
            return &*it;
    }
    return nullptr;
}

std::string CodeClause(const Finding& tFinding)
{
    if (!tFinding.osCode)
        return "";
    return ": " + *tFinding.osCode + (tFinding.osCodeName ? " " + *tFinding.osCodeName : "");
}

const KnownCheck* FindKnownCheck(const LogRun& tRun)
{
    if (!tRun.HasFailedCheck())
        return nullptr;
    for (size_t i = tRun.iFailedCheck; i < tRun.vErrors.size(); ++i)
    {
        const ErrorLine& tError = tRun.vErrors[i];
        for (const KnownCheck& tCheck : kKnownChecks)
        {
            if (tError.sCondition == tCheck.pszCondition &&
                (tCheck.pszSource == nullptr || tError.sSource == tCheck.pszSource))
                return &tCheck;
        }
    }
    return nullptr;
}

std::string SummaryOf(const KnownCheck& tCheck, const Finding& tFinding, const std::string& sForDriver)
{
    const std::string sCode = CodeClause(tFinding);
    const std::string sDetail = tCheck.pszDetail != nullptr ? tCheck.pszDetail : "";
    switch (tCheck.eCause)
    {
        case Cause::NoCommandLine: return "The Pin was started without a command line: Glue passed no switches.";
        case Cause::StatusCode:
            return "Glue passed status code " + (tFinding.osCode ? Shortened(*tFinding.osCode) : "(not readable)") +
                   sForDriver + "; the Pin stopped.";
        case Cause::SwitchMissing:
        {
            const std::string sNames = tFinding.osSubject ? *tFinding.osSubject : "printerdriver";
            const bool fOne = sNames.find(',') == std::string::npos;
            std::string sListed = sNames;
            for (size_t i = sListed.find(','); i != std::string::npos; i = sListed.find(',', i + 2))
                sListed.replace(i, 1, ", ");
            return std::string(fOne ? "The switch " : "The switches ") + sListed + (fOne ? " is" : " are") +
                   " missing or empty on the command line" + sForDriver + ".";
        }
        case Cause::GlueRanEvent: return "The event QXZ_Glue_Ran " + sDetail + sForDriver + ".";
        case Cause::GluePathUnreadable: return "GluePath " + sDetail + sForDriver + sCode + ".";
        case Cause::GluePathMissing: return "The Glue path recorded" + sForDriver + " does not exist.";
        case Cause::InstallType:
            return "The kind of installation could not be told" + sForDriver + (sDetail.empty() ? "" : ": " + sDetail) +
                   sCode + ".";
        case Cause::MutexFailed:
            return "The installer's mutex QXZ_Installation_Initializing " + sDetail + sForDriver + ".";
        case Cause::MutexAbandoned:
            return "The installer's mutex QXZ_Installation_Initializing was abandoned" + sForDriver +
                   ": its owner ended without releasing it.";
        case Cause::MutexTimeout:
            return "The installer held its mutex QXZ_Installation_Initializing" + sForDriver +
                   " longer than the Pin waits.";
        case Cause::LanguageOverride:
            return "The language override could not be copied to languagedir" + sForDriver + sCode + ".";
        case Cause::Registration: break;
    }
    return "The registration of " + std::string(tCheck.pszSubject) + sForDriver + " " + sDetail + sCode + ".";
}

} // namespace

std::optional<std::string> DriverOf(const LogRun& tRun)
{
    if (tRun.tDriver.fPresent)
        return tRun.tDriver.sValue;
    return SwitchValue(tRun, g_sSwitchPrinterDriver);
}

std::optional<Finding> Diagnose(const LogRun& tRun)
{
    if (tRun.eOutcome == Outcome::Succeeded)
        return std::nullopt;
    const std::optional<std::string> osDriver = DriverOf(tRun);
    const std::string sForDriver = osDriver ? " for driver " + Shortened(*osDriver) : "";
    Finding tFinding;
    if (tRun.eOutcome == Outcome::Incomplete)
    {
        tFinding.sCause = "incomplete";
        if (!tRun.sLastStep.empty())
            tFinding.osSubject = tRun.sLastStep;
        tFinding.sSummary = "The run" + sForDriver + " has no closing lines: it was ended, or is still running" +
                            (tRun.sLastStep.empty() ? "" : "; its last step: " + Shortened(tRun.sLastStep)) + ".";
        return tFinding;
    }
    const KnownCheck* ptCheck = FindKnownCheck(tRun);
    if (ptCheck == nullptr)
    {
        tFinding.sCause = "unrecognised";
        if (tRun.HasFailedCheck())
        {
            const ErrorLine& tError = tRun.vErrors[tRun.iFailedCheck];
            tFinding.osSubject = tError.sCondition;
            tFinding.sSummary = "The run failed at a check that qxzlog does not know" + sForDriver + ": " +
                                Shortened(tError.sCondition) + " [" + Shortened(tError.sSource) + ", Line " +
                                std::to_string(tError.nLine) + "].";
        }
        else
        {
            tFinding.sSummary = "The run failed without logging a failed check" + sForDriver + ".";
        }
        return tFinding;
    }
    tFinding.sCause = CauseName(ptCheck->eCause);
    if (ptCheck->pszSubject != nullptr)
        tFinding.osSubject = ptCheck->pszSubject;
    if (ptCheck->eCause == Cause::SwitchMissing)
        tFinding.osSubject = MissingSwitches(tRun);
    if (ptCheck->eCause == Cause::StatusCode)
        tFinding.osCode = SwitchValue(tRun, g_sSwitchStatusCode);
    if (ptCheck->pszCodeValue != nullptr)
    {
        if (const CodedLine* ptLine = RegistryLineOf(tRun, ptCheck->pszCodeValue))
            SetCode(ptLine->nCode, &tFinding);
    }
    tFinding.sSummary = SummaryOf(*ptCheck, tFinding, sForDriver);
    return tFinding;
}

std::vector<Finding> Warnings(const LogRun& tRun)
{
    std::vector<Finding> vWarnings;
    if (tRun.fPortListRead && tRun.ePortState == PortState::NotFound && tRun.tPort.fPresent &&
        !tRun.tPort.sValue.empty())
    {
        Finding tFinding;
        tFinding.sCause = "port-not-found";
        tFinding.osSubject = tRun.tPort.sValue;
        tFinding.sSummary = "The port " + Shortened(tRun.tPort.sValue) +
                            " is not among the spooler's ports: nothing will print there until it exists.";
        vWarnings.push_back(std::move(tFinding));
    }
    const CodedLine* ptMonitor = LastCodedLine(tRun, CodeSource::AddMonitor);
    if (ptMonitor != nullptr && ptMonitor->nCode != kLogMonitorAlreadyInstalled)
    {
        Finding tFinding;
        tFinding.sCause = "usb-monitor";
        tFinding.osSubject = "usbmon";
        SetCode(ptMonitor->nCode, &tFinding);
        tFinding.sSummary = "The USB port monitor could not be added" + CodeClause(tFinding) + ".";
        vWarnings.push_back(std::move(tFinding));
    }
    if (tRun.fPortListFailed)
    {
        Finding tFinding;
        tFinding.sCause = "port-list";
        if (const CodedLine* ptList = LastCodedLine(tRun, CodeSource::PortList))
            SetCode(ptList->nCode, &tFinding);
        tFinding.sSummary = "The spooler's port list could not be read" +
                            (tFinding.osCode ? CodeClause(tFinding) : std::string(": no memory for it")) + ".";
        vWarnings.push_back(std::move(tFinding));
    }
    return vWarnings;
}

std::vector<FindingGroup> GroupFindings(const std::vector<RunRef>& vRuns)
{
    std::vector<FindingGroup> vGroups;
    auto Add = [&](const Finding& tFinding, bool fWarning, const LogRun& tRun) {
        auto it = std::find_if(vGroups.begin(), vGroups.end(), [&](const FindingGroup& tGroup) {
            return tGroup.fWarning == fWarning && tGroup.sCause == tFinding.sCause &&
                   tGroup.osSubject == tFinding.osSubject && tGroup.osCode == tFinding.osCode;
        });
        if (it == vGroups.end())
        {
            FindingGroup tGroup;
            tGroup.fWarning = fWarning;
            tGroup.sCause = tFinding.sCause;
            tGroup.osSubject = tFinding.osSubject;
            tGroup.osCode = tFinding.osCode;
            tGroup.fWin32Code = tFinding.fWin32Code;
            tGroup.ptLast = &tRun;
            it = vGroups.insert(vGroups.end(), std::move(tGroup));
        }
        ++it->cRuns;
        // Newest first: each run seen later is older.
        it->ptFirst = &tRun;
        const std::optional<std::string> osDriver = DriverOf(tRun);
        if (osDriver && std::find(it->vDrivers.begin(), it->vDrivers.end(), *osDriver) == it->vDrivers.end())
            it->vDrivers.push_back(*osDriver);
    };
    for (const RunRef& tRef : vRuns)
    {
        if (const std::optional<Finding> otDiagnosis = Diagnose(tRef.Run()))
            Add(*otDiagnosis, false, tRef.Run());
        for (const Finding& tWarning : Warnings(tRef.Run()))
            Add(tWarning, true, tRef.Run());
    }
    for (FindingGroup& tGroup : vGroups)
        std::sort(tGroup.vDrivers.begin(), tGroup.vDrivers.end());
    std::stable_sort(vGroups.begin(), vGroups.end(), [](const FindingGroup& t1, const FindingGroup& t2) {
        return std::make_tuple(t1.fWarning, -static_cast<int64_t>(t1.cRuns)) <
               std::make_tuple(t2.fWarning, -static_cast<int64_t>(t2.cRuns));
    });
    return vGroups;
}

} // namespace qxz::qxzlog
