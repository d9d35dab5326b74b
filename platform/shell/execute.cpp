// ShellExecuteW with the verb "open": a URL or an existing document goes to the desktop's
// default handler through xdg-open, which is not waited for. UMBRA_SHELL_LOG turns the call
// into a line appended to that file ("verb<TAB>file<TAB>parameters<TAB>folder<TAB>show"), so
// that tests and headless runs can see what would have been opened.
#include <shellapi.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kernel/path.h"
#include "kernel/unicode.h"
#include "shell/spawn.h"

namespace umbra::shell {
namespace {

// Anything above 32 means success; this is the value Windows programs usually see.
constexpr INT_PTR kSuccess = 42;

HINSTANCE Result(INT_PTR code) { return reinterpret_cast<HINSTANCE>(code); }

// One log field: control characters and the backslash escaped, so a line stays one line.
std::string LogField(LPCWSTR text) {
  std::string out;
  for (char c : kernel::Utf16ToUtf8(text ? text : u"")) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out;
}

INT_PTR LogCall(const char* logPath, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder,
                INT show) {
  const std::string line = LogField(verb ? verb : u"open") + "\t" + LogField(file) + "\t" +
                           LogField(parameters) + "\t" + LogField(folder) + "\t" + std::to_string(show) +
                           "\n";
  FILE* log = std::fopen(logPath, "ab");
  if (!log) return SE_ERR_ACCESSDENIED;
  const bool written = std::fwrite(line.data(), 1, line.size(), log) == line.size();
  return std::fclose(log) == 0 && written ? kSuccess : SE_ERR_ACCESSDENIED;
}

bool IsUrl(const std::u16string& target) {
  const size_t colon = target.find(u':');
  // "C:\..." is a path; a scheme is two or more letters before the colon.
  return colon != std::u16string::npos && colon >= 2 && target.find_first_of(u"\\/") > colon;
}

INT_PTR Open(LPCWSTR file) {
  std::string target;
  if (IsUrl(file)) {
    target = kernel::Utf16ToUtf8(file);
  } else {
    target = kernel::ResolvePath(file);
    struct stat st;
    if (stat(target.c_str(), &st) != 0) return SE_ERR_FNF;
  }
  SpawnRequest request;
  request.program = "xdg-open";
  request.args = {"xdg-open", target};
  pid_t pid = 0;
  const int err = SpawnDetached(request, &pid);
  if (err == ENOENT) return SE_ERR_NOASSOC;  // no desktop handler installed
  if (err == ENOMEM) return SE_ERR_OOM;
  return err ? SE_ERR_ACCESSDENIED : kSuccess;
}

}  // namespace
}  // namespace umbra::shell

HINSTANCE WINAPI ShellExecuteW(HWND hwnd, LPCWSTR lpOperation, LPCWSTR lpFile, LPCWSTR lpParameters,
                               LPCWSTR lpDirectory, INT nShowCmd) {
  using namespace umbra::shell;
  if (!lpFile || !*lpFile) return Result(SE_ERR_FNF);
  if (lpOperation && lstrcmpiW(lpOperation, u"open") != 0) return Result(SE_ERR_NOASSOC);
  if (const char* logPath = std::getenv("UMBRA_SHELL_LOG"); logPath && *logPath) {
    return Result(LogCall(logPath, lpOperation, lpFile, lpParameters, lpDirectory, nShowCmd));
  }
  return Result(Open(lpFile));
}
