// Demo client: stands in for the client programs the launcher starts ("Quorvel.exe" and
// "Velmora.exe" are copies of it). It records how it was started, one line per start:
// its own file name, then each argument, separated by tabs (tab, line break and backslash
// escaped as \t, \n and \\). The line goes to the file named by UMBRA_CLIENT_LOG, or to
// standard output.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string OwnFileName() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "?";
  const std::string full(path, static_cast<size_t>(n));
  return full.substr(full.rfind('/') + 1);
}

}  // namespace

int main(int argc, char** argv) {
  std::string line = Escape(OwnFileName());
  for (int i = 0; i < argc; ++i) line += "\t" + Escape(argv[i]);
  line += "\n";
  const char* logPath = std::getenv("UMBRA_CLIENT_LOG");
  if (!logPath || !*logPath) {
    std::fputs(("Demo client started: " + line).c_str(), stdout);
    return 0;
  }
  FILE* log = std::fopen(logPath, "ab");
  if (!log) return 1;
  const bool written = std::fwrite(line.data(), 1, line.size(), log) == line.size();
  return std::fclose(log) == 0 && written ? 0 : 1;
}
