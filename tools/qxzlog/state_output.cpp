// What --state prints.
#include "tools/qxzlog/state_output.h"

#include <cstring>

#include "qxzglue/qxzglue_names.h"
#include "tools/qxzlog/error_codes.h"
#include "tools/qxzlog/output.h"

namespace qxz::qxzlog
{

namespace
{

// More bytes of a binary value are not shown.
constexpr size_t kShownDataBytes = 32;

bool IsStringType(DWORD dwType)
{
    return dwType == REG_SZ || dwType == REG_EXPAND_SZ || dwType == REG_MULTI_SZ || dwType == REG_LINK;
}

bool IsNumber(const ValueState& tValue)
{
    return tValue.dwType == REG_DWORD && tValue.sData.size() == 4;
}

uint32_t Number(const ValueState& tValue)
{
    uint32_t nValue = 0;
    std::memcpy(&nValue, tValue.sData.data(), sizeof nValue);
    return nValue;
}

std::string Hex(const std::string& sBytes, size_t cbMost)
{
    std::string sHex;
    for (size_t i = 0; i < sBytes.size() && i < cbMost; ++i)
    {
        char szByte[4];
        std::snprintf(szByte, sizeof szByte, "%s%02x", i == 0 ? "" : " ", static_cast<unsigned char>(sBytes[i]));
        sHex += szByte;
    }
    return sHex;
}

std::string JsonError(LONG lCode)
{
    const ErrorCode* ptCode = LookUpErrorCode(lCode);
    return "{\"code\": " + std::to_string(lCode) +
           ", \"code_name\": " + (ptCode != nullptr ? JsonString(ptCode->pszName) : "null") +
           ", \"code_text\": " + (ptCode != nullptr ? JsonString(ptCode->pszText) : "null") + "}";
}

std::string JsonValue(const ValueState& tValue)
{
    if (!tValue.fPresent)
        return "null";
    if (tValue.lError != ERROR_SUCCESS)
        return "{\"type\": null, \"data\": null, \"exists\": null, \"error\": " + JsonError(tValue.lError) + "}";
    std::string sData;
    if (IsNumber(tValue))
        sData = std::to_string(Number(tValue));
    else if (IsStringType(tValue.dwType))
        sData = JsonString(tValue.Text());
    else
        sData = JsonString(Hex(tValue.sData, tValue.sData.size()));
    const char* pszExists = tValue.eExists == Exists::NotAFile ? "null"
                            : tValue.eExists == Exists::Yes    ? "true"
                                                               : "false";
    return "{\"type\": " + JsonString(RegTypeName(tValue.dwType)) + ", \"data\": " + sData +
           ", \"exists\": " + pszExists + "}";
}

std::string JsonValues(const std::vector<ValueState>& vValues)
{
    std::string sJson = "{";
    for (const ValueState& tValue : vValues)
        sJson += (sJson.size() > 1 ? ", " : "") + JsonString(tValue.sName) + ": " + JsonValue(tValue);
    return sJson + "}";
}

void PrintValuesText(std::FILE* pOut, const std::vector<ValueState>& vValues)
{
    for (const ValueState& tValue : vValues)
    {
        std::string sShown = "not set";
        if (tValue.fPresent && tValue.lError != ERROR_SUCCESS)
            sShown = "cannot be read: " + CodeDescription(tValue.lError);
        else if (tValue.fPresent)
            sShown = RegTypeName(tValue.dwType) + "  " + ValueDataText(tValue) + "  " + ExistsText(tValue.eExists);
        while (!sShown.empty() && sShown.back() == ' ')
            sShown.pop_back();
        std::fprintf(pOut, "  %-20s %s\n", tValue.sName.c_str(), sShown.c_str());
    }
}

} // namespace

std::string GlueKeyName()
{
    return std::string("HKEY_LOCAL_MACHINE\\") + g_sRegKeyGlue.c_str();
}

std::string ValueDataText(const ValueState& tValue)
{
    if (IsNumber(tValue))
        return std::to_string(Number(tValue));
    if (IsStringType(tValue.dwType))
        return "\"" + Shown(tValue.Text()) + "\"";
    return Hex(tValue.sData, kShownDataBytes) + (tValue.sData.size() > kShownDataBytes ? " ..." : "");
}

const char* ExistsText(Exists eExists)
{
    switch (eExists)
    {
        case Exists::Yes: return "exists";
        case Exists::No: return "missing";
        case Exists::NotAFile: break;
    }
    return "";
}

std::string CodeDescription(LONG lCode)
{
    return CodeNote(lCode);
}

void PrintStateText(std::FILE* pOut, const GlueState& tState)
{
    std::fprintf(pOut, "%s\n", GlueKeyName().c_str());
    PrintValuesText(pOut, tState.vGlueValues);
    for (const DriverState& tDriver : tState.vDrivers)
    {
        std::fprintf(pOut, "\ndriver \"%s\"\n", Shown(tDriver.sDriver).c_str());
        if (tDriver.lError != ERROR_SUCCESS)
            std::fprintf(pOut, "  the key cannot be read: %s\n", CodeDescription(tDriver.lError).c_str());
        PrintValuesText(pOut, tDriver.vValues);
        for (const Problem& tProblem : tDriver.vProblems)
            std::fprintf(pOut, "  PROBLEM %s: %s\n", tProblem.sProblem.c_str(), Shown(tProblem.sText).c_str());
    }
    if (tState.vDrivers.empty())
        std::fprintf(pOut, "\nno driver's key\n");
}

void PrintStateJson(std::FILE* pOut, const GlueState& tState)
{
    std::fprintf(pOut, "{\"glue\": %s,\n \"drivers\": [", JsonValues(tState.vGlueValues).c_str());
    const char* pszSeparator = "\n";
    for (const DriverState& tDriver : tState.vDrivers)
    {
        std::string sProblems;
        for (const Problem& tProblem : tDriver.vProblems)
        {
            sProblems += (sProblems.empty() ? "" : ", ") + std::string("{\"problem\": ") +
                         JsonString(tProblem.sProblem) + ", \"value\": " + JsonString(tProblem.sValue) +
                         ", \"text\": " + JsonString(tProblem.sText) + "}";
        }
        std::fprintf(pOut, "%s  {\"driver\": %s, \"error\": %s, \"values\": %s, \"problems\": [%s]}", pszSeparator,
                     JsonString(tDriver.sDriver).c_str(),
                     tDriver.lError == ERROR_SUCCESS ? "null" : JsonError(tDriver.lError).c_str(),
                     JsonValues(tDriver.vValues).c_str(), sProblems.c_str());
        pszSeparator = ",\n";
    }
    std::fputs("\n]}\n", pOut);
}

} // namespace qxz::qxzlog
