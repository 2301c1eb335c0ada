#include "pin/pin_main.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "log/log_check.h"
#include "log/log_texts.h"
#include "pin/pin_install.h"
#include "pin/pin_pathname.h"
#include "qxzglue/qxzglue_names.h"
#include "qxzglue/qxzglue_utils.h"

static const char kSourcePath[] = "..\\pin_main.cpp";

// ---- Port verification ------------------------------------------------------------

// The names of the port-type flags, by bit number.
static const char* const kPortTypeNames[] = {"PORT_TYPE_WRITE", "PORT_TYPE_READ", "PORT_TYPE_REDIRECTED",
                                             "PORT_TYPE_NET_ATTACHED"};

// The spooler may leave a string of a port record null.
static const char* TextOrEmpty(const char* pszText)
{
    return pszText != nullptr ? pszText : "";
}

bool IsUsbPort(const CQxCiString& sPortName)
{
    return sPortName.length() >= 3 && sPortName.compare(0, 3, "USB", 3) == 0;
}

bool IsSamePortName(const CQxCiString& sPortName, const char* pszEnumeratedName)
{
    const CQxCiString sEnumeratedName = TextOrEmpty(pszEnumeratedName);
    const CQxCiString::size_type nCompared = std::min(sPortName.length(), sEnumeratedName.length());
    return sEnumeratedName.compare(0, nCompared, sPortName.c_str(), nCompared) == 0;
}

void LogPortRecord(const PORT_INFO_2A& tPort)
{
    g_Log.LogMessage(0, kLogPortRecord, TextOrEmpty(tPort.pPortName), TextOrEmpty(tPort.pMonitorName),
                     TextOrEmpty(tPort.pDescription), static_cast<unsigned>(tPort.Reserved),
                     static_cast<unsigned>(tPort.fPortType));
    for (DWORD dwBit = 0; dwBit < 4; ++dwBit)
    {
        if ((tPort.fPortType & (1u << dwBit)) != 0)
            g_Log.LogMessage(0, kLogPortTypeFlag, kPortTypeNames[dwBit]);
    }
}

// A USB port needs the spooler's USB port monitor; a monitor that cannot be
// added is only logged.
static void AddUsbMonitor()
{
    char szMonitorName[] = "usbmon";
    char szEnvironment[] = "Windows 4.0";
    char szDllName[] = "usbmon.dll";
    MONITOR_INFO_2A tMonitor = {szMonitorName, szEnvironment, szDllName};

    g_Log.LogMessage(0, kLogAddMonitorCalling);
    if (AddMonitorA(nullptr, 2, reinterpret_cast<LPBYTE>(&tMonitor)))
    {
        g_Log.LogMessage(0, kLogAddMonitorSucceeded);
    }
    else
    {
        const DWORD dwError = GetLastError();
        g_Log.LogMessage(0, kLogAddMonitorFailed, static_cast<int>(dwError));
    }
}

// Logs every record of a filled port buffer; true when one of them is the
// requested port. Only whole records inside the buffer are read, whatever
// count the spooler reports.
static bool ListPortRecords(const BYTE* pbPorts, DWORD cbPorts, DWORD cPorts, const CQxCiString& sPortName)
{
    bool fFoundPortName = false;
    const DWORD cPortsInBuffer = std::min<DWORD>(cPorts, cbPorts / sizeof(PORT_INFO_2A));
    for (DWORD iPort = 0; iPort < cPortsInBuffer; ++iPort)
    {
        PORT_INFO_2A tPort;
        std::memcpy(&tPort, pbPorts + iPort * sizeof tPort, sizeof tPort);
        LogPortRecord(tPort);
        // Neither name may be empty: no characters compared would find any port.
        if (!sPortName.empty() && !fFoundPortName && *TextOrEmpty(tPort.pPortName) != '\0' &&
            IsSamePortName(sPortName, tPort.pPortName))
            fFoundPortName = true;
    }
    return fFoundPortName;
}

// Lists the spooler's ports; true when the requested port is among them.
static bool EnumerateAndFindPort(const CQxCiString& sPortName)
{
    // The first call only asks for the size of the list.
    g_Log.LogMessage(0, kLogEnumPortsFirstBefore);
    DWORD cbNeeded = 0;
    DWORD cPorts = 0;
    const BOOL fSizeResult = EnumPortsA(nullptr, 2, nullptr, 0, &cbNeeded, &cPorts);
    const DWORD dwSizeError = GetLastError();
    g_Log.LogMessage(0, kLogEnumPortsFirstResult, static_cast<int>(fSizeResult), static_cast<int>(dwSizeError));

    const DWORD cbPorts = cbNeeded;
    const std::unique_ptr<BYTE[]> pbPorts(new (std::nothrow) BYTE[cbPorts]);
    if (!pbPorts)
    {
        g_Log.LogMessage(0, kLogPortsAllocationFailed);
        g_Log.LogMessage(0, kLogPortsSecondCallSkipped);
        return false;
    }

    bool fFoundPortName = false;
    g_Log.LogMessage(0, kLogEnumPortsSecondBefore);
    if (EnumPortsA(nullptr, 2, pbPorts.get(), cbPorts, &cbNeeded, &cPorts))
    {
        fFoundPortName = ListPortRecords(pbPorts.get(), cbPorts, cPorts, sPortName);
    }
    else
    {
        const DWORD dwError = GetLastError();
        g_Log.LogMessage(0, kLogEnumPortsFailed, static_cast<int>(dwError));
    }
    g_Log.LogMessage(0, kLogEnumPortsSecondAfter);
    return fFoundPortName;
}

