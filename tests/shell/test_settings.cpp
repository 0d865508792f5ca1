#include <gtest/gtest.h>

#include "pages/bqPages.h"
#include "shell/quMulticonfigRead.h"
#include "shell/zoxConfig.h"
#include "shell/zoxTweaks.h"

using namespace bq;

namespace {

constexpr const char* kTabs = "\\Software\\Marrowgate\\Brisquel Lite\\Tabs";

std::optional<bool> Switch(const TMemoryRegistry& reg, const char* name, uint8_t preference = 1) {
  TZOXConfigManager config(reg);
  config.Name = "Brisquel Lite";
  config.Preference = preference;
  bool value = true;
  if (!config.ReadBool("Tabs", name, value)) return std::nullopt;
  return value;
}

TEST(PageSwitches, MachineWinsAndOnlyDwordsCount) {
  TMemoryRegistry reg;
  EXPECT_EQ(Switch(reg, "Audio"), std::nullopt);
  reg.SetValue(TRegRoot::rrCurrentUser, kTabs, "Audio", TRegValue::Dword(0));
  EXPECT_EQ(Switch(reg, "Audio"), false);
  reg.SetValue(TRegRoot::rrLocalMachine, kTabs, "Audio", TRegValue::Dword(1));
  EXPECT_EQ(Switch(reg, "Audio"), true);
  EXPECT_EQ(Switch(reg, "Audio", 0), false);  // per-user preference

  reg.SetValue(TRegRoot::rrCurrentUser, kTabs, "Text", TRegValue::String("0"));
  EXPECT_EQ(Switch(reg, "Text"), std::nullopt);
  reg.SetValue(TRegRoot::rrCurrentUser, kTabs, "Text", TRegValue::String("0", kRegExpandSz));
  EXPECT_EQ(Switch(reg, "Text"), std::nullopt);
  // A machine string does not hide a user DWORD.
  reg.SetValue(TRegRoot::rrCurrentUser, kTabs, "Archive", TRegValue::Dword(0));
  reg.SetValue(TRegRoot::rrLocalMachine, kTabs, "Archive", TRegValue::String("1"));
  EXPECT_EQ(Switch(reg, "Archive"), false);
  // Any non-zero DWORD shows.
  reg.SetValue(TRegRoot::rrCurrentUser, kTabs, "Main", TRegValue::Dword(0x100));
  EXPECT_EQ(Switch(reg, "Main"), true);
  // A DWORD value stored with too few bytes is not a DWORD.
  TRegValue shortValue;
  shortValue.Type = kRegDword;
  shortValue.Data = {0, 0};
  reg.SetValue(TRegRoot::rrCurrentUser, kTabs, "Hashes", shortValue);
  EXPECT_EQ(Switch(reg, "Hashes"), std::nullopt);
}

TEST(PageSwitches, KeyOpeningFallsBackToNarrowerAccess) {
  TMemoryRegistry reg;
  reg.SetValue(TRegRoot::rrCurrentUser, kTabs, "Audio", TRegValue::Dword(0));
  reg.DenyAccess(TRegRoot::rrCurrentUser, kTabs, kKeyRead & ~kKeyReadNoNotify);  // refuses KEY_READ only
  EXPECT_EQ(Switch(reg, "Audio"), false);
  reg.DenyAccess(TRegRoot::rrCurrentUser, kTabs, 0x20000);  // refuses both wide masks
  EXPECT_EQ(Switch(reg, "Audio"), false);
  reg.DenyAccess(TRegRoot::rrCurrentUser, kTabs, kKeyQueryValue);  // refuses everything
  EXPECT_EQ(Switch(reg, "Audio"), std::nullopt);

  TMemoryRegistry log;
  log.AddKey(TRegRoot::rrLocalMachine, "\\x");
  log.DenyAccess(TRegRoot::rrLocalMachine, "\\x", 0x20000);
  EXPECT_NE(OpenKeyReadOnly(log, TRegRoot::rrLocalMachine, "\\x", TRegView::rv64), nullptr);
  EXPECT_EQ(log.AccessLog(), (std::vector<uint32_t>{kKeyRead | kKeyWow64_64, kKeyReadNoNotify | kKeyWow64_64,
                                                    kKeyQueryValue | kKeyWow64_64}));
}

TEST(MultiConfigReader, VisitsEveryUserUnderHkeyUsers) {
  TMemoryRegistry reg;
  reg.SetValue(TRegRoot::rrUsers, "\\S-1-5-21-1\\Software\\X", "Flag", TRegValue::Dword(0));
  reg.SetValue(TRegRoot::rrUsers, "\\S-1-5-21-2\\Software\\X", "Flag", TRegValue::Dword(1));
  TMultiConfigReader reader(reg);
  reader.Roots = {TRegRoot::rrUsers};
  reader.Paths = {"\\Software\\X"};
  reader.UserSubKeys = TMultiConfigReader::EnumerateUsers(reg);
  ASSERT_EQ(reader.UserSubKeys.size(), 2u);
  bool value = false;
  EXPECT_TRUE(reader.ReadBool("Flag", value));
  EXPECT_TRUE(value);  // the later visit overwrites
}

TEST(Tweaks, HostKeyBeforeCommonKeyLowestByte) {
  TMemoryRegistry reg;
  const char* common = "\\SOFTWARE\\Marrowgate\\Tweaks\\";
  const std::string host = std::string(common) + "explorer.exe";
  bool v = false;
  EXPECT_FALSE(ReadTweak(reg, "explorer.exe", "DisableImportsXPView", v));
  reg.SetValue(TRegRoot::rrLocalMachine, common, "DisableImportsXPView", TRegValue::Dword(256));
  ASSERT_TRUE(ReadTweak(reg, "explorer.exe", "DisableImportsXPView", v));
  EXPECT_FALSE(v);  // lowest byte 0
  EXPECT_FALSE(ImportsTreeViewTweak(reg, "explorer.exe"));
  reg.SetValue(TRegRoot::rrLocalMachine, common, "DisableImportsXPView", TRegValue::Dword(1));
  EXPECT_TRUE(ImportsTreeViewTweak(reg, "explorer.exe"));
  reg.SetValue(TRegRoot::rrLocalMachine, host, "DisableImportsXPView", TRegValue::Dword(0));
  EXPECT_FALSE(ImportsTreeViewTweak(reg, "explorer.exe"));  // the host's key hides the common one
  EXPECT_TRUE(ImportsTreeViewTweak(reg, "dllhost.exe"));
  // A string under the host key is absent: the common key is read.
  reg.SetValue(TRegRoot::rrLocalMachine, host, "DisableImportsXPView", TRegValue::String("0"));
  EXPECT_TRUE(ImportsTreeViewTweak(reg, "explorer.exe"));
  // The tweak is read in the 32-bit view: a value only in the 64-bit view is not seen.
  TMemoryRegistry views;
  views.SetValue(TRegRoot::rrLocalMachine, common, "DisableImportsXPView", TRegValue::Dword(1), TRegView::rv64);
  EXPECT_FALSE(ImportsTreeViewTweak(views, "explorer.exe"));
}

}  // namespace
