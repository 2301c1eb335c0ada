// qxzlog's reading of a log on whatever a customer sends: garbage, runs cut
// anywhere, lines of a mebibyte, NUL bytes. Every run lies inside the bytes,
// in order; every run that did not succeed has a diagnosis; and what the
// tool prints of it is ASCII JSON.
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "tools/qxzlog/diagnosis.h"
#include "tools/qxzlog/output.h"

namespace
{

bool IsAscii(const std::string& sText)
{
    for (char ch : sText)
    {
        if (static_cast<unsigned char>(ch) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    using namespace qxz::qxzlog;
    const std::string sBytes(reinterpret_cast<const char*>(pData), cbData);
    std::vector<LogFile> vFiles(1);
    vFiles[0].vRuns = ParseLog(sBytes);
    size_t ibPrevious = 0;
    for (const LogRun& tRun : vFiles[0].vRuns)
    {
        FUZZ_REQUIRE(tRun.ibBegin >= ibPrevious && tRun.ibBegin < tRun.ibEnd && tRun.ibEnd <= sBytes.size());
        FUZZ_REQUIRE(!tRun.HasFailedCheck() || tRun.eOutcome == Outcome::Failed);
        ibPrevious = tRun.ibEnd;
        const std::optional<Finding> otDiagnosis = Diagnose(tRun);
        FUZZ_REQUIRE(otDiagnosis.has_value() == (tRun.eOutcome != Outcome::Succeeded));
        if (otDiagnosis)
            FUZZ_REQUIRE(!otDiagnosis->sCause.empty() && !otDiagnosis->sSummary.empty() &&
                         IsAscii(JsonFinding(*otDiagnosis)));
        for (const Finding& tWarning : Warnings(tRun))
            FUZZ_REQUIRE(!tWarning.sSummary.empty() && IsAscii(JsonFinding(tWarning)));
    }
    const std::vector<FindingGroup> vGroups = GroupFindings(RunsNewestFirst(vFiles));
    for (const FindingGroup& tGroup : vGroups)
        FUZZ_REQUIRE(tGroup.cRuns > 0 && tGroup.ptFirst != nullptr && tGroup.ptLast != nullptr);
    return 0;
}
