// The command-line lookup on arbitrary command lines: the first byte picks
// the switch, the rest is the command line.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "qxzglue/qxzglue_names.h"
#include "qxzglue/qxzglue_utils.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    StartFuzzMachine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    static const CQxCiString* const apKeys[] = {&g_sSwitchPrinterDriver, &g_sSwitchProduct, &g_sSwitchPort,
                                                &g_sSwitchStatusCode,    &g_sSwitchRunPin,  &g_sSwitchCoRunPin};
    if (cbData == 0)
        return 0;
    const CQxCiString& sKey = *apKeys[pData[0] % (sizeof apKeys / sizeof apKeys[0])];
    // A process command line holds no NUL.
    std::string sText(reinterpret_cast<const char*>(pData) + 1, cbData - 1);
    std::replace(sText.begin(), sText.end(), '\0', ' ');
    const CQxCiString sCmdLine(sText.c_str());

    CQxCiString sValue("unchanged");
    if (FindCmdLineVar(sCmdLine, sKey, &sValue))
    {
        // A value is a piece of the command line exactly as written, never
        // starting with a blank.
        FUZZ_REQUIRE(sText.find(sValue.c_str()) != std::string::npos);
        FUZZ_REQUIRE(sValue.empty() || sValue[0] != ' ');
    }
    else
    {
        FUZZ_REQUIRE(strcmp(sValue.c_str(), "unchanged") == 0);
    }

    CQxCiString sParameterValue;
    if (GetDriverParameter(sCmdLine, CQxCiString(), sKey, &sParameterValue))
    {
        FUZZ_REQUIRE(!sParameterValue.empty());
    }
    return 0;
}
