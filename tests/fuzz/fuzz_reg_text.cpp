// The emulated registry's .reg reader on arbitrary text: it accepts or
// refuses, and what it accepts is written back and read again unchanged.
#include <cstdint>
#include <string>

#include "regtext/reg_text.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    const std::string sText(reinterpret_cast<const char*>(pData), cbData);
    qxz::RegTextKeys keys;
    std::string sError;
    if (!qxz::ParseRegText(sText, &keys, &sError))
    {
        FUZZ_REQUIRE(keys.empty() && !sError.empty());
        return 0;
    }
    const std::string sFormatted = qxz::FormatRegText(keys);
    qxz::RegTextKeys again;
    FUZZ_REQUIRE(qxz::ParseRegText(sFormatted, &again, &sError));
    FUZZ_REQUIRE(qxz::FormatRegText(again) == sFormatted);
    return 0;
}
