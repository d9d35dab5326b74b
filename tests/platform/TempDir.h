// A fresh folder under /tmp for one test, removed with everything in it at the end, and small
// helpers to put bytes into files and read them back around the calls under test.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/umbra-test-XXXXXX";
    if (mkdtemp(pattern)) m_path = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_path, ignored)) {
      if (entry.is_directory(ignored)) chmod(entry.path().c_str(), 0700);  // tests make folders read-only
    }
    chmod(m_path.c_str(), 0700);
    std::filesystem::remove_all(m_path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return m_path; }
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }

  // The Windows form of a path inside the folder: '\' separators, UTF-16.
  std::u16string Win(const std::string& name = "") const {
    return ToWin(name.empty() ? m_path : *this / name);
  }

  static std::u16string ToWin(const std::string& utf8) {
    std::u16string wide(utf8.size() + 1, u'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                                      static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<size_t>(n) : 0);
    for (char16_t& c : wide) {
      if (c == u'/') c = u'\\';
    }
    return wide;
  }

  static void Put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string Get(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // The names in the folder, "." and ".." left out.
  std::set<std::string> Names(const std::string& sub = "") const {
    std::set<std::string> names;
    std::error_code ignored;
    for (const auto& entry :
         std::filesystem::directory_iterator(sub.empty() ? m_path : *this / sub, ignored)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

 private:
  std::string m_path;
};

// Open descriptors of this process: a leak shows as growth across many calls.
inline int CountOpenDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir)) ++count;
    closedir(dir);
  }
  return count;
}