void VerifyPort(const CQxCiString& sCmdLine)
{
    CQxCiString sPortName;
    if (FindCmdLineVar(sCmdLine, g_sSwitchPort, &sPortName))
        g_Log.LogMessage(0, kLogPortGiven, sPortName.c_str());
    else
        g_Log.LogMessage(0, kLogPortNotGiven);

    if (IsUsbPort(sPortName))
        AddUsbMonitor();

    const bool fFoundPortName = EnumerateAndFindPort(sPortName);
    if (fFoundPortName)
        g_Log.LogMessage(0, kLogPortFound, sPortName.c_str(), 1);
    else
        g_Log.LogMessage(0, kLogPortNotFound, sPortName.c_str(), 0);
}

// ---- Switch checks --------------------------------------------------------------

bool RunSwitchChecks(const CQxCiString& sCmdLine, CQxCiString* psDriverName)
{
    // No driver is known yet, so only the command line counts.
    const CQxCiString sNoDriverName;

    // Glue reports a failure of its own through a status code; the Pin has
    // nothing to recover with.
    const bool fStatusCodeSet = IsDriverParameterSet(sCmdLine, sNoDriverName, g_sSwitchStatusCode);
    if (fStatusCodeSet)
    {
        g_Log.LogMessage(0, kLogStatusCodePassed);
        g_Log.LogMessage(0, kLogNoRecovery);
    }
    if (QX_FAILS(fStatusCodeSet == true))
        return false;

    // Each switch is looked up, so that the log names every missing one.
    const bool fHasPrinterDriver = IsDriverParameterSet(sCmdLine, sNoDriverName, g_sSwitchPrinterDriver);
    const bool fHasProduct = IsDriverParameterSet(sCmdLine, sNoDriverName, g_sSwitchProduct);
    const bool fHasPort = IsDriverParameterSet(sCmdLine, sNoDriverName, g_sSwitchPort);
    const bool fInstall = fHasPrinterDriver && fHasProduct && fHasPort;
    if (QX_FAILS(fInstall == false))
        return false;

    CQxCiString sDriverName;
    if (QX_FAILS(FindCmdLineVar( sCmdLine, g_sSwitchPrinterDriver, &sDriverName ) == false))
        return false;
    *psDriverName = sDriverName;

    if (QX_FAILS(PreInstall( sDriverName ) == false))
        return false;
    return true;
}

// ---- Entry ------------------------------------------------------------------------

// The checks of the raw text; *psCmdLine receives it when they pass.
static bool CheckCommandLine(const char* lpszCmdLine, CQxCiString* psCmdLine)
{
    if (QX_FAILS(lpszCmdLine == 0))
        return false;
    if (QX_FAILS(*lpszCmdLine == '\0'))
        return false;
    const CQxCiString sCmdLine = lpszCmdLine;
    if (QX_FAILS(sCmdLine.empty()))
        return false;

    *psCmdLine = sCmdLine;
    return true;
}

static const char* TextOrNull(const CQxCiString& sText)
{
    return sText.empty() ? kLogNull : sText.c_str();
}

int PinMain(const char* lpszCmdLine)
{
    CQxCiString sCmdLine;
    CQxCiString sDriverName;
    bool fSucceeded = false;

    g_Log.Open(kLogFileName, 0, LogFlag_Numbered);

    // Diagnostic only: the outcome does not depend on it. A null text is
    // looked at as an empty one.
    VerifyPort(CQxCiString(lpszCmdLine));

    if (CheckCommandLine(lpszCmdLine, &sCmdLine))
        fSucceeded = RunSwitchChecks(sCmdLine, &sDriverName);

    g_Log.LogMessage(0, kLogPinPathname, GetPinPathname().c_str());
    g_Log.LogMessage(0, kLogCommandLine, TextOrNull(sCmdLine));
    g_Log.LogMessage(0, kLogDriverName, TextOrNull(sDriverName));
    g_Log.LogMessage(0, kLogOutcomeFormat, fSucceeded ? kLogSucceeded : kLogFailed);
    return 0;
}
