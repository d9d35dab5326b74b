// The demo login server, run as a process of its own on a free loopback port for one test, and
// always stopped when the test ends.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

class LoginServerProcess {
 public:
  LoginServerProcess(const std::string& accountsPath, const std::string& logPath) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> args = {UMBRA_LOGINSERVER, "--accounts", accountsPath, "--port", "0",
                                     "--log",           logPath};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, UMBRA_LOGINSERVER, &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (m_pid > 0) m_port = ReadPort(out[0]);
    close(out[0]);
  }
  ~LoginServerProcess() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    for (int i = 0; i < 500; ++i) {
      if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
  LoginServerProcess(const LoginServerProcess&) = delete;
  LoginServerProcess& operator=(const LoginServerProcess&) = delete;

  // 0 when the server did not come up.
  int Port() const { return m_port; }

 private:
  // The server prints "listening on http://127.0.0.1:PORT" once it takes connections.
  static int ReadPort(int fd) {
    std::string line;
    char c;
    pollfd ready = {fd, POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&ready, 1, 10000) > 0 && read(fd, &c, 1) == 1)
      line += c;
    const size_t colon = line.rfind(':');
    return colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
  }

  pid_t m_pid = -1;
  int m_port = 0;
};
