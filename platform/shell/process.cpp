// CreateProcessW: the program from the application name (a Windows path, no search, as Win32
// does) or else from the command line's first argument (looked up beside the caller, in the
// current folder and in PATH, with ".exe" tried as well); the child's arguments are the
// command line split by the Windows rules, so that what the parent writes is what the child
// sees. ".exe" files are ordinary executables here.
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "kernel/handle.h"
#include "kernel/path.h"
#include "kernel/unicode.h"
#include "shell/cmdline.h"
#include "shell/spawn.h"

namespace umbra::shell {
namespace {

using kernel::Utf16ToUtf8;

// The child, as a kernel object: hProcess and hThread name it until they are closed.
class ProcessObject final : public kernel::KernelObject {
 public:
  explicit ProcessObject(pid_t pid) : m_pid(pid) {}
  pid_t Pid() const { return m_pid; }

 private:
  pid_t m_pid;
};

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

std::string CallerFolder() {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return n > 0 ? FolderOf(std::string(buffer, static_cast<size_t>(n))) : std::string();
}

// A bare program name, as Windows looks it up: the caller's folder, the current folder, PATH.
std::optional<std::string> SearchProgram(const std::string& name) {
  std::vector<std::string> names{name};
  if (name.find('.') == std::string::npos) names.push_back(name + ".exe");
  std::vector<std::string> folders{CallerFolder(), "./"};
  if (const char* path = std::getenv("PATH")) {
    std::string list = path;
    for (size_t start = 0; start <= list.size();) {
      const size_t end = std::min(list.find(':', start), list.size());
      if (end > start) folders.push_back(list.substr(start, end - start) + "/");
      start = end + 1;
    }
  }
  for (const std::string& folder : folders) {
    for (const std::string& candidate : names) {
      if (IsExecutableFile(folder + candidate)) return folder + candidate;
    }
  }
  return std::nullopt;
}

// The native path of the program to start; "" when it cannot be found.
std::string ResolveProgram(LPCWSTR applicationName, const std::vector<std::u16string>& args) {
  if (applicationName) return kernel::ResolvePath(applicationName);
  const std::u16string& first = args.front();
  if (first.find_first_of(u"\\/") != std::u16string::npos) {
    std::string path = kernel::ResolvePath(first.c_str());
    if (!IsExecutableFile(path) && first.find(u'.') == std::u16string::npos) {
      path = kernel::ResolvePath((first + u".exe").c_str());
    }
    return path;
  }
  return SearchProgram(Utf16ToUtf8(first)).value_or(std::string());
}

// An environment block: "NAME=value" strings each ending in a zero, the block in another zero;
// UTF-16 with CREATE_UNICODE_ENVIRONMENT, else ANSI.
std::vector<std::string> ReadEnvironmentBlock(LPVOID block, bool unicode) {
  std::vector<std::string> entries;
  if (unicode) {
    for (auto* p = static_cast<const char16_t*>(block); *p; p += wcslen(p) + 1)
      entries.push_back(Utf16ToUtf8(p));
    return entries;
  }
  for (auto* p = static_cast<const char*>(block); *p; p += std::strlen(p) + 1) {
    const int length = static_cast<int>(std::strlen(p));
    std::u16string wide(static_cast<size_t>(length), u'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, p, length, wide.data(), length);
    wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
    entries.push_back(Utf16ToUtf8(wide));
  }
  return entries;
}

DWORD ErrorFromSpawn(int err, const std::string& path) {
  if (err == ENOEXEC) return ERROR_BAD_EXE_FORMAT;
  kernel::SetLastErrorFromErrno(err, path);
  return GetLastError();
}

}  // namespace
}  // namespace umbra::shell

using namespace umbra;

BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                           DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                           LPSTARTUPINFOW lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation) {
  const bool hasCommandLine = lpCommandLine && *lpCommandLine;
  if ((!lpApplicationName && !hasCommandLine) || !lpStartupInfo || !lpProcessInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A child that starts suspended or under a debugger cannot be offered here.
  if (dwCreationFlags & (CREATE_SUSPENDED | DEBUG_PROCESS | DEBUG_ONLY_THIS_PROCESS)) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  const std::vector<std::u16string> args = hasCommandLine ? shell::SplitCommandLine(lpCommandLine)
                                                          : std::vector<std::u16string>{lpApplicationName};
  shell::SpawnRequest request;
  request.program = shell::ResolveProgram(lpApplicationName, args);
  if (request.program.empty() || !shell::IsExecutableFile(request.program)) {
    struct stat st;
    const bool exists = !request.program.empty() && stat(request.program.c_str(), &st) == 0;
    SetLastError(exists ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  for (const std::u16string& arg : args) request.args.push_back(kernel::Utf16ToUtf8(arg));
  if (lpEnvironment) {
    request.env = shell::ReadEnvironmentBlock(lpEnvironment, dwCreationFlags & CREATE_UNICODE_ENVIRONMENT);
  }
  if (lpCurrentDirectory) {
    request.workingFolder = kernel::ResolvePath(lpCurrentDirectory);
    struct stat st;
    if (stat(request.workingFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_DIRECTORY);
      return FALSE;
    }
  }
  request.inheritDescriptors = bInheritHandles != FALSE;
  pid_t pid = 0;
  if (const int err = shell::SpawnDetached(request, &pid)) {
    SetLastError(shell::ErrorFromSpawn(err, request.program));
    return FALSE;
  }
  lpProcessInformation->hProcess = kernel::RegisterHandle(std::make_unique<shell::ProcessObject>(pid));
  lpProcessInformation->hThread = kernel::RegisterHandle(std::make_unique<shell::ProcessObject>(pid));
  lpProcessInformation->dwProcessId = static_cast<DWORD>(pid);
  lpProcessInformation->dwThreadId = static_cast<DWORD>(pid);  // a process's first thread has its id
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
