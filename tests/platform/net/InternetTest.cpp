#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "../TempDir.h"

namespace {

// An HTTP(S) server on a free loopback port, served from a thread for the test's lifetime.
class LoopbackServer {
 public:
  explicit LoopbackServer(std::unique_ptr<httplib::Server> server = std::make_unique<httplib::Server>())
      : m_server(std::move(server)) {}
  ~LoopbackServer() {
    m_server->stop();
    if (m_thread.joinable()) m_thread.join();
  }
  httplib::Server& operator*() { return *m_server; }
  httplib::Server* operator->() { return m_server.get(); }

  // Call after the routes are set; connections wait in the backlog until the thread accepts.
  INTERNET_PORT Start() {
    m_port = static_cast<INTERNET_PORT>(m_server->bind_to_any_port("127.0.0.1"));
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    return m_port;
  }

 private:
  std::unique_ptr<httplib::Server> m_server;
  std::thread m_thread;
  INTERNET_PORT m_port = 0;
};

// A port that takes connections (the kernel completes them in the backlog) and never answers.
class SilentPort {
 public:
  SilentPort() {
    m_socket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(m_socket, reinterpret_cast<sockaddr*>(&address), length);
    listen(m_socket, 8);
    getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
  }
  ~SilentPort() { close(m_socket); }
  INTERNET_PORT Port() const { return m_port; }

