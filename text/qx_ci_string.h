// CQxCiString: the program's byte string. Comparisons and searches treat the
// ASCII letters as equal to their other case; the stored text keeps its case.
#ifndef QXZ_TEXT_QX_CI_STRING_H
#define QXZ_TEXT_QX_CI_STRING_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/ascii_case.h"

// The one place for the character rule: a-z fold to A-Z, every other byte
// stays as it is, and the mapped values order as signed 8-bit numbers (so
// bytes 0x80-0xFF come before 0x00-0x7F, and letters before [ \ ] ^ _ `).
// Derived from the standard traits so that it stays a complete traits class.
struct CiCharTraits : std::char_traits<char>
{
    static constexpr signed char to_mapped(char c) noexcept
    {
        return static_cast<signed char>(qxz::AsciiUpper(c));
    }

    static constexpr bool eq(char cLeft, char cRight) noexcept
    {
        return to_mapped(cLeft) == to_mapped(cRight);
    }

    static constexpr bool lt(char cLeft, char cRight) noexcept
    {
        return to_mapped(cLeft) < to_mapped(cRight);
    }

    // The first differing position decides; no difference means equal.
    static constexpr int compare(const char* pLeft, const char* pRight, std::size_t nCount) noexcept
    {
        for (std::size_t i = 0; i < nCount; ++i)
        {
            if (lt(pLeft[i], pRight[i]))
                return -1;
            if (lt(pRight[i], pLeft[i]))
                return 1;
        }
        return 0;
    }

    static constexpr const char* find(const char* pRange, std::size_t nCount, char c) noexcept
    {
        for (std::size_t i = 0; i < nCount; ++i)
        {
            if (eq(pRange[i], c))
                return pRange + i;
        }
        return nullptr;
    }
};

// Positions and lengths are 32-bit on every platform, so the class owns its
// range checks and their messages instead of inheriting the library's.
// A null text is taken as the empty text.
class CQxCiString
{
public:
    typedef std::uint32_t size_type;
    typedef CiCharTraits traits_type;

    static constexpr size_type npos = 0xFFFFFFFF;

    CQxCiString() = default;
    CQxCiString(const char* pszText);
    CQxCiString(const CQxCiString& sOther, size_type isPos, size_type nCount = npos);

    CQxCiString& operator=(const char* pszText)
    {
        return assign(pszText);
    }

    CQxCiString& assign(const char* pszText);
    CQxCiString& assign(const char* pText, size_type nCount);
    CQxCiString& assign(const CQxCiString& sOther);
    CQxCiString& assign(const CQxCiString& sOther, size_type isPos, size_type nCount = npos);

    CQxCiString& append(const char* pszText);
    CQxCiString& append(const CQxCiString& sOther);
    CQxCiString& append(size_type nCount, char c);

    CQxCiString& operator+=(const char* pszText)
    {
        return append(pszText);
    }
    CQxCiString& operator+=(const CQxCiString& sOther)
    {
        return append(sOther);
    }
    CQxCiString& operator+=(char c)
    {
        return append(1, c);
    }

    size_type length() const noexcept
    {
        return static_cast<size_type>(m_sText.size());
    }
    size_type size() const noexcept
    {
        return length();
    }
    static constexpr size_type max_size() noexcept
    {
        return npos - 2;
    }
    bool empty() const noexcept
    {
        return m_sText.empty();
    }
    const char* c_str() const noexcept
    {
        return m_sText.c_str();
    }
    const char* data() const noexcept
    {
        return m_sText.data();
    }

    // Checked: a position past the length throws; at the length gives the
    // terminating zero.
    char operator[](size_type isPos) const;

    CQxCiString substr(size_type isPos = 0, size_type nCount = npos) const;
    CQxCiString& erase(size_type isPos = 0, size_type nCount = npos);

    size_type find(const char* pszText, size_type isStart = 0) const noexcept;
    size_type find(const CQxCiString& sText, size_type isStart = 0) const noexcept;
    size_type find(char c, size_type isStart = 0) const noexcept;

    size_type rfind(const char* pszText, size_type isStart = npos) const noexcept;
    size_type rfind(const CQxCiString& sText, size_type isStart = npos) const noexcept;
    size_type rfind(char c, size_type isStart = npos) const noexcept;

    size_type find_first_not_of(const char* pszSet, size_type isStart = 0) const noexcept;
    size_type find_first_not_of(const CQxCiString& sSet, size_type isStart = 0) const noexcept;
    size_type find_first_not_of(char c, size_type isStart = 0) const noexcept;

    size_type find_last_not_of(const char* pszSet, size_type isStart = npos) const noexcept;
    size_type find_last_not_of(const CQxCiString& sSet, size_type isStart = npos) const noexcept;
    size_type find_last_not_of(char c, size_type isStart = npos) const noexcept;

    int compare(const CQxCiString& sOther) const noexcept;
    int compare(const char* pszText) const noexcept;
    // Compares at most nCount characters from isPos with nTextLength
    // characters of pText.
    int compare(size_type isPos, size_type nCount, const char* pText, size_type nTextLength) const;

private:
    size_type FindRange(const char* pText, std::size_t nText, size_type isStart) const noexcept;
    size_type RFindRange(const char* pText, std::size_t nText, size_type isStart) const noexcept;
    size_type FindFirstNotInSet(const char* pSet, std::size_t nSet, size_type isStart) const noexcept;
    size_type FindLastNotInSet(const char* pSet, std::size_t nSet, size_type isStart) const noexcept;

    CQxCiString& AssignRange(std::string_view text);
    CQxCiString& AppendRange(std::string_view text);
    void CheckPosition(size_type isPos) const;
    void CheckRoomFor(std::size_t nAdded) const;

    std::string m_sText;
};

bool operator==(const CQxCiString& sLeft, const CQxCiString& sRight) noexcept;
bool operator==(const CQxCiString& sLeft, const char* pszRight) noexcept;
bool operator==(const char* pszLeft, const CQxCiString& sRight) noexcept;
bool operator!=(const CQxCiString& sLeft, const CQxCiString& sRight) noexcept;
bool operator!=(const CQxCiString& sLeft, const char* pszRight) noexcept;
bool operator!=(const char* pszLeft, const CQxCiString& sRight) noexcept;
bool operator<(const CQxCiString& sLeft, const CQxCiString& sRight) noexcept;

CQxCiString operator+(const CQxCiString& sLeft, const CQxCiString& sRight);
CQxCiString operator+(const CQxCiString& sLeft, const char* pszRight);
CQxCiString operator+(const char* pszLeft, const CQxCiString& sRight);
CQxCiString operator+(const CQxCiString& sLeft, char cRight);

#endif // QXZ_TEXT_QX_CI_STRING_H
