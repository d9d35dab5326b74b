// Modules: the executable, the built-in system modules and shared objects loaded by name.
//
// The executable's file name is given in Windows form, with '\' separators, so that code
// cutting it at the last '\' finds the program's folder; the file functions accept that form
// back. "msimg32.dll" and "User32.dll" are built in: their functions live in this library, so
// they are always loaded and GetProcAddress answers from a table. Any other name is a shared
// object opened with dlopen.
//
// Sections: built-in modules · shared objects · hidden procedures · module handles and names ·
// procedures.
#include <dlfcn.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "kernel/path.h"
#include "kernel/unicode.h"

namespace {

// ---- Built-in modules -----------------------------------------------------------------------

// Its address is the executable's HMODULE: unique and never null.
char g_executableModule;

HMODULE ExecutableModule() { return reinterpret_cast<HMODULE>(&g_executableModule); }

// Through void(*)(), the one function type any function pointer converts to without a warning.
template <typename F>
FARPROC AsProc(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

struct Procedure {
  const char* name;
  FARPROC address;
};

struct BuiltInModule {
  std::u16string_view name;  // lower case, without ".dll"
  const Procedure* procedures;
  size_t count;
};

const Procedure kMsimg32Procedures[] = {
    {"AlphaBlend", AsProc(&AlphaBlend)},
    {"GradientFill", AsProc(&GradientFill)},
};
const Procedure kUser32Procedures[] = {
    {"SetLayeredWindowAttributes", AsProc(&SetLayeredWindowAttributes)},
};

// The address of an entry is its module handle.
const BuiltInModule kBuiltInModules[] = {
    {u"msimg32", kMsimg32Procedures, std::size(kMsimg32Procedures)},
    {u"user32", kUser32Procedures, std::size(kUser32Procedures)},
};

HMODULE HandleOf(const BuiltInModule& module) {
  return reinterpret_cast<HMODULE>(const_cast<BuiltInModule*>(&module));
}

const BuiltInModule* BuiltInByHandle(HMODULE module) {
  for (const BuiltInModule& m : kBuiltInModules) {
    if (HandleOf(m) == module) return &m;
  }
  return nullptr;
}

char16_t LowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

// "MSIMG32.DLL", "msimg32.dll" and "msimg32" all name the same module.
const BuiltInModule* BuiltInByName(LPCWSTR name) {
  std::u16string lower;
  for (LPCWSTR p = name; *p; ++p) lower += LowerAscii(*p);
  if (lower.size() > 4 && lower.ends_with(u".dll")) lower.resize(lower.size() - 4);
  for (const BuiltInModule& m : kBuiltInModules) {
    if (m.name == lower) return &m;
  }
  return nullptr;
}

// ---- Shared objects -------------------------------------------------------------------------

// dlopen handles handed out by LoadLibraryW, with how often each is still loaded. Only these
// are passed to dlsym and dlclose: any other value could crash them.
struct LoadedObjects {
  std::mutex lock;
  std::map<void*, int> counts;
};

LoadedObjects& Loaded() {
  static LoadedObjects loaded;
  return loaded;
}

bool IsLoaded(void* handle) {
  LoadedObjects& loaded = Loaded();
  std::lock_guard<std::mutex> guard(loaded.lock);
  return loaded.counts.count(handle) != 0;
}

// Windows separators become '/'; a path with folders is matched case-insensitively as the file
// functions do, while a bare name is left to the library search of dlopen.
std::string SharedObjectPath(LPCWSTR name) {
  std::string native = umbra::kernel::ToNativePath(name);
  if (native.find('/') != std::string::npos) native = umbra::kernel::ResolvePath(name);
  return native;
}

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

// ---- Hidden procedures ----------------------------------------------------------------------

// Tests list procedure names in UMBRA_HIDE_PROCS (comma-separated) to make their lookup fail,
// so that the fallbacks of their callers run. Read on every call.
bool IsHidden(const char* procName) {
  const char* list = getenv("UMBRA_HIDE_PROCS");
  if (!list) return false;
  std::string_view rest(list);
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    std::string_view item = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (!item.empty() && item == procName) return true;
  }
  return false;
}

FARPROC ProcNotFound() {
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

}  // namespace

// ---- Module handles and names -------------------------------------------------------------

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
  if (!lpModuleName) return ExecutableModule();
  if (const BuiltInModule* module = BuiltInByName(lpModuleName)) return HandleOf(*module);
  // A shared object counts only when LoadLibraryW loaded it.
  if (*lpModuleName) {
    if (void* handle = dlopen(SharedObjectPath(lpModuleName).c_str(), RTLD_NOW | RTLD_NOLOAD)) {
      dlclose(handle);  // RTLD_NOLOAD still counted one more reference
      if (IsLoaded(handle)) return reinterpret_cast<HMODULE>(handle);
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
  if (!lpLibFileName || !*lpLibFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (const BuiltInModule* module = BuiltInByName(lpLibFileName)) return HandleOf(*module);
  void* handle = dlopen(SharedObjectPath(lpLibFileName).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  LoadedObjects& loaded = Loaded();
  std::lock_guard<std::mutex> guard(loaded.lock);
  ++loaded.counts[handle];
  return reinterpret_cast<HMODULE>(handle);
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  if (hLibModule == ExecutableModule() || BuiltInByHandle(hLibModule)) return TRUE;  // never unloaded
  void* handle = reinterpret_cast<void*>(hLibModule);
  LoadedObjects& loaded = Loaded();
  std::lock_guard<std::mutex> guard(loaded.lock);
  auto it = loaded.counts.find(handle);
  if (it == loaded.counts.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (--it->second == 0) loaded.counts.erase(it);
  dlclose(handle);
  return TRUE;
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

// ---- Procedures ---------------------------------------------------------------------------

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  // Ordinals (small integers in place of a name) are not supported.
  if (!lpProcName || IS_INTRESOURCE(lpProcName) || IsHidden(lpProcName)) return ProcNotFound();
  if (const BuiltInModule* module = BuiltInByHandle(hModule)) {
    for (size_t i = 0; i < module->count; ++i) {
      if (strcmp(module->procedures[i].name, lpProcName) == 0) return module->procedures[i].address;
    }
    return ProcNotFound();
  }
  if (hModule == ExecutableModule() || !hModule) return ProcNotFound();
  void* handle = reinterpret_cast<void*>(hModule);
  LoadedObjects& loaded = Loaded();
  std::unique_lock<std::mutex> guard(loaded.lock);  // not unloaded while it is searched
  if (!loaded.counts.count(handle)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  void* address = dlsym(handle, lpProcName);
  guard.unlock();
  return address ? reinterpret_cast<FARPROC>(address) : ProcNotFound();
}
