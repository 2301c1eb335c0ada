#include "text/qx_ci_string.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

namespace
{

const char* const kInvalidPosition = "invalid string position";
const char* const kTooLong = "string too long";

std::string_view TextOf(const char* pszText)
{
    return pszText ? std::string_view(pszText) : std::string_view();
}

std::string_view TextOf(const char* pText, CQxCiString::size_type nCount)
{
    return pText ? std::string_view(pText, nCount) : std::string_view();
}

std::string_view TextOf(const CQxCiString& sText)
{
    return std::string_view(sText.data(), sText.length());
}

// The shorter of two ranges that agree over the shorter length is less.
int CompareRanges(std::string_view left, std::string_view right) noexcept
{
    const int iResult = CiCharTraits::compare(left.data(), right.data(), std::min(left.size(), right.size()));
    if (iResult != 0)
        return iResult;
    if (left.size() == right.size())
        return 0;
    return left.size() < right.size() ? -1 : 1;
}

} // namespace

CQxCiString::CQxCiString(const char* pszText)
{
    assign(pszText);
}

CQxCiString::CQxCiString(const CQxCiString& sOther, size_type isPos, size_type nCount)
{
    assign(sOther, isPos, nCount);
}

CQxCiString& CQxCiString::assign(const char* pszText)
{
    return AssignRange(TextOf(pszText));
}

CQxCiString& CQxCiString::assign(const char* pText, size_type nCount)
{
    return AssignRange(TextOf(pText, nCount));
}

CQxCiString& CQxCiString::assign(const CQxCiString& sOther)
{
    m_sText = sOther.m_sText;
    return *this;
}

CQxCiString& CQxCiString::assign(const CQxCiString& sOther, size_type isPos, size_type nCount)
{
    sOther.CheckPosition(isPos);
    m_sText.assign(sOther.m_sText, isPos, nCount);
    return *this;
}

CQxCiString& CQxCiString::append(const char* pszText)
{
    return AppendRange(TextOf(pszText));
}

CQxCiString& CQxCiString::append(const CQxCiString& sOther)
{
    return AppendRange(TextOf(sOther));
}

CQxCiString& CQxCiString::append(size_type nCount, char c)
{
    CheckRoomFor(nCount);
    m_sText.append(nCount, c);
    return *this;
}

char CQxCiString::operator[](size_type isPos) const
{
    CheckPosition(isPos);
    return m_sText.c_str()[isPos];
}

CQxCiString CQxCiString::substr(size_type isPos, size_type nCount) const
{
    return CQxCiString(*this, isPos, nCount);
}

CQxCiString& CQxCiString::erase(size_type isPos, size_type nCount)
{
    CheckPosition(isPos);
    m_sText.erase(isPos, nCount);
    return *this;
}

CQxCiString::size_type CQxCiString::find(const char* pszText, size_type isStart) const noexcept
{
    const std::string_view text = TextOf(pszText);
    return FindRange(text.data(), text.size(), isStart);
}

CQxCiString::size_type CQxCiString::find(const CQxCiString& sText, size_type isStart) const noexcept
{
    return FindRange(sText.data(), sText.length(), isStart);
}

CQxCiString::size_type CQxCiString::find(char c, size_type isStart) const noexcept
{
    return FindRange(&c, 1, isStart);
}

CQxCiString::size_type CQxCiString::rfind(const char* pszText, size_type isStart) const noexcept
{
    const std::string_view text = TextOf(pszText);
    return RFindRange(text.data(), text.size(), isStart);
}

CQxCiString::size_type CQxCiString::rfind(const CQxCiString& sText, size_type isStart) const noexcept
{
    return RFindRange(sText.data(), sText.length(), isStart);
}

CQxCiString::size_type CQxCiString::rfind(char c, size_type isStart) const noexcept
{
    return RFindRange(&c, 1, isStart);
}

CQxCiString::size_type CQxCiString::find_first_not_of(const char* pszSet, size_type isStart) const noexcept
{
    const std::string_view set = TextOf(pszSet);
    return FindFirstNotInSet(set.data(), set.size(), isStart);
}

CQxCiString::size_type CQxCiString::find_first_not_of(const CQxCiString& sSet, size_type isStart) const noexcept
{
    return FindFirstNotInSet(sSet.data(), sSet.length(), isStart);
}

CQxCiString::size_type CQxCiString::find_first_not_of(char c, size_type isStart) const noexcept
{
    return FindFirstNotInSet(&c, 1, isStart);
}

CQxCiString::size_type CQxCiString::find_last_not_of(const char* pszSet, size_type isStart) const noexcept
{
    const std::string_view set = TextOf(pszSet);
    return FindLastNotInSet(set.data(), set.size(), isStart);
}

CQxCiString::size_type CQxCiString::find_last_not_of(const CQxCiString& sSet, size_type isStart) const noexcept
{
    return FindLastNotInSet(sSet.data(), sSet.length(), isStart);
}

CQxCiString::size_type CQxCiString::find_last_not_of(char c, size_type isStart) const noexcept
{
    return FindLastNotInSet(&c, 1, isStart);
}

