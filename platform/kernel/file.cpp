// Files and folders: CreateFileW and the calls on its handles, deletion, moves, folders,
// attributes and PathFileExistsW.
//
// Sections: file information - file handles - opening - reading and writing - positions and
// sizes - deleting and moving - folders - attributes.
#include <fcntl.h>
#include <shlwapi.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "kernel/fileinfo.h"
#include "kernel/handle.h"
#include "kernel/path.h"

namespace umbra::kernel {

// ---- File information ----------------------------------------------------------------------

namespace {

// 100-ns intervals between 1601-01-01 (FILETIME's epoch) and 1970-01-01 (Unix's).
constexpr int64_t kEpochDifference = 116444736000000000LL;

FILETIME FileTimeFromUnix(const struct statx_timestamp& ts) {
  int64_t ticks = 0;
  if (__builtin_mul_overflow(ts.tv_sec, int64_t{10000000}, &ticks) ||
      __builtin_add_overflow(ticks, kEpochDifference + ts.tv_nsec / 100, &ticks)) {
    ticks = ts.tv_sec < 0 ? 0 : INT64_MAX;
  }
  const auto value = static_cast<uint64_t>(ticks < 0 ? 0 : ticks);  // before 1601: not representable
  return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

std::string_view LastComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

DWORD AttributesOf(const struct statx& st, std::string_view name) {
  DWORD attributes = 0;
  if (S_ISDIR(st.stx_mode)) {
    attributes |= FILE_ATTRIBUTE_DIRECTORY;
  } else if (S_ISREG(st.stx_mode)) {
    attributes |= FILE_ATTRIBUTE_ARCHIVE;  // what Windows shows for ordinary files
  }
  if (!(st.stx_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
  // Dot files are Linux's hidden files.
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= FILE_ATTRIBUTE_HIDDEN;
  return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace

bool QueryFileInfo(int dirFd, const char* path, int statxFlags, FileInfo& info) {
  struct statx st;
  if (statx(dirFd, path, statxFlags, STATX_BASIC_STATS | STATX_BTIME, &st) != 0) return false;
  info.attributes = AttributesOf(st, LastComponent(path));
  info.size = S_ISDIR(st.stx_mode) ? 0 : st.stx_size;
  info.lastAccessTime = FileTimeFromUnix(st.stx_atime);
  info.lastWriteTime = FileTimeFromUnix(st.stx_mtime);
  // Not every file system records a birth time; the last change is the closest stand-in.
  info.creationTime = FileTimeFromUnix((st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_mtime);
  return true;
}

// ---- File handles ----------------------------------------------------------------------------

namespace {

class FileObject final : public KernelObject {
 public:
  FileObject(int fd, bool canRead, bool canWrite) : m_fd(fd), m_canRead(canRead), m_canWrite(canWrite) {}
  ~FileObject() override { close(m_fd); }

  int fd() const { return m_fd; }
  bool canRead() const { return m_canRead; }
  bool canWrite() const { return m_canWrite; }

 private:
  int m_fd;
  bool m_canRead;
  bool m_canWrite;
};

FileObject* LookupFile(HANDLE handle) {
  FileObject* file = LookupHandleAs<FileObject>(handle);
  if (!file) SetLastError(ERROR_INVALID_HANDLE);
  return file;
}

// The Linux path for a path argument, with Win32's errors for a null or empty one.
bool NativePathOf(LPCWSTR path, std::string& native) {
  if (!path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  native = ResolvePath(path);
  if (native.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  return true;
}

bool FailWithErrno(const std::string& path) {
  SetLastErrorFromErrno(errno, path);
  return false;
}

// ---- Opening ---------------------------------------------------------------------------------

// Opens 'path' as the creation disposition asks; 'existed' tells whether the file was there.
int OpenWithDisposition(const std::string& path, int flags, DWORD disposition, mode_t mode, bool& existed) {
  const char* name = path.c_str();
  existed = false;
  switch (disposition) {
    case CREATE_NEW:
      return open(name, flags | O_CREAT | O_EXCL, mode);
    case OPEN_EXISTING:
      existed = true;
      return open(name, flags);
    case TRUNCATE_EXISTING:
      existed = true;
      return open(name, flags | O_TRUNC);
    default:
      break;
  }
  // CREATE_ALWAYS and OPEN_ALWAYS report whether the file was there: open it if it is, else
  // create it exclusively, and look again if another process created it in between.
  const int existingFlags = disposition == CREATE_ALWAYS ? flags | O_TRUNC : flags;
  for (int attempt = 0; attempt < 4; ++attempt) {
    int fd = open(name, existingFlags);
    if (fd >= 0 || errno != ENOENT) {
      existed = fd >= 0;
      return fd;
    }
    fd = open(name, flags | O_CREAT | O_EXCL, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  // Still neither: a symbolic link to a missing file, which O_EXCL refuses to follow.
  return open(name, existingFlags | O_CREAT, mode);
}

}  // namespace
}  // namespace umbra::kernel

using namespace umbra::kernel;

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  // Share modes are not enforced: Linux has no mandatory locking, and nothing in the program
  // depends on being refused a file that another handle has open.
  std::string path;
  if (!NativePathOf(lpFileName, path)) return INVALID_HANDLE_VALUE;
  const bool canRead = dwDesiredAccess & (GENERIC_READ | GENERIC_ALL);
  const bool canWrite = dwDesiredAccess & (GENERIC_WRITE | GENERIC_ALL);
  if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING ||
      (dwCreationDisposition == TRUNCATE_EXISTING && !canWrite)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }

  int flags = (canWrite ? (canRead ? O_RDWR : O_WRONLY) : O_RDONLY) | O_CLOEXEC;
  if (dwFlagsAndAttributes & FILE_FLAG_WRITE_THROUGH) flags |= O_DSYNC;
  const mode_t mode = (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  bool existed = false;
  const int fd = OpenWithDisposition(path, flags, dwCreationDisposition, mode, existed);
  if (fd < 0) {
    if (errno == EEXIST && dwCreationDisposition == CREATE_NEW) {
      SetLastError(ERROR_FILE_EXISTS);
    } else {
      FailWithErrno(path);
    }
    return INVALID_HANDLE_VALUE;
  }
  // A folder opens only with backup semantics, as on Windows.
  struct stat st;
  if (fstat(fd, &st) != 0 || (S_ISDIR(st.st_mode) && !(dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS))) {
    close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }

  HANDLE handle = RegisterHandle(std::make_unique<FileObject>(fd, canRead, canWrite));
  const bool reportsExisting = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
  SetLastError(reportsExisting && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

// ---- Reading and writing -------------------------------------------------------------------

namespace {

// The checks ReadFile and WriteFile share. Overlapped I/O is not offered: handles are always
// synchronous here, and OVERLAPPED is opaque.
FileObject* BeginTransfer(HANDLE hFile, LPCVOID buffer, DWORD count, LPDWORD transferred,
                          LPOVERLAPPED overlapped) {
  if (transferred) *transferred = 0;
  FileObject* file = LookupFile(hFile);
  if (!file) return nullptr;
  if (!transferred || overlapped || (!buffer && count)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return file;
}

void SetTransferError(int err) {
  // A handle opened without the access reports EBADF; Windows calls that access denied.
  SetLastErrorFromErrno(err == EBADF ? EACCES : err, std::string());
}

}  // namespace

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
  FileObject* file = BeginTransfer(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped);
  if (!file) return FALSE;
  if (!file->canRead()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  auto* out = static_cast<char*>(lpBuffer);
  DWORD done = 0;
  // Short reads happen (pipes, signals); keep going until the count or the end of the file.
  while (done < nNumberOfBytesToRead) {
    const ssize_t n = read(file->fd(), out + done, nNumberOfBytesToRead - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *lpNumberOfBytesRead = done;
      SetTransferError(errno);
      return FALSE;
    }
    if (n == 0) break;
    done += static_cast<DWORD>(n);
  }
  *lpNumberOfBytesRead = done;
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  FileObject* file =
      BeginTransfer(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten, lpOverlapped);
  if (!file) return FALSE;
  if (!file->canWrite()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const auto* in = static_cast<const char*>(lpBuffer);
  DWORD done = 0;
  while (done < nNumberOfBytesToWrite) {
    const ssize_t n = write(file->fd(), in + done, nNumberOfBytesToWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *lpNumberOfBytesWritten = done;
      SetTransferError(n < 0 ? errno : ENOSPC);
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  *lpNumberOfBytesWritten = done;
  return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
  FileObject* file = LookupFile(hFile);
  if (!file) return FALSE;
  if (!file->canWrite()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (fsync(file->fd()) != 0 && errno != EINVAL) {  // EINVAL: nothing to flush (pipes, ttys)
    SetTransferError(errno);
    return FALSE;
  }
  return TRUE;
}

// ---- Positions and sizes ---------------------------------------------------------------------

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
  FileObject* file = LookupFile(hFile);
  if (!file) return FALSE;
  if (!file->canWrite()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const off_t position = lseek(file->fd(), 0, SEEK_CUR);
  if (position < 0 || ftruncate(file->fd(), position) != 0) {
    SetTransferError(errno);
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  FileObject* file = LookupFile(hFile);
  if (!file) return INVALID_FILE_SIZE;
  struct stat st;
  if (fstat(file->fd(), &st) != 0) {
    SetTransferError(errno);
    return INVALID_FILE_SIZE;
  }
  const auto size = static_cast<uint64_t>(st.st_size);
  if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
  const auto low = static_cast<DWORD>(size);
  if (low == INVALID_FILE_SIZE) SetLastError(NO_ERROR);  // lets the caller tell a size from a failure
  return low;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
  FileObject* file = LookupFile(hFile);
  if (!file) return INVALID_SET_FILE_POINTER;
  // With a high part the distance is one signed 64-bit value; without, the low part is signed.
  const int64_t distance =
      lpDistanceToMoveHigh
          ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                                 static_cast<uint32_t>(lDistanceToMove))
          : lDistanceToMove;

  int64_t base = 0;
  if (dwMoveMethod == FILE_CURRENT) {
    base = lseek(file->fd(), 0, SEEK_CUR);
  } else if (dwMoveMethod == FILE_END) {
    struct stat st;
    base = fstat(file->fd(), &st) == 0 ? st.st_size : -1;
  } else if (dwMoveMethod != FILE_BEGIN) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (base < 0) {
    SetTransferError(errno);
    return INVALID_SET_FILE_POINTER;
  }

  int64_t target = 0;
  if (__builtin_add_overflow(base, distance, &target)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  if (!lpDistanceToMoveHigh && target > 0xFFFFFFFFLL) {
    SetLastError(ERROR_INVALID_PARAMETER);  // the result would not fit the return value
    return INVALID_SET_FILE_POINTER;
  }
  if (lseek(file->fd(), target, SEEK_SET) < 0) {
    SetTransferError(errno);
    return INVALID_SET_FILE_POINTER;
  }
  if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
  const auto low = static_cast<DWORD>(target);
  if (low == INVALID_SET_FILE_POINTER) SetLastError(NO_ERROR);  // a position, not a failure
  return low;
}

// ---- Deleting and moving -----------------------------------------------------------------------

namespace {

bool SyncFolderOf(const std::string& path) {
  std::string folder = path;
  const size_t slash = folder.rfind('/');
  folder = slash == std::string::npos ? "." : folder.substr(0, slash == 0 ? 1 : slash);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0 || errno == EINVAL;
  close(fd);
  return ok;
}

// The destination of a move with its folders resolved and its own name as the caller wrote
// it, so that a rename that only changes case is not taken for a move onto itself.
std::string DestinationAsWritten(LPCWSTR destination) {
  std::u16string folder(destination);
  const size_t separator = folder.find_last_of(u"\\/");
  if (separator == std::u16string::npos) return ToNativePath(destination);
  const std::u16string name = folder.substr(separator + 1);
  folder.resize(separator + 1);
  std::string path = ResolvePath(folder.c_str());
  return path + ToNativePath(name.c_str());
}

bool CopyContents(int from, int to) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(from, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(to, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        if (w == 0) errno = ENOSPC;
        return false;
      }
      done += w;
    }
  }
}

// A move to another file system: copy into a temporary file beside the destination, make it
// durable, put it in place, and only then remove the source, so a failure loses nothing.
bool MoveAcrossFileSystems(const std::string& from, const std::string& to, bool replace) {
  const int source = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (source < 0) return FailWithErrno(from);
  struct stat st;
  fstat(source, &st);
  std::string temp = to + ".XXXXXX";
  const int target = mkostemp(temp.data(), O_CLOEXEC);
  if (target < 0) {
    const int err = errno;
    close(source);
    SetLastErrorFromErrno(err, to);
    return false;
  }
  bool ok = CopyContents(source, target) && fchmod(target, st.st_mode & 07777) == 0 && fsync(target) == 0;
  int err = errno;
  close(source);
  if (close(target) != 0 && ok) ok = false, err = errno;
  if (ok && renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, to.c_str(), replace ? 0 : RENAME_NOREPLACE) != 0) {
    ok = false, err = errno;
  }
  if (!ok) {
    unlink(temp.c_str());
    SetLastErrorFromErrno(err, to);  // EEXIST: the target appeared meanwhile
    return false;
  }
  SyncFolderOf(to);
  if (unlink(from.c_str()) != 0) return FailWithErrno(from);
  return true;
}

}  // namespace

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
  std::string path;
  if (!NativePathOf(lpFileName, path)) return FALSE;
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return FailWithErrno(path);
  if (S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return unlink(path.c_str()) == 0 ? TRUE : FailWithErrno(path);
}

BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  std::string from, to;
  if (!NativePathOf(lpExistingFileName, from)) return FALSE;
  if (!NativePathOf(lpNewFileName, to)) return FALSE;
  if (to == from) to = DestinationAsWritten(lpNewFileName);
  struct stat st;
  if (lstat(from.c_str(), &st) != 0) return FailWithErrno(from);
  if (to == from) return TRUE;

  const bool replace = dwFlags & MOVEFILE_REPLACE_EXISTING;
  struct stat existing;
  if (lstat(to.c_str(), &existing) == 0 && (!replace || S_ISDIR(existing.st_mode))) {
    SetLastError(replace ? ERROR_ACCESS_DENIED : ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  int result = renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), replace ? 0 : RENAME_NOREPLACE);
  if (result != 0 && errno == EINVAL && !replace) {
    result = rename(from.c_str(), to.c_str());  // a file system without RENAME_NOREPLACE
  }
  if (result != 0) {
    if (errno == EXDEV && (dwFlags & MOVEFILE_COPY_ALLOWED) && S_ISREG(st.st_mode)) {
      return MoveAcrossFileSystems(from, to, replace) ? TRUE : FALSE;
    }
    if (errno == EEXIST) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return FALSE;
    }
    return FailWithErrno(to);
  }
  if ((dwFlags & MOVEFILE_WRITE_THROUGH) && !SyncFolderOf(to)) return FailWithErrno(to);
  return TRUE;
}

// ---- Folders -----------------------------------------------------------------------------------

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
  std::string path;
  if (!NativePathOf(lpPathName, path)) return FALSE;
  return mkdir(path.c_str(), 0777) == 0 ? TRUE : FailWithErrno(path);
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName) {
  std::string path;
  if (!NativePathOf(lpPathName, path)) return FALSE;
  if (rmdir(path.c_str()) == 0) return TRUE;
  if (errno == ENOTDIR) {
    // Only the last component can be the file: missing folders give ENOENT.
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
      SetLastError(ERROR_DIRECTORY);
      return FALSE;
    }
  }
  if (errno == EEXIST) errno = ENOTEMPTY;
  return FailWithErrno(path);
}

// ---- Attributes --------------------------------------------------------------------------------

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
  std::string path;
  FileInfo info;
  if (!NativePathOf(lpFileName, path)) return INVALID_FILE_ATTRIBUTES;
  if (!QueryFileInfo(AT_FDCWD, path.c_str(), 0, info)) {
    FailWithErrno(path);
    return INVALID_FILE_ATTRIBUTES;
  }
  return info.attributes;
}

BOOL WINAPI GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId,
                                 LPVOID lpFileInformation) {
  if (fInfoLevelId != GetFileExInfoStandard || !lpFileInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string path;
  FileInfo info;
  if (!NativePathOf(lpFileName, path)) return FALSE;
  if (!QueryFileInfo(AT_FDCWD, path.c_str(), 0, info)) return FailWithErrno(path);
  auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(lpFileInformation);
  data->dwFileAttributes = info.attributes;
  data->ftCreationTime = info.creationTime;
  data->ftLastAccessTime = info.lastAccessTime;
  data->ftLastWriteTime = info.lastWriteTime;
  data->nFileSizeHigh = static_cast<DWORD>(info.size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(info.size);
  return TRUE;
}

BOOL WINAPI PathFileExistsW(LPCWSTR pszPath) {
  std::string path;
  if (!NativePathOf(pszPath, path)) return FALSE;
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? TRUE : FailWithErrno(path);
}