 private:
  int m_socket = -1;
  INTERNET_PORT m_port = 0;
};

INTERNET_PORT FreePortWithNoListener() {
  SilentPort probe;
  return probe.Port();  // closed again when probe goes
}

struct Handles {
  HINTERNET session = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
  ~Handles() {
    if (session) InternetCloseHandle(session);  // closes the other two with it
  }
};

// Opens the three handles the way the launcher does, for a POST to "/login".
void OpenPost(Handles& h, const char* host, INTERNET_PORT port, DWORD flags = 0) {
  h.session = InternetOpenA("Login", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  ASSERT_NE(h.session, nullptr);
  h.connection = InternetConnectA(h.session, host, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  ASSERT_NE(h.connection, nullptr);
  LPCSTR accept[] = {"*/*", nullptr};
  h.request = HttpOpenRequestA(h.connection, "POST", "/login", nullptr, nullptr, accept,
                               INTERNET_FLAG_NO_CACHE_WRITE | flags, 1);
  ASSERT_NE(h.request, nullptr);
}

constexpr char kFormHeader[] = "Content-Type: application/x-www-form-urlencoded";

BOOL Send(const Handles& h, const std::string& body) {
  return HttpSendRequestA(h.request, kFormHeader, 47, const_cast<char*>(body.data()),
                          static_cast<DWORD>(body.size()));
}

std::string ReadAll(HINTERNET request, DWORD chunk = 1024) {
  std::string all;
  std::string buffer(chunk, '\0');
  DWORD read = 0;
  while (InternetReadFile(request, buffer.data(), chunk, &read) && read) all.append(buffer.data(), read);
  return all;
}

void SetTimeout(HINTERNET handle, DWORD option, DWORD ms) {
  ASSERT_TRUE(InternetSetOptionA(handle, option, &ms, sizeof ms));
}

TEST(WinInet, PostsTheBodyWithWinInetsHeadersAndReadsTheReply) {
  LoopbackServer server;
  httplib::Request seen;
  std::mutex lock;
  server->Post("/login", [&](const httplib::Request& req, httplib::Response& res) {
    std::lock_guard guard(lock);
    seen = req;
    res.set_content("6123", "text/html");
  });
  const INTERNET_PORT port = server.Start();
  Handles h;
  OpenPost(h, "127.0.0.1", port);
  // Long enough that curl would otherwise ask for "100-continue".
  const std::string body = "com=a&pwd=" + std::string(2000, 'x');
  ASSERT_TRUE(Send(h, body)) << GetLastError();
  EXPECT_EQ(ReadAll(h.request), "6123");

  std::lock_guard guard(lock);
  EXPECT_EQ(seen.body, body);
  EXPECT_EQ(seen.version, "HTTP/1.1");
  EXPECT_EQ(seen.get_header_value("User-Agent"), "Login");
  EXPECT_EQ(seen.get_header_value("Accept"), "*/*");
  EXPECT_EQ(seen.get_header_value("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(seen.get_header_value("Content-Length"), std::to_string(body.size()));
  EXPECT_EQ(seen.get_header_value("Host"), "127.0.0.1:" + std::to_string(port));
  EXPECT_FALSE(seen.has_header("Expect"));
}

TEST(WinInet, ReadFillsTheRequestedCountAcrossPiecesAndEndsWithZero) {
  LoopbackServer server;
  server->Post("/login", [](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
      for (const char* piece : {"first ", "second ", "third"}) {
        sink.write(piece, std::strlen(piece));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      sink.done();
      return true;
    });
  });
  Handles h;
  OpenPost(h, "127.0.0.1", server.Start());
  ASSERT_TRUE(Send(h, "x"));
  char buffer[1024] = {};
  DWORD read = 99;
  ASSERT_TRUE(InternetReadFile(h.request, buffer, sizeof buffer, &read));
  EXPECT_EQ(std::string(buffer, read), "first second third");
  ASSERT_TRUE(InternetReadFile(h.request, buffer, sizeof buffer, &read));
  EXPECT_EQ(read, 0u);
}

TEST(WinInet, ReadsALargeReplyWholeInSmallSteps) {
  std::string reply(300 * 1024, '\0');
  for (size_t i = 0; i < reply.size(); ++i) reply[i] = static_cast<char>('a' + i % 26);
  LoopbackServer server;
  server->Post("/login",
               [&](const httplib::Request&, httplib::Response& res) { res.set_content(reply, "x/y"); });
  Handles h;
  OpenPost(h, "127.0.0.1", server.Start());
  ASSERT_TRUE(Send(h, ""));
  EXPECT_EQ(ReadAll(h.request, 1000), reply);
}

TEST(WinInet, FailuresReportTheirInternetErrors) {
  SilentPort silent;
  LoopbackServer dropping;
  dropping->Post("/login", [](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(10, "text/plain", [](size_t, size_t, httplib::DataSink&) { return false; });
  });
  const INTERNET_PORT droppingPort = dropping.Start();
  const INTERNET_PORT closedPort = FreePortWithNoListener();

  struct Case {
    const char* what;
    const char* host;
    INTERNET_PORT port;
    BOOL sent;
    DWORD error;  // of the send when it fails, else of the read
  };
  const Case cases[] = {
      {"nobody listens", "127.0.0.1", closedPort, FALSE, ERROR_INTERNET_CANNOT_CONNECT},
      {"name does not resolve", "no-such-host.invalid", 80, FALSE, ERROR_INTERNET_NAME_NOT_RESOLVED},
      {"server never answers", "127.0.0.1", silent.Port(), FALSE, ERROR_INTERNET_TIMEOUT},
      {"connection drops mid-reply", "127.0.0.1", droppingPort, TRUE, ERROR_INTERNET_CONNECTION_ABORTED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Handles h;
    OpenPost(h, c.host, c.port);
    SetTimeout(h.request, INTERNET_OPTION_RECEIVE_TIMEOUT, 1000);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Send(h, "com=a"), c.sent);
    if (c.sent) {
      char buffer[64];
      DWORD read = 7;
      EXPECT_FALSE(InternetReadFile(h.request, buffer, sizeof buffer, &read));
      EXPECT_EQ(read, 0u);
    }
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  }
}

TEST(WinInet, EmptyReplyReadsAsTheEnd) {
  LoopbackServer server;
  server->Post("/login",
               [](const httplib::Request&, httplib::Response& res) { res.set_content("", "text/html"); });
  Handles h;
  OpenPost(h, "127.0.0.1", server.Start());
  ASSERT_TRUE(Send(h, "x"));
  char buffer[16];
  DWORD read = 5;
  EXPECT_TRUE(InternetReadFile(h.request, buffer, sizeof buffer, &read));
  EXPECT_EQ(read, 0u);
}

TEST(WinInet, TimeoutsHaveFiniteDefaultsAndFollowTheHandleTheyAreSetOn) {
  Handles h;
  OpenPost(h, "127.0.0.1", 80);
  const DWORD expected[][2] = {{INTERNET_OPTION_CONNECT_TIMEOUT, 60000},
                               {INTERNET_OPTION_SEND_TIMEOUT, 30000},
                               {INTERNET_OPTION_RECEIVE_TIMEOUT, 30000}};
  for (const auto& [option, ms] : expected) {
    DWORD value = 0, size = sizeof value;
    ASSERT_TRUE(InternetQueryOptionA(h.request, option, &value, &size));
    EXPECT_EQ(value, ms) << option;
  }

  // A null handle changes what sessions opened afterwards start with.
  DWORD saved = 0, size = sizeof saved;
  ASSERT_TRUE(InternetQueryOptionA(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &saved, &size));
  SetTimeout(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, 1234);
  Handles later;
  OpenPost(later, "127.0.0.1", 80);
  SetTimeout(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, saved);
  DWORD value = 0;
  size = sizeof value;
  ASSERT_TRUE(InternetQueryOptionA(later.request, INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &size));
  EXPECT_EQ(value, 1234u);
  ASSERT_TRUE(InternetQueryOptionA(h.request, INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &size));
  EXPECT_EQ(value, 30000u);

  WORD small = 1;
  EXPECT_FALSE(InternetSetOptionA(h.request, INTERNET_OPTION_SEND_TIMEOUT, &small, sizeof small));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_BAD_OPTION_LENGTH));
  EXPECT_FALSE(InternetSetOptionA(h.request, 9999, &value, sizeof value));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INVALID_OPTION));
  size = 2;
  EXPECT_FALSE(InternetQueryOptionA(h.request, INTERNET_OPTION_SEND_TIMEOUT, &value, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, sizeof(DWORD));
}

TEST(WinInet, RefusesHandlesOfTheWrongKindOrStateAndClosesChildrenWithTheirParent) {
  Handles h;
  OpenPost(h, "127.0.0.1", 80);
  char buffer[8];
  DWORD read = 0;
  EXPECT_EQ(HttpOpenRequestA(h.session, "GET", "/", nullptr, nullptr, nullptr, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
  EXPECT_FALSE(InternetReadFile(h.connection, buffer, sizeof buffer, &read));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
  EXPECT_FALSE(InternetReadFile(h.request, buffer, sizeof buffer, &read));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_STATE));

  ASSERT_TRUE(InternetCloseHandle(h.session));
  h.session = nullptr;
  for (HINTERNET child : {h.connection, h.request}) {
    EXPECT_FALSE(InternetCloseHandle(child));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
  EXPECT_FALSE(HttpSendRequestA(h.request, nullptr, 0, nullptr, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(WinInet, RefusesHostsAndVerbsThatWouldChangeTheRequest) {
  HINTERNET session = InternetOpenA("Login", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  ASSERT_NE(session, nullptr);
  HINTERNET bad =
      InternetConnectA(session, "evil.example/x?", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  ASSERT_NE(bad, nullptr);  // as on Windows, the name is only looked at when it is used
  EXPECT_EQ(HttpOpenRequestA(bad, "POST", "/", nullptr, nullptr, nullptr, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INVALID_URL));
  HINTERNET good = InternetConnectA(session, "127.0.0.1", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  EXPECT_EQ(HttpOpenRequestA(good, "PO ST\r\n", "/", nullptr, nullptr, nullptr, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  InternetCloseHandle(session);
}

// ---- HTTPS -----------------------------------------------------------------------------------

class WinInetTls : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string command =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1"
        " -addext subjectAltName=IP:127.0.0.1 -keyout '" +
        m_dir / "key.pem" + "' -out '" + m_dir / "cert.pem" + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) GTEST_SKIP() << "openssl cannot make a test certificate";
    auto tls =
        std::make_unique<httplib::SSLServer>((m_dir / "cert.pem").c_str(), (m_dir / "key.pem").c_str());
    tls->Post("/login", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content("secure " + req.body, "text/plain");
    });
    m_server = std::make_unique<LoopbackServer>(std::move(tls));
    m_port = m_server->Start();
  }
  void TearDown() override { unsetenv("UMBRA_CA_FILE"); }

  TempDir m_dir;
  std::unique_ptr<LoopbackServer> m_server;
  INTERNET_PORT m_port = 0;
};

TEST_F(WinInetTls, RefusesACertificateNoTrustedAuthoritySigned) {
  Handles h;
  OpenPost(h, "127.0.0.1", m_port, INTERNET_FLAG_SECURE);
  EXPECT_FALSE(Send(h, "pwd=1"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INVALID_CA));
}

TEST_F(WinInetTls, TalksTlsWhenTheAuthorityIsTrusted) {
  setenv("UMBRA_CA_FILE", (m_dir / "cert.pem").c_str(), 1);
  Handles h;
  OpenPost(h, "127.0.0.1", m_port, INTERNET_FLAG_SECURE);
  ASSERT_TRUE(Send(h, "pwd=1")) << GetLastError();
  EXPECT_EQ(ReadAll(h.request), "secure pwd=1");
}

}  // namespace
