// SHGetSpecialFolderPathW: the local application-data folder is the XDG data folder.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <stdlib.h>
#include <windows.h>

#include <optional>
#include <string>

#include "../TempDir.h"

namespace {

// Sets or clears an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : m_name(name) {
    if (const char* old = getenv(name)) m_old = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (m_old) {
      setenv(m_name, m_old->c_str(), 1);
    } else {
      unsetenv(m_name);
    }
  }

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

TEST(ShellFolder, LocalAppDataIsTheXdgDataFolderInWindowsForm) {
  TempDir home;
  ScopedEnv homeEnv("HOME", home.path());
  struct Case {
    std::optional<std::string> xdg;
    std::string expect;
  } cases[] = {
      {home / "data", home / "data"},
      {home / "data/", home / "data"},  // no final separator
      {std::nullopt, home / ".local/share"},
      {std::string(""), home / ".local/share"},
      {std::string("relative/data"), home / ".local/share"},  // relative: invalid, ignored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xdg.value_or("(unset)"));
    ScopedEnv xdgEnv("XDG_DATA_HOME", c.xdg);
    WCHAR path[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_LOCAL_APPDATA, FALSE));
    EXPECT_EQ(std::u16string(path), TempDir::ToWin(c.expect));
  }
}

TEST(ShellFolder, CreatesTheFolderOnlyWhenAsked) {
  TempDir root;
  ScopedEnv xdgEnv("XDG_DATA_HOME", root / "a/b");
  WCHAR path[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_LOCAL_APPDATA, FALSE));
  EXPECT_FALSE(PathFileExistsW(path));
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_LOCAL_APPDATA, TRUE));
  EXPECT_EQ(GetFileAttributesW(path), DWORD(FILE_ATTRIBUTE_DIRECTORY));

  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, path, 0x1A, FALSE));  // other folders: none here
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  ScopedEnv longEnv("XDG_DATA_HOME", "/" + std::string(300, 'x'));
  EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_LOCAL_APPDATA, FALSE));  // would not fit
}

}  // namespace
