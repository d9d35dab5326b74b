#include <gtest/gtest.h>
#include <wininet.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../platform/TempDir.h"
#include "FakeDesktop.h"
#include "LoginServerProcess.h"
#include "app/Login.h"
#include "app/Settings.h"

namespace {

using Umbra::LoginField;

constexpr char16_t kLoggingIn[] = u"登录中...";
constexpr char16_t kSucceeded[] = u"登录成功";

// The accounts the demo server knows: company Acme, password "p", and the reply each login
// name gets.
const std::string kLongReply(1500, '9');
const std::string kAccounts =
    "Acme\tu511\tp\t511\n"
    "Acme\tu510\tp\t510\n"
    "Acme\tu7000\tp\t7000\n"
    "Acme\tu6000\tp\t 6000abc\n"
    "Acme\tu12digits\tp\t123456789012\n"
    "Acme\tu0\tp\t0\n"
    "Acme\tu-1\tp\t-1\n"
    "Acme\tu-2\tp\t-2\n"
    "Acme\tu-3\tp\t-3\n"
    "Acme\tu-4\tp\t-4\n"
    "Acme\tu-5\tp\t-5\n"
    "Acme\tu-6\tp\t-6\n"
    "Acme\tu-7\tp\t-7\n"
    "Acme\tu-8\tp\t-8\n"
    "Acme\tu-9\tp\t-9\n"
    "Acme\tu-10\tp\t-10\n"
    "Acme\tuletters\tp\tabc\n"
    "Acme\tulong\tp\t" +
    kLongReply +
    "\n"
    "Acme\tuwide\tp\t6000" +
    std::string(600, 'x') +
    "\n"
    "Acme\tuempty\tp\t\n"
    "Acme\tuclose\tp\t@close\n"
    "Acme\tuhang\tp\t@hang\n"
    "公司\tuenc\ta&b+c=d%e f\t6001\n";

// Server log lines: method, path, Content-Type, User-Agent, Accept, Content-Length, body.
std::vector<std::vector<std::string>> ReadServerLog(const std::string& path) {
  std::vector<std::vector<std::string>> requests;
  const std::string log = TempDir::Get(path);
  size_t start = 0;
  for (size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
    std::vector<std::string> fields;
    const std::string line = log.substr(start, end - start);
    size_t from = 0;
    for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1) {
      fields.push_back(line.substr(from, tab - from));
    }
    fields.push_back(line.substr(from));
    std::string& body = fields.back();  // undo the log's \xNN escapes
    std::string bytes;
    for (size_t i = 0; i < body.size(); ++i) {
      if (body[i] == '\\' && i + 3 < body.size() && body[i + 1] == 'x') {
        bytes += static_cast<char>(std::stoi(body.substr(i + 2, 2), nullptr, 16));
        i += 3;
      } else {
        bytes += body[i];
      }
    }
    body = bytes;
    requests.push_back(fields);
  }
  return requests;
}

class LoginExchange : public ::testing::Test {
 protected:
  void SetUp() override {
    TempDir::Put(m_dir / "accounts.txt", kAccounts);
    m_server = std::make_unique<LoginServerProcess>(m_dir / "accounts.txt", m_dir / "server.log");
    ASSERT_GT(m_server->Port(), 0) << "the demo login server did not start";
    for (const char* client : {"Quorvel.exe", "Velmora.exe"}) {
      std::filesystem::copy_file(UMBRA_DEMOCLIENT, m_dir / client);
    }
    setenv("UMBRA_CLIENT_LOG", (m_dir / "client.log").c_str(), 1);
    m_config = "[system]\r\nserver=127.0.0.1:" + std::to_string(m_server->Port()) + "\r\n";
    TempDir::Put(m_dir / "config.ini", m_config);
    // A server that never answers must end the login in a moment, not in the default 30 s.
    DWORD size = sizeof m_savedTimeout;
    InternetQueryOptionA(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &m_savedTimeout, &size);
    DWORD shortTimeout = 1500;
    InternetSetOptionA(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &shortTimeout, sizeof shortTimeout);
  }
  void TearDown() override {
    InternetSetOptionA(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &m_savedTimeout, sizeof m_savedTimeout);
    unsetenv("UMBRA_CLIENT_LOG");
  }

  void Fill(const std::u16string& company, const std::u16string& name, const std::u16string& password) {
    m_form.SetText(LoginField::CompanyNameEdit, company.c_str());
    m_form.SetText(LoginField::LoginNameEdit, name.c_str());
    m_form.SetText(LoginField::PwdEdit, password.c_str());
    m_form.SetSavedPasswordFlag(0);
  }
  void Login() { Umbra::StartLogin(m_form, m_desktop, m_dir.Win().c_str()); }
  std::u16string Status() const { return m_form.Text(LoginField::ErrBtn); }

