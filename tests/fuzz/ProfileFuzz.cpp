// Arbitrary bytes as an INI file: listing and reading every section and key must not crash,
// and writing one value must leave every other value readable as before.
#include <stdlib.h>
#include <unistd.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

struct FuzzFile {
  std::string folder;
  std::string path;
  std::u16string widePath;

  FuzzFile() {
    // tmpfs when there is one: the atomic write's fsync costs nothing there.
    char pattern[] = "/dev/shm/umbra-profile-fuzz-XXXXXX";
    char fallback[] = "/tmp/umbra-profile-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) made = mkdtemp(fallback);
    if (!made) abort();
    folder = made;
    path = folder + "/fuzz.ini";
    widePath.assign(path.begin(), path.end());  // ASCII
  }
  ~FuzzFile() {
    unlink(path.c_str());
    rmdir(folder.c_str());
  }
};

FuzzFile& File() {
  static FuzzFile file;
  return file;
}

// Room for anything the file can hold: no byte decodes to more than one UTF-16 unit.
DWORD g_capacity = 16;

std::vector<std::u16string> List(const char16_t* section) {
  std::u16string buffer(g_capacity, u'\0');
  const DWORD n = GetPrivateProfileStringW(section, nullptr, u"", buffer.data(),
                                           static_cast<DWORD>(buffer.size()), File().widePath.c_str());
  std::vector<std::u16string> names;
  size_t start = 0;
  for (size_t i = 0; i < n; ++i) {
    if (buffer[i] == u'\0') {
      names.push_back(buffer.substr(start, i - start));
      start = i + 1;
    }
  }
  return names;
}

std::u16string Read(const std::u16string& section, const std::u16string& key, DWORD size = g_capacity) {
  std::u16string buffer(size, u'\0');
  const DWORD n = GetPrivateProfileStringW(section.c_str(), key.c_str(), u"<none>", buffer.data(), size,
                                           File().widePath.c_str());
  if (n >= size) abort();  // the count never includes the terminator
  return buffer.substr(0, n);
}

using Values = std::map<std::pair<std::u16string, std::u16string>, std::u16string>;

Values Snapshot() {
  Values values;
  for (const std::u16string& section : List(nullptr)) {
    for (const std::u16string& key : List(section.c_str())) {
      values[{section, key}] = Read(section, key);
      Read(section, key, 2);
      GetPrivateProfileIntW(section.c_str(), key.c_str(), -5, File().widePath.c_str());
    }
  }
  return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* out = fopen(File().path.c_str(), "wb");
  if (!out) return 0;
  fwrite(data, 1, size, out);
  fclose(out);
  g_capacity = static_cast<DWORD>(size) + 16;

  WCHAR small[3];
  GetPrivateProfileStringW(nullptr, nullptr, u"", small, 3, File().widePath.c_str());
  const Values before = Snapshot();

  if (!WritePrivateProfileStringW(u"fuzz", u"k", u"v", File().widePath.c_str())) abort();
  if (Read(u"fuzz", u"k") != u"v") abort();
  for (const auto& [name, value] : before) {
    const bool written =
        _wcsicmp(name.first.c_str(), u"fuzz") == 0 && _wcsicmp(name.second.c_str(), u"k") == 0;
    if (!written && Read(name.first, name.second) != value) abort();
  }
  return 0;
}
