// The parts of a log's file name: directory, name, extension and number.
#include "log/log_file.h"

namespace
{

// The part of a name after its last backslash, empty when the name ends in
// one: extensions and numbers are looked for here only, never in directories.
std::string NameAfterLastBackslash(const std::string& sFileName)
{
    size_t isBackslash = sFileName.rfind('\\');
    return isBackslash == std::string::npos ? sFileName : sFileName.substr(isBackslash + 1);
}

} // namespace

std::string CLogFile::GetFileNamePart(const std::string& sFileName)
{
    size_t isBackslash = sFileName.rfind('\\');
    if (isBackslash == std::string::npos || isBackslash + 1 == sFileName.size())
        return sFileName;
    return sFileName.substr(isBackslash + 1);
}

std::string CLogFile::GetDirectoryPart(const std::string& sFileName)
{
    size_t isBackslash = sFileName.rfind('\\');
    return isBackslash == std::string::npos ? std::string() : sFileName.substr(0, isBackslash + 1);
}

std::string CLogFile::GetNameWithoutExtension(const std::string& sFileName)
{
    const std::string sName = NameAfterLastBackslash(sFileName);
    return sName.substr(0, sName.rfind('.'));
}

std::string CLogFile::GetExtension(const std::string& sFileName)
{
    const std::string sName = NameAfterLastBackslash(sFileName);
    size_t isDot = sName.rfind('.');
    if (isDot == std::string::npos || isDot + 1 == sName.size())
        return std::string();
    return sName.substr(isDot);
}

std::string CLogFile::GetNumberSuffix(const std::string& sFileName)
{
    const std::string sName = GetNameWithoutExtension(sFileName);
    const size_t cch = sName.size();
    auto IsDigit = [](char ch) { return ch >= '0' && ch <= '9'; };
    if (cch < 2 || !IsDigit(sName[cch - 2]) || !IsDigit(sName[cch - 1]))
        return std::string();
    return sName.substr(cch - 2);
}

std::string CLogFile::GetBaseWithoutNumber(const std::string& sFileName)
{
    const std::string sName = GetNameWithoutExtension(sFileName);
    if (GetNumberSuffix(sFileName).empty())
        return sName;
    return sName.substr(0, sName.size() - 2);
}