  std::u16string Setting(LPCWSTR section, LPCWSTR key) const {
    WCHAR value[2048] = {};
    GetPrivateProfileStringW(section, key, u"<absent>", value, 2048, m_dir.Win("config.ini").c_str());
    return value;
  }
  std::vector<std::vector<std::string>> Requests() const { return ReadServerLog(m_dir / "server.log"); }
  std::string LastBody() const {
    const auto requests = Requests();
    return requests.empty() ? "<no request>" : requests.back().back();
  }

  // The demo client's record, once it has written it.
  std::string ClientRecord(std::chrono::milliseconds wait = std::chrono::seconds(5)) const {
    const auto until = std::chrono::steady_clock::now() + wait;
    for (;;) {
      const std::string record = TempDir::Get(m_dir / "client.log");
      if ((!record.empty() && record.back() == '\n') || std::chrono::steady_clock::now() > until)
        return record;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  TempDir m_dir;
  std::unique_ptr<LoginServerProcess> m_server;
  std::string m_config;
  InMemoryForm m_form;
  FakeDesktop m_desktop;
  DWORD m_savedTimeout = 0;
};

TEST_F(LoginExchange, PostsThePlainFormByteForByte) {
  Fill(u"Acme", u"u0", u"p");
  Login();
  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::vector<std::string> expected = {"POST",
                                             "/loginPCdes.php",
                                             "application/x-www-form-urlencoded",
                                             "Login",
                                             "*/*",
                                             "60",
                                             "com=Acme&name=u0&pwd=p&ver=7200&entype=des&pwdtype=0&despwd="};
  EXPECT_EQ(requests[0], expected);
}

TEST_F(LoginExchange, EncodesValuesAndSendsTheSavedPasswordWithItsFlag) {
  TempDir::Put(m_dir / "config.ini", m_config + "[user]\r\npassword=saved&1\r\ncpwd=1\r\n");
  Umbra::LoadStartupSettings(m_form, m_dir.Win().c_str());
  ASSERT_EQ(m_form.GetSavedPasswordFlag(), 1);
  m_form.SetText(LoginField::CompanyNameEdit, u"公司");
  m_form.SetText(LoginField::LoginNameEdit, u"uenc");
  m_form.SetText(LoginField::PwdEdit, u"a&b+c=d%e f");  // the user edits the filled-in password
  Login();
  EXPECT_EQ(LastBody(),
            "com=%E5%85%AC%E5%8F%B8&name=uenc&pwd=a%26b%2Bc%3Dd%25e%20f&ver=7200&entype=des&pwdtype=1"
            "&despwd=saved%261");
  EXPECT_EQ(Status(), kSucceeded);  // the server decoded the password it was given
}

TEST_F(LoginExchange, LongBodyIsSentWhole) {
  const std::u16string company(300, u'c');
  Fill(company, u"u0", u"p");
  Login();
  EXPECT_EQ(LastBody(),
            "com=" + std::string(300, 'c') + "&name=u0&pwd=p&ver=7200&entype=des&pwdtype=0&despwd=");
}

TEST_F(LoginExchange, EmptyFieldsAreRefusedBeforeAnyRequest) {
  struct Case {
    std::u16string company, name, password, status;
  };
  const Case cases[] = {
      {u"", u"", u"p", u"公司名不能为空"},
      {u"Acme", u"", u"p", u"用户名不能为空"},
      {u"Acme", u"u0", u"", u"密码不能为空"},
  };
  for (const Case& c : cases) {
    Fill(c.company, c.name, c.password);
    Login();
    EXPECT_EQ(Status(), c.status);
  }
  // Blanks are content.
  Fill(u" ", u" ", u" ");
  Login();
  EXPECT_EQ(Requests().size(), 1u);
}

TEST_F(LoginExchange, RepliesBelowSuccessShowTheirVerdictAndChangeNothing) {
  struct Case {
    std::u16string name;
    std::u16string status;
  };
  const Case cases[] = {
      {u"u510", kLoggingIn},
      {u"u0", u"登录失败,账号或密码错误."},
      {u"u-1", u"账号已停用,请联系管理员激活."},
      {u"u-2", u"登录失败,账号密码不能为空."},
      {u"u-3", kLoggingIn},
      {u"u-4", u"登录失败,账号不存在."},
      {u"u-5", u"登录失败,账号已到期,请及时续费."},
      {u"u-6", u"登录IP未授权,请联系管理员授权."},
      {u"u-7", u"当前时段不允许登录,请联系管理员."},
      {u"u-8", u"系统授权错误,请联系Quorvel客服."},
      {u"u-9", u"登录失败,未知错误."},
      {u"u-10", kLoggingIn},
      {u"uletters", u"登录失败,账号或密码错误."},
      {u"ulong", kLoggingIn},   // 1,500 bytes: ignored
      {u"uempty", kLoggingIn},  // nothing to read
      {u"uclose", kLoggingIn},  // the connection drops mid-reply
      {u"uhang", kLoggingIn},   // never answers: the receive time-out ends it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
    m_form.SetText(LoginField::ErrBtn, u"previous");
    Fill(u"Acme", c.name, u"p");
    const auto start = std::chrono::steady_clock::now();
    Login();
    EXPECT_EQ(Status(), c.status);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  }
  EXPECT_EQ(Requests().size(), std::size(cases));
  EXPECT_EQ(TempDir::Get(m_dir / "config.ini"), m_config);
  EXPECT_TRUE(m_desktop.QuitCodes().empty());
  EXPECT_EQ(ClientRecord(std::chrono::milliseconds(200)), "");
}

struct SuccessCase {
  const char16_t* name;
  const char* reply;  // as stored in the settings file
  const char16_t* id;
  const char* client;
  const char16_t* skinVer;
};

class LoginSuccess : public LoginExchange, public ::testing::WithParamInterface<SuccessCase> {};

TEST_P(LoginSuccess, StoresTheAccountStartsTheClientAndQuits) {
  const SuccessCase& c = GetParam();
  Fill(u"Acme", c.name, u"p");
  m_form.SetSelected(LoginField::SaveUname, true);
  Login();
  EXPECT_EQ(Status(), kSucceeded);
  EXPECT_EQ(Setting(u"user", u"id"), c.id);
  EXPECT_EQ(Setting(u"user", u"company"), u"Acme");
  EXPECT_EQ(Setting(u"user", u"username"), c.name);
  EXPECT_EQ(Setting(u"user", u"cname"), u"1");
  EXPECT_EQ(Setting(u"user", u"cpwd"), u"0");
  EXPECT_EQ(Setting(u"system", u"SkinVer"), c.skinVer);
  // The whole reply, blanks and letters included, is what is stored as the password.
  EXPECT_NE(TempDir::Get(m_dir / "config.ini").find(std::string("password=") + c.reply + "\r\n"),
            std::string::npos);
  EXPECT_EQ(ClientRecord(), std::string(c.client) + "\tLoginSuCCeSS\n");
  EXPECT_EQ(m_desktop.QuitCodes(), std::vector<int>{1});
}

INSTANTIATE_TEST_SUITE_P(Replies, LoginSuccess,
                         ::testing::Values(SuccessCase{u"u511", "511", u"511", "Quorvel.exe", u"5"},
                                           SuccessCase{u"u7000", "7000", u"7000", "Velmora.exe", u"7"},
                                           SuccessCase{u"u6000", " 6000abc", u"6000", "Quorvel.exe", u"6"},
                                           SuccessCase{u"u12digits", "123456789012", u"123456789",
                                                       "Quorvel.exe", u"1"}));

TEST_F(LoginExchange, LongReplyIsStoredWhole) {
  Fill(u"Acme", u"uwide", u"p");
  Login();
  EXPECT_EQ(Status(), kSucceeded);
  const std::string stored = "password=6000" + std::string(600, 'x') + "\r\n";
  EXPECT_NE(TempDir::Get(m_dir / "config.ini").find(stored), std::string::npos);
}

TEST_F(LoginExchange, RunningSecondClientKeepsTheAccountButStartsNothing) {
  m_desktop.AddWindow(u"velmorabro", u"");
  Fill(u"Acme", u"u7000", u"p");
  Login();
  EXPECT_EQ(Status(), u"请勿重复登录");
  EXPECT_EQ(Setting(u"user", u"id"), u"7000");
  EXPECT_EQ(Setting(u"system", u"SkinVer"), u"<absent>");
  EXPECT_TRUE(m_desktop.QuitCodes().empty());
  EXPECT_EQ(ClientRecord(std::chrono::milliseconds(200)), "");
}

TEST_F(LoginExchange, UnusableServerSettingSendsNothing) {
  TempDir::Put(m_dir / "config.ini", "[system]\r\nserver=ftp://127.0.0.1\r\n");
  Fill(u"Acme", u"u511", u"p");
  Login();
  EXPECT_EQ(Status(), kLoggingIn);
  EXPECT_TRUE(Requests().empty());
}

TEST_F(LoginExchange, EveryPathClosesItsConnections) {
  const int before = CountOpenDescriptors();
  for (int round = 0; round < 3; ++round) {
    for (const char16_t* name : {u"u0", u"uclose", u"uempty", u"ulong"}) {
      Fill(u"Acme", name, u"p");
      Login();
    }
  }
  EXPECT_EQ(CountOpenDescriptors(), before);
}

}  // namespace
