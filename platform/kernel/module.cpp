// Modules: the executable is the one module so far. Its file name is given in Windows form,
// with '\' separators, so that code cutting it at the last '\' finds the program's folder;
// the file functions accept that form back.
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <string>

#include "kernel/path.h"
#include "kernel/unicode.h"

namespace {

// Its address is the executable's HMODULE: unique and never null.
char g_executableModule;

HMODULE ExecutableModule() { return reinterpret_cast<HMODULE>(&g_executableModule); }

bool ReadExecutablePath(std::string& path) {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return false;
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      path = std::move(buffer);
      return true;
    }
    buffer.resize(buffer.size() * 2);  // may have been cut: try again with more room
  }
}

}  // namespace

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
  if (!lpModuleName) return ExecutableModule();
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  if (hModule && hModule != ExecutableModule()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (!lpFilename && nSize) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string native;
  if (!ReadExecutablePath(native)) {
    umbra::kernel::SetLastErrorFromErrno(errno, "/proc/self/exe");
    return 0;
  }
  std::u16string path = umbra::kernel::Utf8ToUtf16(native);
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
  }
  if (path.size() >= nSize) {
    // Too small: as much as fits, still terminated, and the buffer size as the result.
    if (nSize) {
      path.copy(lpFilename, nSize - 1);
      lpFilename[nSize - 1] = 0;
    }
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  path.copy(lpFilename, path.size());
  lpFilename[path.size()] = 0;
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(path.size());
}
