// The log's file-name helpers on arbitrary names: the parts they cut must
// put the name back together.
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    const std::string sName(reinterpret_cast<const char*>(pData), cbData);
    const std::string sFilePart = CLogFile::GetFileNamePart(sName);
    const std::string sDirectory = CLogFile::GetDirectoryPart(sName);
    const std::string sStem = CLogFile::GetNameWithoutExtension(sName);
    const std::string sExtension = CLogFile::GetExtension(sName);
    const std::string sSuffix = CLogFile::GetNumberSuffix(sName);
    const std::string sBase = CLogFile::GetBaseWithoutNumber(sName);

    if (!sName.empty() && sName.back() != '\\')
        FUZZ_REQUIRE(sDirectory + sFilePart == sName);
    // Stem and extension split what follows the last backslash (nothing, for
    // a name that ends in one); a lone dot is no extension but is still cut
    // from the stem.
    const std::string sTail = sName.substr(sName.rfind('\\') == std::string::npos ? 0 : sName.rfind('\\') + 1);
    if (sExtension.empty())
    {
        FUZZ_REQUIRE(sStem == sTail || sStem + "." == sTail);
    }
    else
    {
        FUZZ_REQUIRE(sStem + sExtension == sTail);
    }
    FUZZ_REQUIRE(sSuffix.empty() || (sSuffix.size() == 2 && isdigit(static_cast<unsigned char>(sSuffix[0])) &&
                                     isdigit(static_cast<unsigned char>(sSuffix[1]))));
    FUZZ_REQUIRE(sBase + sSuffix == sStem);

    if (!sSuffix.empty())
    {
        // A name that ends in a number continues with the next one, no file examined.
        uint32_t dwNumber = 100;
        FUZZ_REQUIRE(CLogFile::ChooseFileNumber(sName, &dwNumber));
        FUZZ_REQUIRE(dwNumber == static_cast<uint32_t>((std::stoi(sSuffix) + 1) % 100));
    }
    return 0;
}
