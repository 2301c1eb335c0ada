// The support library's names: the exact spelling of the names shared with
// the co-installer, those built from other names included, and the string
// type's case rule applied to them.
#include <gtest/gtest.h>

#include <string>

#include "qxzglue/qxzglue_names.h"

namespace
{

// Byte for byte; CQxCiString's own comparison ignores case.
std::string Text(const CQxCiString& sName)
{
    return std::string(sName.c_str(), sName.length());
}

TEST(QxzglueNames, KeyPathsBuiltFromTheirParentsAreSpelledInFull)
{
    const struct
    {
        const CQxCiString& sComposite;
        const char* pszText;
    } kComposites[] = {
        {g_sRegKeyVorquelle, "SOFTWARE\\Vorquelle"},
        {g_sRegKeyQxz, "SOFTWARE\\Vorquelle\\QXZ"},
        {g_sRegKeyGlue, "SOFTWARE\\Vorquelle\\QXZ\\Glue"},
        {g_sRegKeyCoInstaller, "SOFTWARE\\Vorquelle\\QXZ\\Glue\\CoInstaller"},
    };
    for (const auto& tComposite : kComposites)
    {
        EXPECT_EQ(Text(tComposite.sComposite), tComposite.pszText);
    }
}

TEST(QxzglueNames, KeyPathsAreSpelledExactly)
{
    EXPECT_EQ(Text(g_sRegKeySoftware), "SOFTWARE");
    EXPECT_EQ(Text(g_sRegKeyGlue), "SOFTWARE\\Vorquelle\\QXZ\\Glue");
    EXPECT_EQ(Text(g_sRegKeyCoInstaller), "SOFTWARE\\Vorquelle\\QXZ\\Glue\\CoInstaller");
}

TEST(QxzglueNames, ValueNamesAndSwitchesAreSpelledExactly)
{
    const struct
    {
        const CQxCiString& sName;
        const char* pszText;
    } kNames[] = {
        {g_sRegVnStatusCode, "StatusCode"},
        {g_sRegVnGluePath, "GluePath"},
        {g_sRegVnInfID, "InfID"},
        {g_sRegVnPinTimeout, "pintimeout"},
        {g_sSwitchPrinterDriver, "printerdriver"},
        {g_sSwitchPort, "port"},
        {g_sSwitchProduct, "product"},
        {g_sSwitchPinPathname, "pinpathname"},
        {g_sSwitchPdiPathname, "pdipathname"},
        {g_sSwitchGhoulPathname, "ghoulpathname"},
        {g_sSwitchRunGhoul, "runghoul"},
        {g_sSwitchLanguageDir, "languagedir"},
        {g_sSwitchDriverFilesCleanup, "driverfilescleanup"},
        {g_sSwitchStatusCode, "statuscode"},
        {g_sFileVersion, "14"},
        {g_sUtil, "util"},
        {g_sCommon, "common"},
        {g_sDrivers, "drivers"},
        {g_sWin9xMe, "Win9x_ME"},
        {g_sWinNt, "Win_NT"},
        {g_sWin2kXp, "Win2K_XP"},
    };
    for (const auto& tName : kNames)
    {
        EXPECT_EQ(Text(tName.sName), tName.pszText);
    }
}

TEST(QxzglueNames, SiblingFilesAreStemVersionAndExtension)
{
    const struct
    {
        const CQxCiString& sFileName;
        const char* pszText;
    } kSiblings[] = {
        {g_sGlueDll, "qxzglu14.dll"},
        {g_sCoInstallerDll, "qxzglu14.dll"},
        {g_sPduExe, "qxzpdu14.exe"},
        {g_sUninstallerExe, "qxzpdu14.exe"},
        {g_sScrubberExe, "qxzscr14.exe"},
        {g_sServiceExe, "qxzsvc14.exe"},
        {g_sStatusMonitorExe, "qxzstm14.exe"},
        {g_sDriverUiDll, "qxzdui14.dll"},
        {g_sRenderDll, "qxzrnd14.dll"},
        {g_sResourceDll, "qxzres14.dll"},
        {g_sLanguageMonitorDll, "qxzlmn14.dll"},
        {g_sPortMonitorDll, "qxzpmn14.dll"},
        {g_sPrintProcessorDll, "qxzppr14.dll"},
    };
    for (const auto& tSibling : kSiblings)
    {
        EXPECT_EQ(Text(tSibling.sFileName), tSibling.pszText);
    }
}

TEST(QxzglueNames, ComparisonsIgnoreCase)
{
    EXPECT_TRUE(g_sSwitchPort == "PORT");
    EXPECT_TRUE(g_sRegKeyGlue == "software\\vorquelle\\qxz\\glue");
    EXPECT_EQ(CQxCiString("-PrinterDriver=x").find(g_sSwitchPrinterDriver), 1u);
    EXPECT_FALSE(g_sSwitchPort == "ports");
}

} // namespace
