#include "platform/posix/machine/faults.h"

#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/posix/machine/layer_state.h"

namespace qxz::posix
{

namespace
{

struct FaultRule
{
    std::string sCall;
    std::string sName; // empty: any
    unsigned nOrdinal; // 0: every call
    DWORD dwCode;
    unsigned nSeen;
};

struct FaultState
{
    std::mutex mutex;
    std::string sSpec;
    std::vector<FaultRule> vRules;
};
FaultState& Faults()
{
    return LayerState<FaultState>();
}

void ParseFaults(const std::string& sSpec, std::vector<FaultRule>* pvRules)
{
    pvRules->clear();
    size_t nStart = 0;
    while (nStart < sSpec.size())
    {
        size_t nEnd = sSpec.find(';', nStart);
        if (nEnd == std::string::npos)
            nEnd = sSpec.size();
        std::string sEntry = sSpec.substr(nStart, nEnd - nStart);
        nStart = nEnd + 1;
        size_t nEquals = sEntry.rfind('=');
        if (nEquals == std::string::npos || nEquals == 0)
            continue;
        FaultRule tRule{sEntry.substr(0, nEquals), "", 0,
                        static_cast<DWORD>(strtoul(sEntry.c_str() + nEquals + 1, nullptr, 0)), 0};
        size_t nHash = tRule.sCall.rfind('#');
        if (nHash != std::string::npos)
        {
            tRule.nOrdinal = static_cast<unsigned>(strtoul(tRule.sCall.c_str() + nHash + 1, nullptr, 10));
            tRule.sCall.erase(nHash);
        }
        size_t nAt = tRule.sCall.find('@');
        if (nAt != std::string::npos)
        {
            tRule.sName = tRule.sCall.substr(nAt + 1);
            tRule.sCall.erase(nAt);
        }
        pvRules->push_back(tRule);
    }
}

// A rule's name matches ignoring case; a final '*' matches any rest, so that
// one rule reaches every file of a directory.
bool NameMatches(const std::string& sRuleName, const char* pszName)
{
    if (pszName == nullptr)
        return false;
    if (sRuleName.back() != '*')
        return strcasecmp(sRuleName.c_str(), pszName) == 0;
    return strncasecmp(sRuleName.c_str(), pszName, sRuleName.size() - 1) == 0;
}

// With QXZ_TRACE_CALLS naming a file, every call that consults the faults is
// appended to it ("CALL<tab>NAME"), so a test can list the calls of a run and
// then make each of them fail in turn.
void TraceCall(const char* pszCall, const char* pszName)
{
    const char* pszTrace = getenv("QXZ_TRACE_CALLS");
    if (pszTrace == nullptr || pszTrace[0] == '\0')
        return;
    FILE* pFile = fopen(pszTrace, "a");
    if (pFile == nullptr)
        return;
    fprintf(pFile, "%s\t%s\n", pszCall, pszName != nullptr ? pszName : "");
    fclose(pFile);
}

} // namespace

bool FaultInjected(const char* pszCall, const char* pszName, DWORD* pdwCode)
{
    TraceCall(pszCall, pszName);
    const char* pszSpec = getenv("QXZ_FAULTS");
    if (pszSpec == nullptr || pszSpec[0] == '\0')
        return false;
    FaultState& tState = Faults();
    std::lock_guard<std::mutex> lock(tState.mutex);
    if (tState.sSpec != pszSpec)
    {
        tState.sSpec = pszSpec;
        ParseFaults(tState.sSpec, &tState.vRules);
    }
    for (FaultRule& tRule : tState.vRules)
    {
        if (tRule.sCall != pszCall)
            continue;
        if (!tRule.sName.empty() && !NameMatches(tRule.sName, pszName))
            continue;
        ++tRule.nSeen;
        if (tRule.nOrdinal != 0 && tRule.nSeen != tRule.nOrdinal)
            continue;
        *pdwCode = tRule.dwCode;
        return true;
    }
    return false;
}

bool ErrnoCallFaulted(const char* pszCall, const char* pszName)
{
    DWORD dwCode = 0;
    if (!FaultInjected(pszCall, pszName, &dwCode))
        return false;
    errno = static_cast<int>(dwCode);
    return true;
}

} // namespace qxz::posix
