// Demo login server: answers the launcher's POST "/loginPCdes.php" from an accounts file, and
// serves a small page at "/reg.php" for the registration link. It listens on loopback, prints
// "listening on http://ADDRESS:PORT" once it is ready, logs every request it receives and runs
// until SIGINT or SIGTERM.
//
//   loginserver --accounts FILE [--port N] [--bind ADDRESS] [--log FILE]
//
// --port 0 (the default) takes a free port. The log (default: standard error) has one line per
// request: method, path, Content-Type, User-Agent, Accept, Content-Length and the body, separated
// by tabs; bytes of the body outside printable ASCII, and the backslash, are written as \xNN.
//
// The accounts file has one account per line: company, login name, password and reply,
// separated by tabs; empty lines and lines starting with '#' are skipped. In every field \t, \n,
// \r, \\ and \xNN stand for those bytes. The reply is sent as the body as it stands, so it
// may be a number of 511 or more (success), a failure number, or any text; two replies are
// behaviours instead: "@close" drops the connection after the headers, and "@hang" never
// answers. The fields are compared byte for byte with the decoded form, so write the file in
// the character set of the launcher's ANSI code page (UTF-8 by default). A login whose company
// or name is not in the file gets "-4", a wrong password "0", an empty field "-2".
#include <httplib.h>
#include <signal.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Account {
  std::string company;
  std::string name;
  std::string password;
  std::string reply;
};

struct Options {
  std::string accountsPath;
  std::string bindAddress = "127.0.0.1";
  int port = 0;
  std::string logPath;
};

// ---- Text helpers ----------------------------------------------------------------------------

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Unescape(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      out += field[i];
      continue;
    }
    const char next = field[++i];
    if (next == 't') {
      out += '\t';
    } else if (next == 'n') {
      out += '\n';
    } else if (next == 'r') {
      out += '\r';
    } else if (next == 'x' && i + 2 < field.size() && HexValue(field[i + 1]) >= 0 &&
               HexValue(field[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(field[i + 1]) * 16 + HexValue(field[i + 2]));
      i += 2;
    } else {
      out += next;  // "\\" and any other escaped character stand for themselves
    }
  }
  return out;
}

std::string EscapeForLog(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  return out;
}

// application/x-www-form-urlencoded: '&' separates pairs, '+' is a blank, %XX a byte.
std::string FormDecode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::map<std::string, std::string> ParseForm(const std::string& body) {
  std::map<std::string, std::string> fields;
  size_t start = 0;
  while (start <= body.size()) {
    const size_t end = std::min(body.find('&', start), body.size());
    const std::string pair = body.substr(start, end - start);
    const size_t equals = pair.find('=');
    if (!pair.empty()) {
      fields.emplace(FormDecode(pair.substr(0, equals)),
                     equals == std::string::npos ? std::string() : FormDecode(pair.substr(equals + 1)));
    }
    start = end + 1;
  }
  return fields;
}

// ---- Accounts --------------------------------------------------------------------------------

bool LoadAccounts(const std::string& path, std::vector<Account>& accounts) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
      fields.push_back(line.substr(start, tab - start));
    }
    fields.push_back(line.substr(start));
    if (fields.size() != 4) {
      std::cerr << "loginserver: skipping a line without four tab-separated fields: " << line << "\n";
      continue;
    }
    accounts.push_back({Unescape(fields[0]), Unescape(fields[1]), Unescape(fields[2]), Unescape(fields[3])});
  }
  return true;
}

std::string Judge(const std::vector<Account>& accounts, const std::map<std::string, std::string>& form) {
  auto field = [&form](const char* name) {
    auto it = form.find(name);
    return it == form.end() ? std::string() : it->second;
  };
  const std::string company = field("com"), name = field("name"), password = field("pwd");
  if (company.empty() || name.empty() || password.empty()) return "-2";
  for (const Account& account : accounts) {
    if (account.company == company && account.name == name)
      return account.password == password ? account.reply : "0";
  }
  return "-4";
}

// ---- The server ------------------------------------------------------------------------------

