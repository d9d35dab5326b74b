#include "kernel/path.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "kernel/unicode.h"

namespace umbra::kernel {
namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::string Join(const std::string& folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string joined = folder;
  if (joined.back() != '/') joined += '/';
  joined += name;
  return joined;
}

std::u16string Fold(std::u16string text) {
  for (char16_t& c : text) c = towlower(c);
  return text;
}

// The entry of 'folder' whose name equals 'name' without regard to case, or "" when none.
// Names that are not valid UTF-8 cannot be spelled in UTF-16, so they never match; when
// several names differ only in case the smallest wins, so the choice is stable.
std::string FindEntryIgnoringCase(const std::string& folder, std::string_view name) {
  const std::u16string wanted = Fold(Utf8ToUtf16(name));
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return {};
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return {};
  }
  std::string best;
  std::u16string wide;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view candidate = entry->d_name;
    if (candidate == "." || candidate == "..") continue;
    if (!Utf8ToUtf16Strict(candidate, wide) || wide.size() != wanted.size()) continue;
    if (Fold(wide) == wanted && (best.empty() || candidate < best)) best = candidate;
  }
  closedir(dir);
  return best;
}

std::vector<std::string_view> SplitComponents(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// True when the folder that would hold 'path' exists, which tells "file not found" from
// "path not found".
bool ParentFolderExists(const std::string& path) {
  std::string parent = path;
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  if (parent.empty()) return false;
  const size_t slash = parent.rfind('/');
  if (slash == std::string::npos) {
    parent = ".";
  } else {
    parent.resize(slash == 0 ? 1 : slash);
  }
  struct stat st;
  return stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

DWORD ErrorFromErrno(int err, const std::string& nativePath) {
  switch (err) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ParentFolderExists(nativePath) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    case ENOTDIR:
    case ELOOP:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EXDEV:
      return ERROR_NOT_SAME_DEVICE;
    case EBUSY:
    case ETXTBSY:
      return ERROR_SHARING_VIOLATION;
    default:
      return ERROR_GEN_FAILURE;
  }
}

}  // namespace

std::string ToNativePath(LPCWSTR path) {
  if (!path) return {};
  std::string native = Utf16ToUtf8(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

std::string ResolvePath(LPCWSTR path) {
  const std::string native = ToNativePath(path);
  if (native.empty() || Exists(native)) return native;

  std::string resolved = native[0] == '/' ? "/" : "";
  bool matching = true;  // once a component is missing, the rest cannot exist either
  for (std::string_view part : SplitComponents(native)) {
    std::string next = Join(resolved, part);
    if (matching && part != "." && part != ".." && !Exists(next)) {
      const std::string found = FindEntryIgnoringCase(resolved, part);
      if (found.empty()) {
        matching = false;
      } else {
        next = Join(resolved, found);
      }
    }
    resolved = std::move(next);
  }
  if (native.back() == '/' && resolved.back() != '/') resolved += '/';
  return resolved;
}

void SetLastErrorFromErrno(int err, const std::string& nativePath) {
  SetLastError(ErrorFromErrno(err, nativePath));
}

}  // namespace umbra::kernel
