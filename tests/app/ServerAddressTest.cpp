#include <gtest/gtest.h>

#include <string>

#include "../platform/TempDir.h"
#include "app/ServerAddress.h"

namespace {

TEST(ServerAddress, ParsesHostsHostPortsAndUrls) {
  struct Case {
    std::u16string text;
    bool valid;
    std::string host = "";
    INTERNET_PORT port = 0;
    bool secure = false;
  };
  const Case cases[] = {
      {u"login.example", true, "login.example", 80, false},
      {u"  login.example:8080 ", true, "login.example", 8080, false},
      {u"127.0.0.1:81", true, "127.0.0.1", 81, false},
      {u"http://login.example", true, "login.example", 80, false},
      {u"HTTPS://login.example", true, "login.example", 443, true},
      {u"https://login.example:8443/", true, "login.example", 8443, true},
      {u"http://[::1]:81", true, "::1", 81, false},
      {u"", false},
      {u"login.example:", false},
      {u"login.example:0", false},
      {u"login.example:70000", false},
      {u"login.example:8o", false},
      {u"ftp://login.example", false},
      {u"http://user@login.example", false},
      {u"http://login.example/other/", false},
      {u"bad host", false},
      {u"登录.example", false},
      {u"[::1", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    Umbra::LoginServerAddress address;
    ASSERT_EQ(Umbra::ParseServerAddress(c.text, address), c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(address.host, c.host);
    EXPECT_EQ(address.port, c.port);
    EXPECT_EQ(address.secure, c.secure);
  }
}

TEST(ServerAddress, RegistrationPageIsOnTheSameServer) {
  struct Case {
    Umbra::LoginServerAddress address;
    std::u16string url;
  };
  const Case cases[] = {
      {{"login.example", 80, false}, u"http://login.example/reg.php"},
      {{"login.example", 8443, true}, u"https://login.example:8443/reg.php"},
      {{"::1", 81, false}, u"http://[::1]:81/reg.php"},
  };
  for (const Case& c : cases) EXPECT_EQ(std::u16string(Umbra::RegistrationUrl(c.address)), c.url);
}

TEST(ServerAddress, ComesFromTheSettingsOrTheBuiltInDefault) {
  TempDir dir;
  const std::u16string path = dir.Win("config.ini");
  Umbra::LoginServerAddress address, expected;
  ASSERT_TRUE(Umbra::ParseServerAddress(TEXT(UMBRA_LOGIN_SERVER), expected));
  ASSERT_TRUE(Umbra::ReadServerAddress(path.c_str(), address));
  EXPECT_EQ(address.host, expected.host);
  EXPECT_EQ(address.port, expected.port);

  TempDir::Put(dir / "config.ini", "[system]\r\nserver=https://127.0.0.1:9443\r\n");
  ASSERT_TRUE(Umbra::ReadServerAddress(path.c_str(), address));
  EXPECT_EQ(address.host, "127.0.0.1");
  EXPECT_EQ(address.port, 9443);
  EXPECT_TRUE(address.secure);

  TempDir::Put(dir / "config.ini", "[system]\r\nserver=gopher://x\r\n");
  EXPECT_FALSE(Umbra::ReadServerAddress(path.c_str(), address));
}

}  // namespace
