// FindFirstFileW/FindNextFileW/FindClose: the entries of one folder whose names match a
// pattern with '*' and '?', without regard to case. The listing is taken whole when the search
// starts, so deleting entries while walking it (as a cache sweep does) is safe.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "kernel/fileinfo.h"
#include "kernel/handle.h"
#include "kernel/path.h"
#include "kernel/unicode.h"

namespace umbra::kernel {
namespace {

struct FoundEntry {
  std::u16string name;
  FileInfo info;
};

class FindObject final : public KernelObject {
 public:
  explicit FindObject(std::vector<FoundEntry> entries) : m_entries(std::move(entries)) {}

  const FoundEntry* Next() { return m_next < m_entries.size() ? &m_entries[m_next++] : nullptr; }

 private:
  std::vector<FoundEntry> m_entries;
  size_t m_next = 0;
};

std::u16string Fold(std::u16string_view text) {
  std::u16string folded(text);
  for (char16_t& c : folded) c = towlower(c);
  return folded;
}

// '*' matches any run of characters, '?' exactly one; both sides are already case-folded.
bool MatchWildcard(std::u16string_view pattern, std::u16string_view name) {
  size_t p = 0, n = 0;
  size_t starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
      ++p, ++n;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++, starN = n;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1, n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

// As on Windows, a pattern ending in ".*" also matches names without that extension, so
// "*.*" matches every name.
bool MatchesPattern(std::u16string_view pattern, std::u16string_view name) {
  if (MatchWildcard(pattern, name)) return true;
  return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*" &&
         MatchWildcard(pattern.substr(0, pattern.size() - 2), name);
}

void FillFindData(const FoundEntry& entry, WIN32_FIND_DATAW& data) {
  data = WIN32_FIND_DATAW{};
  data.dwFileAttributes = entry.info.attributes;
  data.ftCreationTime = entry.info.creationTime;
  data.ftLastAccessTime = entry.info.lastAccessTime;
  data.ftLastWriteTime = entry.info.lastWriteTime;
  data.nFileSizeHigh = static_cast<DWORD>(entry.info.size >> 32);
  data.nFileSizeLow = static_cast<DWORD>(entry.info.size);
  std::copy(entry.name.begin(), entry.name.end(), data.cFileName);
}

// "." and ".." first, then the rest by name without regard to case, as NTFS lists them.
bool ListedBefore(const FoundEntry& a, const FoundEntry& b) {
  const auto rank = [](const std::u16string& name) { return name == u"." ? 0 : name == u".." ? 1 : 2; };
  if (rank(a.name) != rank(b.name)) return rank(a.name) < rank(b.name);
  const std::u16string fa = Fold(a.name), fb = Fold(b.name);
  return fa != fb ? fa < fb : a.name < b.name;
}

// Reads the matching entries of the folder open at 'fd' (which it takes over).
std::vector<FoundEntry> ListMatches(int fd, std::u16string_view pattern) {
  std::vector<FoundEntry> entries;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return entries;
  }
  const std::u16string folded = Fold(pattern);
  std::u16string name;
  while (const dirent* entry = readdir(dir)) {
    // A name that is not UTF-8 or does not fit cFileName could not be opened again by name.
    if (!Utf8ToUtf16Strict(entry->d_name, name) || name.size() > MAX_PATH - 1) continue;
    if (!MatchesPattern(folded, Fold(name))) continue;
    FoundEntry found{name, {}};
    // A link to a missing file is still listed, described as the link itself.
    if (!QueryFileInfo(dirfd(dir), entry->d_name, 0, found.info) &&
        !QueryFileInfo(dirfd(dir), entry->d_name, AT_SYMLINK_NOFOLLOW, found.info)) {
      continue;  // removed since readdir saw it
    }
    entries.push_back(std::move(found));
  }
  closedir(dir);
  std::sort(entries.begin(), entries.end(), ListedBefore);
  return entries;
}

}  // namespace
}  // namespace umbra::kernel

using namespace umbra::kernel;

HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
  if (!lpFileName || !lpFindFileData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::u16string_view request = lpFileName;
  const size_t separator = request.find_last_of(u"\\/");
  const std::u16string_view pattern =
      separator == std::u16string_view::npos ? request : request.substr(separator + 1);
  std::u16string folderPart(separator == std::u16string_view::npos ? u"." : request.substr(0, separator + 1));
  if (pattern.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }

  const std::string folder = ResolvePath(folderPart.c_str());
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      SetLastError(ERROR_PATH_NOT_FOUND);
    } else {
      SetLastErrorFromErrno(errno, folder);
    }
    return INVALID_HANDLE_VALUE;
  }
  std::vector<FoundEntry> entries = ListMatches(fd, pattern);
  if (entries.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto search = std::make_unique<FindObject>(std::move(entries));
  FillFindData(*search->Next(), *lpFindFileData);
  HANDLE handle = RegisterHandle(std::move(search));
  SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
  FindObject* search = LookupHandleAs<FindObject>(hFindFile);
  if (!search) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!lpFindFileData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const FoundEntry* entry = search->Next();
  if (!entry) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  FillFindData(*entry, *lpFindFileData);
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
  if (!LookupHandleAs<FindObject>(hFindFile) || !ReleaseHandle(hFindFile)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
