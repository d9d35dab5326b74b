#include "shell/spawn.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

extern char** environ;

namespace umbra::shell {
namespace {

std::vector<char*> PointerArray(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (const std::string& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// The child's attributes: a new session, no blocked signals and every handler at its default.
int PrepareAttributes(posix_spawnattr_t& attributes) {
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  int err = posix_spawnattr_setsigmask(&attributes, &none);
  if (!err) err = posix_spawnattr_setsigdefault(&attributes, &all);
  if (!err)
    err = posix_spawnattr_setflags(&attributes,
                                   POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  return err;
}

int PrepareActions(const SpawnRequest& request, posix_spawn_file_actions_t& actions) {
  int err = 0;
  if (!request.workingFolder.empty()) {
    err = posix_spawn_file_actions_addchdir_np(&actions, request.workingFolder.c_str());
  }
  if (!err && !request.inheritDescriptors) err = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  return err;
}

void ReapInBackground(pid_t pid) {
  try {
    std::thread([pid] {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the child still runs, and is reaped when the caller ends.
  }
}

}  // namespace

int SpawnDetached(const SpawnRequest& request, pid_t* pid) {
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_t actions;
  if (int err = posix_spawnattr_init(&attributes)) return err;
  if (int err = posix_spawn_file_actions_init(&actions)) {
    posix_spawnattr_destroy(&attributes);
    return err;
  }
  int err = PrepareAttributes(attributes);
  if (!err) err = PrepareActions(request, actions);
  if (!err) {
    std::vector<char*> argv = PointerArray(request.args);
    std::vector<char*> envp;
    if (request.env) envp = PointerArray(*request.env);
    char* const* env = request.env ? envp.data() : environ;
    const bool search = request.program.find('/') == std::string::npos;
    err = search ? posix_spawnp(pid, request.program.c_str(), &actions, &attributes, argv.data(), env)
                 : posix_spawn(pid, request.program.c_str(), &actions, &attributes, argv.data(), env);
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (!err) ReapInBackground(*pid);
  return err;
}

}  // namespace umbra::shell
