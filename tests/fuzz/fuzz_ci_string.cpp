// CQxCiString against a plain reference model: a script of operations read
// from the input runs on both, and every result must agree.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "text/qx_ci_string.h"

namespace
{

const uint32_t kNpos = 0xFFFFFFFF;

int Mapped(char c)
{
    return static_cast<signed char>(c >= 'a' && c <= 'z' ? c - 32 : c);
}

// The model: the text as a std::string, searched and compared the slow way.
struct Model
{
    std::string sText;

    uint32_t Length() const
    {
        return static_cast<uint32_t>(sText.size());
    }
    bool MatchesAt(uint32_t nPos, const std::string& sNeedle) const
    {
        for (size_t i = 0; i < sNeedle.size(); ++i)
        {
            if (Mapped(sText[nPos + i]) != Mapped(sNeedle[i]))
                return false;
        }
        return true;
    }
    bool InSet(char c, const std::string& sSet) const
    {
        for (char cSet : sSet)
        {
            if (Mapped(c) == Mapped(cSet))
                return true;
        }
        return false;
    }
    uint32_t Find(const std::string& sNeedle, uint32_t nStart) const
    {
        const uint32_t nLength = Length(), nNeedle = static_cast<uint32_t>(sNeedle.size());
        if (nNeedle == 0)
            return nStart <= nLength ? nStart : kNpos;
        if (nStart >= nLength || nNeedle > nLength - nStart)
            return kNpos;
        for (uint32_t nPos = nStart; nPos <= nLength - nNeedle; ++nPos)
        {
            if (MatchesAt(nPos, sNeedle))
                return nPos;
        }
        return kNpos;
    }
    uint32_t RFind(const std::string& sNeedle, uint32_t nStart) const
    {
        const uint32_t nLength = Length(), nNeedle = static_cast<uint32_t>(sNeedle.size());
        if (nNeedle == 0)
            return std::min(nStart, nLength);
        if (nNeedle > nLength)
            return kNpos;
        for (int64_t nPos = std::min(nStart, nLength - nNeedle); nPos >= 0; --nPos)
        {
            if (MatchesAt(static_cast<uint32_t>(nPos), sNeedle))
                return static_cast<uint32_t>(nPos);
        }
        return kNpos;
    }
    uint32_t FindFirstNotOf(const std::string& sSet, uint32_t nStart) const
    {
        for (uint32_t nPos = nStart; nPos < Length(); ++nPos)
        {
            if (!InSet(sText[nPos], sSet))
                return nPos;
        }
        return kNpos;
    }
    uint32_t FindLastNotOf(const std::string& sSet, uint32_t nStart) const
    {
        if (Length() == 0)
            return kNpos;
        for (int64_t nPos = std::min(nStart, Length() - 1); nPos >= 0; --nPos)
        {
            if (!InSet(sText[static_cast<size_t>(nPos)], sSet))
                return static_cast<uint32_t>(nPos);
        }
        return kNpos;
    }
    int Compare(const std::string& sOther) const
    {
        const size_t nCommon = std::min(sText.size(), sOther.size());
        for (size_t i = 0; i < nCommon; ++i)
        {
            if (Mapped(sText[i]) != Mapped(sOther[i]))
                return Mapped(sText[i]) < Mapped(sOther[i]) ? -1 : 1;
        }
        return sText.size() == sOther.size() ? 0 : (sText.size() < sOther.size() ? -1 : 1);
    }
};

int Sign(int n)
{
    return (n > 0) - (n < 0);
}

// Reads the script: small numbers and short NUL-free texts.
struct Script
{
    const uint8_t* pData;
    size_t cbLeft;
    bool Done() const
    {
        return cbLeft == 0;
    }
    uint8_t Byte()
    {
        if (cbLeft == 0)
            return 0;
        --cbLeft;
        return *pData++;
    }
    // A position or count: mostly small, sometimes past the end or npos.
    uint32_t Number()
    {
        uint8_t b = Byte();
        return b == 0xFF ? kNpos : b % 40;
    }
    std::string Text()
    {
        std::string sText;
        for (uint8_t n = Byte() % 8; n > 0 && !Done(); --n)
        {
            char c = static_cast<char>(Byte());
            sText += c == '\0' ? 'a' : c;
        }
        return sText;
    }
};

// Runs an operation that may throw on both sides; they must throw alike.
template <typename Real, typename Reference>
void Agree(Real real, Reference reference, bool fModelThrows, const char* pszMessage)
{
    bool fThrew = false;
    try
    {
        real();
    }
    catch (const std::out_of_range& e)
    {
        fThrew = true;
        FUZZ_REQUIRE(std::string(e.what()) == pszMessage);
    }
    FUZZ_REQUIRE(fThrew == fModelThrows);
    if (!fModelThrows)
        reference();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    Script script{pData, cbData};
    CQxCiString sValue;
    Model model;
    while (!script.Done())
    {
        const uint8_t bOperation = script.Byte() % 9;
        if (bOperation == 0)
        {
            const std::string sText = script.Text();
            sValue.append(sText.c_str());
            model.sText += sText;
        }
        else if (bOperation == 1)
        {
            const uint32_t nPos = script.Number(), nCount = script.Number();
            Agree([&] { sValue.erase(nPos, nCount); },
                  [&] { model.sText.erase(nPos, nCount == kNpos ? std::string::npos : nCount); }, nPos > model.Length(),
                  "invalid string position");
        }
        else if (bOperation == 2)
        {
            const std::string sText = script.Text();
            const uint32_t nStart = script.Number();
            FUZZ_REQUIRE(sValue.find(sText.c_str(), nStart) == model.Find(sText, nStart));
        }
        else if (bOperation == 3)
        {
            const std::string sText = script.Text();
            const uint32_t nStart = script.Number();
            FUZZ_REQUIRE(sValue.rfind(sText.c_str(), nStart) == model.RFind(sText, nStart));
        }
        else if (bOperation == 4)
        {
            const std::string sSet = script.Text();
            const uint32_t nStart = script.Number();
            FUZZ_REQUIRE(sValue.find_first_not_of(sSet.c_str(), nStart) == model.FindFirstNotOf(sSet, nStart));
        }
        else if (bOperation == 5)
        {
            const std::string sSet = script.Text();
            const uint32_t nStart = script.Number();
            FUZZ_REQUIRE(sValue.find_last_not_of(sSet.c_str(), nStart) == model.FindLastNotOf(sSet, nStart));
        }
        else if (bOperation == 6)
        {
            const std::string sText = script.Text();
            FUZZ_REQUIRE(Sign(sValue.compare(sText.c_str())) == model.Compare(sText));
            FUZZ_REQUIRE((sValue == sText.c_str()) == (model.Compare(sText) == 0));
        }
        else if (bOperation == 7)
        {
            const uint32_t nPos = script.Number(), nCount = script.Number();
            Agree([&] { sValue = sValue.substr(nPos, nCount); },
                  [&] { model.sText = model.sText.substr(nPos, nCount == kNpos ? std::string::npos : nCount); },
                  nPos > model.Length(), "invalid string position");
        }
        else
        {
            // A copy is independent of its original.
            CQxCiString sCopy = sValue;
            sCopy.append(1, 'x');
            FUZZ_REQUIRE(sCopy.length() == sValue.length() + 1);
        }
        // The stored text keeps its case and is always NUL-terminated.
        FUZZ_REQUIRE(sValue.length() == model.Length());
        FUZZ_REQUIRE(std::string(sValue.c_str(), sValue.length()) == model.sText);
        FUZZ_REQUIRE(sValue.c_str()[sValue.length()] == '\0');
    }
    return 0;
}
