#include "shell/cmdline.h"

namespace umbra::shell {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// The program name: up to the first blank outside quotes; quotes are dropped.
size_t TakeProgramName(std::u16string_view line, std::u16string& name) {
  bool quoted = false;
  size_t i = 0;
  for (; i < line.size(); ++i) {
    if (line[i] == u'"') {
      quoted = !quoted;
    } else if (IsBlank(line[i]) && !quoted) {
      break;
    } else {
      name += line[i];
    }
  }
  return i;
}

// One later argument starting at 'i' (not a blank); returns the index after it.
size_t TakeArgument(std::u16string_view line, size_t i, std::u16string& arg) {
  bool quoted = false;
  while (i < line.size()) {
    const char16_t c = line[i];
    if (c == u'\\') {
      size_t slashes = 0;
      while (i < line.size() && line[i] == u'\\') ++slashes, ++i;
      if (i < line.size() && line[i] == u'"') {
        arg.append(slashes / 2, u'\\');
        if (slashes % 2) {
          arg += u'"';
          ++i;
        }
        // With an even count the quote is left for the next round, where it groups.
      } else {
        arg.append(slashes, u'\\');
      }
    } else if (c == u'"') {
      if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
        arg += u'"';
        i += 2;
      } else {
        quoted = !quoted;
        ++i;
      }
    } else if (IsBlank(c) && !quoted) {
      break;
    } else {
      arg += c;
      ++i;
    }
  }
  return i;
}

}  // namespace

std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine) {
  std::vector<std::u16string> args;
  std::u16string name;
  size_t i = TakeProgramName(commandLine, name);
  args.push_back(std::move(name));
  for (;;) {
    while (i < commandLine.size() && IsBlank(commandLine[i])) ++i;
    if (i >= commandLine.size()) break;
    std::u16string arg;
    i = TakeArgument(commandLine, i, arg);
    args.push_back(std::move(arg));
  }
  return args;
}

}  // namespace umbra::shell
