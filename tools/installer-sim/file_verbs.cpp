// mkdir PATH: a directory, made as the installer would make it; and the
// reading of the host files that other verbs take.
#include <cstdio>
#include <string>

#include "platform/win32.h"
#include "tools/installer-sim/verbs.h"

namespace qxz::sim
{

int MakeDirectory(char** argv)
{
    if (!CreateDirectoryA(argv[0], nullptr))
        return ReportResult("mkdir", "CreateDirectoryA", GetLastError());
    return ReportResult("mkdir", nullptr, 0);
}

bool ReadHostFile(const char* pszPath, std::string* psText)
{
    FILE* pFile = std::fopen(pszPath, "rb");
    if (pFile == nullptr)
        return false;
    char achBuffer[4096];
    size_t cbRead;
    while ((cbRead = std::fread(achBuffer, 1, sizeof achBuffer, pFile)) > 0)
        psText->append(achBuffer, cbRead);
    bool fOk = !std::ferror(pFile);
    std::fclose(pFile);
    return fOk;
}

} // namespace qxz::sim