int CQxCiString::compare(const CQxCiString& sOther) const noexcept
{
    return CompareRanges(TextOf(*this), TextOf(sOther));
}

int CQxCiString::compare(const char* pszText) const noexcept
{
    return CompareRanges(TextOf(*this), TextOf(pszText));
}

int CQxCiString::compare(size_type isPos, size_type nCount, const char* pText, size_type nTextLength) const
{
    CheckPosition(isPos);
    return CompareRanges(TextOf(*this).substr(isPos, nCount), TextOf(pText, nTextLength));
}

CQxCiString::size_type CQxCiString::FindRange(const char* pText, std::size_t nText, size_type isStart) const noexcept
{
    const size_type nLength = length();
    if (nText == 0)
        return isStart <= nLength ? isStart : npos;
    if (isStart >= nLength || nText > nLength - isStart)
        return npos;
    for (size_type isCandidate = isStart; isCandidate <= nLength - nText; ++isCandidate)
    {
        if (CiCharTraits::compare(data() + isCandidate, pText, nText) == 0)
            return isCandidate;
    }
    return npos;
}

CQxCiString::size_type CQxCiString::RFindRange(const char* pText, std::size_t nText, size_type isStart) const noexcept
{
    const size_type nLength = length();
    if (nText == 0)
        return std::min(isStart, nLength);
    if (nText > nLength)
        return npos;
    for (size_type isCandidate = std::min(isStart, static_cast<size_type>(nLength - nText));; --isCandidate)
    {
        if (CiCharTraits::compare(data() + isCandidate, pText, nText) == 0)
            return isCandidate;
        if (isCandidate == 0)
            return npos;
    }
}

CQxCiString::size_type CQxCiString::FindFirstNotInSet(const char* pSet, std::size_t nSet,
                                                      size_type isStart) const noexcept
{
    for (size_type isCandidate = isStart; isCandidate < length(); ++isCandidate)
    {
        if (!CiCharTraits::find(pSet, nSet, m_sText[isCandidate]))
            return isCandidate;
    }
    return npos;
}

CQxCiString::size_type CQxCiString::FindLastNotInSet(const char* pSet, std::size_t nSet,
                                                     size_type isStart) const noexcept
{
    if (empty())
        return npos;
    for (size_type isCandidate = std::min(isStart, static_cast<size_type>(length() - 1));; --isCandidate)
    {
        if (!CiCharTraits::find(pSet, nSet, m_sText[isCandidate]))
            return isCandidate;
        if (isCandidate == 0)
            return npos;
    }
}

CQxCiString& CQxCiString::AssignRange(std::string_view text)
{
    if (text.size() > max_size())
        throw std::length_error(kTooLong);
    m_sText.assign(text.data(), text.size());
    return *this;
}

// The source may lie inside this value (s.append(s)); std::string copes.
CQxCiString& CQxCiString::AppendRange(std::string_view text)
{
    CheckRoomFor(text.size());
    m_sText.append(text.data(), text.size());
    return *this;
}

// Only the position needs checking: the library's own calls clip a count
// (npos included) to what remains behind the position.
void CQxCiString::CheckPosition(size_type isPos) const
{
    if (isPos > length())
        throw std::out_of_range(kInvalidPosition);
}

void CQxCiString::CheckRoomFor(std::size_t nAdded) const
{
    if (nAdded > max_size() - length())
        throw std::length_error(kTooLong);
}

bool operator==(const CQxCiString& sLeft, const CQxCiString& sRight) noexcept
{
    return sLeft.compare(sRight) == 0;
}

bool operator==(const CQxCiString& sLeft, const char* pszRight) noexcept
{
    return sLeft.compare(pszRight) == 0;
}

bool operator==(const char* pszLeft, const CQxCiString& sRight) noexcept
{
    return sRight.compare(pszLeft) == 0;
}

bool operator!=(const CQxCiString& sLeft, const CQxCiString& sRight) noexcept
{
    return !(sLeft == sRight);
}

bool operator!=(const CQxCiString& sLeft, const char* pszRight) noexcept
{
    return !(sLeft == pszRight);
}

bool operator!=(const char* pszLeft, const CQxCiString& sRight) noexcept
{
    return !(pszLeft == sRight);
}

bool operator<(const CQxCiString& sLeft, const CQxCiString& sRight) noexcept
{
    return sLeft.compare(sRight) < 0;
}

CQxCiString operator+(const CQxCiString& sLeft, const CQxCiString& sRight)
{
    CQxCiString sResult(sLeft);
    sResult.append(sRight);
    return sResult;
}

CQxCiString operator+(const CQxCiString& sLeft, const char* pszRight)
{
    CQxCiString sResult(sLeft);
    sResult.append(pszRight);
    return sResult;
}

CQxCiString operator+(const char* pszLeft, const CQxCiString& sRight)
{
    CQxCiString sResult(pszLeft);
    sResult.append(sRight);
    return sResult;
}

CQxCiString operator+(const CQxCiString& sLeft, char cRight)
{
    CQxCiString sResult(sLeft);
    sResult.append(1, cRight);
    return sResult;
}
