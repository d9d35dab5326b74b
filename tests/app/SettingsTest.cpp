#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "../platform/TempDir.h"
#include "FakeDesktop.h"
#include "app/Settings.h"

namespace {

using Umbra::LoginField;

std::u16string ReadSetting(const TempDir& dir, LPCWSTR section, LPCWSTR key) {
  WCHAR value[1024] = {};
  GetPrivateProfileStringW(section, key, u"<absent>", value, 1024, dir.Win("config.ini").c_str());
  return value;
}

TEST(Settings, ExecutableFolderIsTheProgramsFolderInWindowsForm) {
  char exe[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
  const std::string folder = std::filesystem::path(exe).parent_path().string();
  EXPECT_EQ(std::u16string(Umbra::GetExecutableFolder()), TempDir::ToWin(folder));
  EXPECT_EQ(std::u16string(Umbra::SettingsPathIn(u"C:\\Q")), u"C:\\Q\\config.ini");
}

TEST(Settings, FillsTheFormAsTheSavedFlagsAsk) {
  const std::string longCompany(300, 'c');
  struct Case {
    const char* what;
    std::string ini;
    std::u16string company, name, password;  // expected field texts
    bool saveName, savePassword;
    int flag;
  };
  const Case cases[] = {
      {"no settings file", "", u"", u"", u"", false, false, 0},
      {"name only", "[user]\r\ncompany=Acme\r\nusername=alice\r\npassword=6123\r\ncname=1\r\ncpwd=0\r\n",
       u"Acme", u"alice", u"", true, false, 0},
      {"password only", "[user]\r\ncompany=Acme\r\nusername=alice\r\npassword=6123\r\ncname=0\r\ncpwd=1\r\n",
       u"", u"", u"6123", false, true, 1},
      {"only the value 1 is on", "[user]\r\ncompany=Acme\r\ncname=yes\r\ncpwd=2\r\n", u"", u"", u"", false,
       false, 0},
      {"long company is cut to 254", "[user]\r\ncompany=" + longCompany + "\r\ncname=1\r\n",
       std::u16string(254, u'c'), u"", u"", true, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    if (!c.ini.empty()) TempDir::Put(dir / "config.ini", c.ini);
    InMemoryForm form;
    Umbra::LoadStartupSettings(form, dir.Win().c_str());
    EXPECT_EQ(form.Text(LoginField::CompanyNameEdit), c.company);
    EXPECT_EQ(form.Text(LoginField::LoginNameEdit), c.name);
    EXPECT_EQ(form.Text(LoginField::PwdEdit), c.password);
    EXPECT_EQ(form.IsSelected(LoginField::SaveUname), c.saveName);
    EXPECT_EQ(form.IsSelected(LoginField::SavePWD), c.savePassword);
    EXPECT_EQ(form.GetSavedPasswordFlag(), c.flag);
    // Boxes and fields the saved flags do not ask for are left as the skin made them.
    EXPECT_EQ(form.WasSet(LoginField::CompanyNameEdit), c.saveName);
    EXPECT_EQ(form.WasSet(LoginField::PwdEdit), c.savePassword);
  }
}

TEST(Settings, ClearCacheOneSweepsOnlyFilesAndResetsTheFlag) {
  TempDir dir;
  TempDir::Put(dir / "config.ini", "[system]\r\nCLEARCACHE=1\r\n");
  std::filesystem::create_directories(dir / "caches/sub");
  for (const char* name : {"caches/a.dat", "caches/.hidden", "caches/sub/kept.dat"})
    TempDir::Put(dir / name, "x");

  InMemoryForm form;
  Umbra::LoadStartupSettings(form, dir.Win().c_str());
  EXPECT_EQ(dir.Names("caches"), std::set<std::string>{"sub"});
  EXPECT_EQ(dir.Names("caches/sub"), std::set<std::string>{"kept.dat"});
  EXPECT_EQ(ReadSetting(dir, u"system", u"CLEARCACHE"), u"0");
}

TEST(Settings, ClearCacheOneWithoutACacheFolderStillResetsTheFlag) {
  TempDir dir;
  TempDir::Put(dir / "config.ini", "[system]\r\nCLEARCACHE=1\r\n");
  InMemoryForm form;
  Umbra::LoadStartupSettings(form, dir.Win().c_str());
  EXPECT_EQ(ReadSetting(dir, u"system", u"CLEARCACHE"), u"0");
}

TEST(Settings, ClearCacheOtherThanOneChangesNothing) {
  TempDir dir;
  const std::string ini = "[system]\r\nCLEARCACHE=2\r\n";
  TempDir::Put(dir / "config.ini", ini);
  std::filesystem::create_directories(dir / "caches");
  TempDir::Put(dir / "caches/a.dat", "x");
  InMemoryForm form;
  Umbra::LoadStartupSettings(form, dir.Win().c_str());
  EXPECT_EQ(dir.Names("caches"), std::set<std::string>{"a.dat"});
  EXPECT_EQ(TempDir::Get(dir / "config.ini"), ini);
}

}  // namespace
