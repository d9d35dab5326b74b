// Starting programs detached from the caller, for CreateProcessW and ShellExecuteW.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace umbra::shell {

struct SpawnRequest {
  std::string program;                          // a path, or a bare name looked up in PATH
  std::vector<std::string> args;                // the whole argument vector, argv[0] included
  std::optional<std::vector<std::string>> env;  // "NAME=value" entries; none: the caller's
  std::string workingFolder;                    // empty: the caller's
  bool inheritDescriptors = false;              // false: only standard input, output and error
};

// Starts the program in its own session with default signal handling, so that it outlives
// the caller and ignores what is sent to the caller's terminal. A thread waits for the child's
// end, so that it never stays behind as a zombie and other children of the caller are left
// alone. Returns 0 and the child's id, or the errno of the failure.
int SpawnDetached(const SpawnRequest& request, pid_t* pid);

}  // namespace umbra::shell