class DemoServer {
 public:
  DemoServer(std::vector<Account> accounts, FILE* log) : m_accounts(std::move(accounts)), m_log(log) {
    m_server.Post("/loginPCdes.php",
                  [this](const httplib::Request& req, httplib::Response& res) { Login(req, res); });
    m_server.Get("/reg.php", [this](const httplib::Request& req, httplib::Response& res) {
      Log(req);
      res.set_content(
          "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Quorvel</title></head>"
          "<body><h1>Quorvel free trial</h1><p>Demo registration page.</p></body></html>\n",
          "text/html; charset=utf-8");
    });
  }

  int Bind(const std::string& address, int port) {
    if (port == 0) return m_server.bind_to_any_port(address);
    return m_server.bind_to_port(address, port) ? port : -1;
  }
  void Run() { m_server.listen_after_bind(); }

  void Stop() {
    {
      std::lock_guard guard(m_lock);
      m_stopping = true;
    }
    m_stopped.notify_all();
    m_server.stop();
  }

 private:
  void Log(const httplib::Request& req) {
    std::lock_guard guard(m_lock);
    std::fprintf(m_log, "%s\t%s\t%s\t%s\t%s\t%s\t%s\n", req.method.c_str(), EscapeForLog(req.path).c_str(),
                 EscapeForLog(req.get_header_value("Content-Type")).c_str(),
                 EscapeForLog(req.get_header_value("User-Agent")).c_str(),
                 EscapeForLog(req.get_header_value("Accept")).c_str(),
                 EscapeForLog(req.get_header_value("Content-Length")).c_str(),
                 EscapeForLog(req.body).c_str());
    std::fflush(m_log);
  }

  void Login(const httplib::Request& req, httplib::Response& res) {
    Log(req);
    const std::string reply = Judge(m_accounts, ParseForm(req.body));
    if (reply == "@hang") {
      std::unique_lock lock(m_lock);
      m_stopped.wait(lock, [this] { return m_stopping; });
      return;
    }
    if (reply == "@close") {
      // Headers that promise a body, then nothing: the connection ends mid-reply.
      res.set_content_provider(1, "text/html", [](size_t, size_t, httplib::DataSink&) { return false; });
      return;
    }
    res.set_content(reply, "text/html");
  }

  httplib::Server m_server;
  std::vector<Account> m_accounts;
  FILE* m_log;
  std::mutex m_lock;
  std::condition_variable m_stopped;
  bool m_stopping = false;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i], value = argv[i + 1];
    if (name == "--accounts") {
      options.accountsPath = value;
    } else if (name == "--port") {
      options.port = std::atoi(value.c_str());
    } else if (name == "--bind") {
      options.bindAddress = value;
    } else if (name == "--log") {
      options.logPath = value;
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && !options.accountsPath.empty() && options.port >= 0 && options.port <= 65535;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::cerr << "usage: loginserver --accounts FILE [--port N] [--bind ADDRESS] [--log FILE]\n";
    return 2;
  }
  std::vector<Account> accounts;
  if (!LoadAccounts(options.accountsPath, accounts)) {
    std::cerr << "loginserver: cannot read " << options.accountsPath << "\n";
    return 1;
  }
  FILE* log = options.logPath.empty() ? stderr : std::fopen(options.logPath.c_str(), "ab");
  if (!log) {
    std::cerr << "loginserver: cannot open " << options.logPath << "\n";
    return 1;
  }

  // SIGINT and SIGTERM are taken by one thread, so that the server stops cleanly.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  DemoServer server(std::move(accounts), log);
  const int port = server.Bind(options.bindAddress, options.port);
  if (port <= 0) {
    std::cerr << "loginserver: cannot listen on " << options.bindAddress << ":" << options.port << "\n";
    return 1;
  }
  std::atomic<bool> signalled{false};
  std::thread stopper([&server, &signalled, stopSignals] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    signalled = true;
    server.Stop();
  });
  std::printf("listening on http://%s:%d\n", options.bindAddress.c_str(), port);
  std::fflush(stdout);
  server.Run();
  if (!signalled) pthread_kill(stopper.native_handle(), SIGTERM);  // the server ended on its own
  stopper.join();
  return 0;
}
