// Lining up two runs' lines.
#include "tools/qxzlog/diff.h"

#include <algorithm>

#include "tools/qxzlog/output.h"

namespace qxz::qxzlog
{

namespace
{

// Above this many pairs of lines the runs are compared line by line.
constexpr size_t kMostAlignedCells = 4u << 20;
constexpr int kColumnWidth = 60;
constexpr const char kPinPlaceholder[] = "<the Pin>";
constexpr const char kDirectoryPlaceholder[] = "<the Pin's directory>\\";
constexpr const char kHeaderStart[] = "**** ";

void ReplaceAll(std::string* psText, const std::string& sFrom, const std::string& sTo)
{
    if (sFrom.empty())
        return;
    for (size_t i = psText->find(sFrom); i != std::string::npos; i = psText->find(sFrom, i + sTo.size()))
        psText->replace(i, sFrom.size(), sTo);
}

std::string Column(const std::string& sText)
{
    std::string sShown = Shown(sText);
    if (sShown.size() > static_cast<size_t>(kColumnWidth))
        sShown = sShown.substr(0, kColumnWidth - 3) + "...";
    return sShown;
}

std::string LineNumber(size_t iLine)
{
    return iLine == kNoLine ? "" : std::to_string(iLine + 1);
}

} // namespace

std::vector<std::string> ComparableLines(std::vector<std::string> vLines, const LogRun& tRun)
{
    const std::string sPin = tRun.tPinPathname.fPresent ? tRun.tPinPathname.sValue : "";
    const size_t iSlash = sPin.find_last_of('\\');
    const std::string sDirectory = iSlash == std::string::npos ? "" : sPin.substr(0, iSlash + 1);
    for (size_t i = 0; i < vLines.size(); ++i)
    {
        if (i == 0 && vLines[i].compare(0, sizeof kHeaderStart - 1, kHeaderStart) == 0)
        {
            vLines[i] = "**** <the time> - Logging Enabled ****";
            continue;
        }
        ReplaceAll(&vLines[i], sPin, kPinPlaceholder);
        ReplaceAll(&vLines[i], sDirectory, kDirectoryPlaceholder);
    }
    return vLines;
}

std::vector<LinePair> AlignLines(const std::vector<std::string>& vA, const std::vector<std::string>& vB)
{
    std::vector<LinePair> vPairs;
    const size_t cA = vA.size();
    const size_t cB = vB.size();
    if ((cA + 1) * (cB + 1) > kMostAlignedCells)
    {
        for (size_t i = 0; i < std::max(cA, cB); ++i)
            vPairs.push_back({i < cA ? i : kNoLine, i < cB ? i : kNoLine});
        return vPairs;
    }
    // Lengths of the longest common subsequence of the tails.
    std::vector<uint32_t> vLength((cA + 1) * (cB + 1), 0);
    auto At = [&](size_t iA, size_t iB) -> uint32_t& { return vLength[iA * (cB + 1) + iB]; };
    for (size_t iA = cA; iA-- > 0;)
    {
        for (size_t iB = cB; iB-- > 0;)
            At(iA, iB) = vA[iA] == vB[iB] ? At(iA + 1, iB + 1) + 1 : std::max(At(iA + 1, iB), At(iA, iB + 1));
    }
    size_t iA = 0;
    size_t iB = 0;
    while (iA < cA || iB < cB)
    {
        if (iA < cA && iB < cB && vA[iA] == vB[iB])
            vPairs.push_back({iA++, iB++});
        else if (iA < cA && (iB == cB || At(iA + 1, iB) >= At(iA, iB + 1)))
            vPairs.push_back({iA++, kNoLine});
        else
            vPairs.push_back({kNoLine, iB++});
    }
    return vPairs;
}

bool PrintDiff(std::FILE* pOut, const std::string& sNameA, const std::vector<std::string>& vA,
               const std::string& sNameB, const std::vector<std::string>& vB)
{
    const std::vector<LinePair> vPairs = AlignLines(vA, vB);
    std::fprintf(pOut, "   A    B  %-*s   %s\n", kColumnWidth, Shown(sNameA).c_str(), Shown(sNameB).c_str());
    const LinePair* ptFirst = nullptr;
    for (const LinePair& tPair : vPairs)
    {
        const bool fSame = tPair.iA != kNoLine && tPair.iB != kNoLine;
        if (!fSame && ptFirst == nullptr)
            ptFirst = &tPair;
        const char chMark = fSame ? ' ' : tPair.iA == kNoLine ? '>' : '<';
        std::fprintf(pOut, "%4s %4s  %-*s %c %s\n", LineNumber(tPair.iA).c_str(), LineNumber(tPair.iB).c_str(),
                     kColumnWidth, tPair.iA != kNoLine ? Column(vA[tPair.iA]).c_str() : "", chMark,
                     tPair.iB != kNoLine ? Column(vB[tPair.iB]).c_str() : "");
    }
    if (ptFirst == nullptr)
    {
        std::fprintf(pOut, "The runs' lines are the same (the time and the Pin's path name set aside).\n");
        return false;
    }
    // The first line that only one run has; a changed line shows as one of
    // each, the first run's first.
    if (ptFirst->iA != kNoLine)
        std::fprintf(pOut, "The runs part at line %zu of A: \"%s\"", ptFirst->iA + 1, Shown(vA[ptFirst->iA]).c_str());
    else
        std::fprintf(pOut, "The runs part at line %zu of B: \"%s\"", ptFirst->iB + 1, Shown(vB[ptFirst->iB]).c_str());
    const LinePair* ptOther = ptFirst + 1;
    const bool fChanged = ptOther < vPairs.data() + vPairs.size() && ptFirst->iA != kNoLine && ptOther->iA == kNoLine &&
                          ptOther->iB != kNoLine;
    if (fChanged)
        std::fprintf(pOut, ", where B has \"%s\"", Shown(vB[ptOther->iB]).c_str());
    std::fputs(".\n", pOut);
    return true;
}

} // namespace qxz::qxzlog
