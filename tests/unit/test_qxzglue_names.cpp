// The support library's names: composites built from their parts, the exact
// spelling of the names shared with the co-installer, and the string type's
// case rule applied to them.
#include <gtest/gtest.h>

#include <iterator>
#include <regex>
#include <set>
#include <string>

#include "qxzglue/qxzglue_names.h"

namespace {

// Byte for byte; CQxCiString's own comparison ignores case.
std::string Text(const CQxCiString& sName) { return std::string(sName.c_str(), sName.length()); }

TEST(QxzglueNames, KeyPathsAreTheirParentsPlusOneComponent) {
  const struct {
    const CQxCiString& sComposite;
    const CQxCiString& sParent;
    const char* pszComponent;
  } kComposites[] = {
      {g_sRegKeyVorquelle, g_sRegKeySoftware, "\\Vorquelle"},
      {g_sRegKeyQxz, g_sRegKeyVorquelle, "\\QXZ"},
      {g_sRegKeyGlue, g_sRegKeyQxz, "\\Glue"},
      {g_sRegKeyCoInstaller, g_sRegKeyGlue, "\\CoInstaller"},
  };
  for (const auto& tComposite : kComposites) {
    EXPECT_EQ(Text(tComposite.sComposite), Text(tComposite.sParent) + tComposite.pszComponent);
  }
}

TEST(QxzglueNames, KeyPathsAreSpelledExactly) {
  EXPECT_EQ(Text(g_sRegKeySoftware), "SOFTWARE");
  EXPECT_EQ(Text(g_sRegKeyGlue), "SOFTWARE\\Vorquelle\\QXZ\\Glue");
  EXPECT_EQ(Text(g_sRegKeyCoInstaller), "SOFTWARE\\Vorquelle\\QXZ\\Glue\\CoInstaller");
}

TEST(QxzglueNames, ValueNamesAndSwitchesAreSpelledExactly) {
  const struct {
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
  for (const auto& tName : kNames) {
    EXPECT_EQ(Text(tName.sName), tName.pszText);
  }
}

TEST(QxzglueNames, SiblingFilesAreStemVersionAndExtension) {
  const CQxCiString* const kSiblings[] = {
      &g_sGlueDll,         &g_sPduExe,       &g_sScrubberExe,         &g_sServiceExe,
      &g_sStatusMonitorExe, &g_sDriverUiDll, &g_sRenderDll,           &g_sResourceDll,
      &g_sLanguageMonitorDll, &g_sPortMonitorDll, &g_sPrintProcessorDll,
  };
  const std::regex kFileName("qxz[a-z]{3}" + Text(g_sFileVersion) + "\\.(dll|exe)");
  std::set<std::string> setNames;
  for (const CQxCiString* psSibling : kSiblings) {
    EXPECT_TRUE(std::regex_match(Text(*psSibling), kFileName)) << Text(*psSibling);
    setNames.insert(Text(*psSibling));
  }
  EXPECT_EQ(setNames.size(), std::size(kSiblings)) << "two siblings share a file name";

  EXPECT_EQ(Text(g_sCoInstallerDll), Text(g_sGlueDll));
  EXPECT_EQ(Text(g_sUninstallerExe), Text(g_sPduExe));
}

TEST(QxzglueNames, ComparisonsIgnoreCase) {
  EXPECT_TRUE(g_sSwitchPort == "PORT");
  EXPECT_TRUE(g_sRegKeyGlue == "software\\vorquelle\\qxz\\glue");
  EXPECT_EQ(CQxCiString("-PrinterDriver=x").find(g_sSwitchPrinterDriver), 1u);
  EXPECT_FALSE(g_sSwitchPort == "ports");
}

}  // namespace
