// In-process figures of the Pin's own work on the emulated machine:
// choosing the log's number, the command-line lookups of a run, and the
// port listing. Each pair is measured side by side in one run; the
// script bench/run_bench.py prints their ratios.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <string>

#include "log/log_file.h"
#include "pin/pin_main.h"
#include "platform/win32.h"
#include "qxzglue/qxzglue_names.h"
#include "qxzglue/qxzglue_utils.h"

namespace
{

const char kLogsDirectory[] = "C:\\bench-logs";
const char kPortsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Ports";

// A private emulated machine for the whole run, made before any call.
struct BenchMachine
{
    BenchMachine()
    {
        char szRoot[] = "/tmp/qxz-bench-XXXXXX";
        if (mkdtemp(szRoot) != nullptr)
            setenv("QXZ_MACHINE_ROOT", szRoot, 1);
        CreateDirectoryA(kLogsDirectory, nullptr);
    }
};
const BenchMachine g_BenchMachine;

void MakeNumberedLogFiles(int nCount)
{
    for (int i = 0; i < nCount; ++i)
    {
        char szName[MAX_PATH];
        snprintf(szName, sizeof szName, "%s\\qxqxin%02d.log", kLogsDirectory, i);
        HANDLE hFile = CreateFileA(szName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        CloseHandle(hFile);
    }
}

void RemoveNumberedLogFiles()
{
    for (int i = 0; i < 100; ++i)
    {
        char szName[MAX_PATH];
        snprintf(szName, sizeof szName, "%s\\qxqxin%02d.log", kLogsDirectory, i);
        DeleteFileA(szName);
    }
}

// (c) The number for a new log: no numbered file yet, or all hundred there.
void BM_ChooseFileNumber(benchmark::State& state)
{
    RemoveNumberedLogFiles();
    MakeNumberedLogFiles(static_cast<int>(state.range(0)));
    const std::string sName = std::string(kLogsDirectory) + "\\qxqxin.log";
    for (auto _ : state)
    {
        uint32_t dwNumber = 0;
        benchmark::DoNotOptimize(CLogFile::ChooseFileNumber(sName, &dwNumber));
    }
    RemoveNumberedLogFiles();
}
BENCHMARK(BM_ChooseFileNumber)->Arg(0)->Arg(100)->Unit(benchmark::kMicrosecond);

// The log of the measured work: a real file, emptied before each pass.
void ReopenLog(benchmark::State& state)
{
    state.PauseTiming();
    g_Log.Open(std::string(kLogsDirectory) + "\\bench.log", 0, LogFlag_NameAsGiven);
    state.ResumeTiming();
}

// (d) Every command-line lookup that a run makes, on a command line of the
// given length; the long part is a switch that no lookup asks for, so
// absent switches are searched through all of it.
void BM_CommandLineLookups(benchmark::State& state)
{
    std::string sText = "-printerdriver=Model A -product=Model A series -port=USB001 -infpath=";
    sText.append(static_cast<size_t>(state.range(0)) - sText.size(), 'x');
    const CQxCiString sCmdLine(sText.c_str());
    const CQxCiString sNoDriver;
    for (auto _ : state)
    {
        ReopenLog(state);
        CQxCiString sPortName, sDriverName;
        FindCmdLineVar(sCmdLine, g_sSwitchPort, &sPortName);
        benchmark::DoNotOptimize(IsDriverParameterSet(sCmdLine, sNoDriver, g_sSwitchStatusCode));
        benchmark::DoNotOptimize(IsDriverParameterSet(sCmdLine, sNoDriver, g_sSwitchPrinterDriver) &
                                 IsDriverParameterSet(sCmdLine, sNoDriver, g_sSwitchProduct) &
                                 IsDriverParameterSet(sCmdLine, sNoDriver, g_sSwitchPort));
        FindCmdLineVar(sCmdLine, g_sSwitchPrinterDriver, &sDriverName);
    }
    g_Log.Close();
}
BENCHMARK(BM_CommandLineLookups)->Arg(100)->Arg(32767)->Unit(benchmark::kMicrosecond);

// (e) The port verification with the given number of spooler ports, its
// lines written to the log file.
void BM_PortListing(benchmark::State& state)
{
    HKEY hKey = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPortsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &hKey,
                    nullptr);
    // A fresh machine has eight ports; more are added as local ports.
    for (int i = 8; i < state.range(0); ++i)
    {
        const std::string sPort = "NUL" + std::to_string(i) + ":";
        RegSetValueExA(hKey, sPort.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
    }
    RegCloseKey(hKey);
    const CQxCiString sCmdLine("-printerdriver=Model A -product=Model A series -port=USB001");
    for (auto _ : state)
    {
        ReopenLog(state);
        VerifyPort(sCmdLine);
    }
    g_Log.Close();
}
BENCHMARK(BM_PortListing)->Arg(8)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
