// Shell special folders: SHGetSpecialFolderPathW. The local application-data folder is the XDG
// data folder ($XDG_DATA_HOME when absolute, else ~/.local/share), given with '\' separators
// so that code appending "\sub\file" as on Windows builds paths the file functions accept.
#include <pwd.h>
#include <shlobj.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <string>

#include "kernel/unicode.h"

namespace {

std::string HomeFolder() {
  const char* home = getenv("HOME");
  if (home && home[0] == '/') return home;
  passwd entry{};
  passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir &&
      found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return {};
}

// A relative $XDG_DATA_HOME is invalid by the XDG rules and is ignored.
std::string LocalAppDataFolder() {
  const char* xdg = getenv("XDG_DATA_HOME");
  std::string folder = xdg && xdg[0] == '/' ? std::string(xdg) : std::string();
  if (folder.empty()) {
    const std::string home = HomeFolder();
    if (!home.empty()) folder = home + "/.local/share";
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// Creates the folder and any missing parents, private to the user as XDG asks.
bool CreateFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

BOOL WINAPI SHGetSpecialFolderPathW(HWND hwnd, LPWSTR pszPath, int csidl, BOOL fCreate) {
  if (!pszPath || (csidl & ~CSIDL_FLAG_CREATE) != CSIDL_LOCAL_APPDATA) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string folder = LocalAppDataFolder();
  if (folder.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if ((fCreate || (csidl & CSIDL_FLAG_CREATE)) && !CreateFolders(folder)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::u16string path = umbra::kernel::Utf8ToUtf16(folder);
  if (path.size() >= MAX_PATH) {  // the caller's buffer holds MAX_PATH characters
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
  }
  path.copy(pszPath, path.size());
  pszPath[path.size()] = 0;
  return TRUE;
}
