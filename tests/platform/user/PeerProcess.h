// A peer program (the telephone box, the second client) run as a process of its own for one
// test or fixture, with its window on the headless display, and always stopped at the end.
// The peer prints "ready" once its window can be found.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

class PeerProcess {
 public:
  // Runs `program` with `args`, in this process's environment.
  PeerProcess(const std::string& program, std::vector<std::string> args) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    args.insert(args.begin(), program);
    args.push_back("--exit-with-parent");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    m_ready = m_pid > 0 && ReadReady(out[0]);
    close(out[0]);
  }
  ~PeerProcess() { Kill(); }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  bool Ready() const { return m_ready; }
  pid_t Pid() const { return m_pid; }

  // Kills the peer and reaps it.
  void Kill() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }

  // Whether the peer ends by itself within `ms`; it is reaped if so.
  bool ExitsWithin(int ms) {
    for (int waited = 0; m_pid > 0 && waited <= ms; waited += 5) {
      if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
        m_pid = -1;
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return m_pid <= 0;
  }

 private:
  static bool ReadReady(int fd) {
    std::string line;
    char c;
    pollfd ready = {fd, POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&ready, 1, 10000) > 0 && read(fd, &c, 1) == 1)
      line += c;
    return line == "ready\n";
  }

  pid_t m_pid = -1;
  bool m_ready = false;
};
