#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>
#include <windows.h>

#include <string>

namespace {

std::u16string ExecutablePathInWindowsForm() {
  char target[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", target, sizeof target - 1);
  std::u16string path;
  for (ssize_t i = 0; i < n; ++i) path += target[i] == '/' ? u'\\' : static_cast<char16_t>(target[i]);
  return path;  // ASCII paths only, as in the build tree
}

TEST(Module, FileNameIsTheExecutableWithBackslashes) {
  const std::u16string expected = ExecutablePathInWindowsForm();
  WCHAR buffer[MAX_PATH];
  for (HMODULE module : {HMODULE(nullptr), GetModuleHandleW(nullptr)}) {
    SetLastError(ERROR_GEN_FAILURE);
    const DWORD length = GetModuleFileNameW(module, buffer, MAX_PATH);
    EXPECT_EQ(length, expected.size());
    EXPECT_EQ(std::u16string(buffer), expected);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  }
  // Cut at the last '\', as the program finds its folder, the path is usable again.
  std::u16string folder = expected.substr(0, expected.rfind(u'\\'));
  EXPECT_EQ(GetFileAttributesW(folder.c_str()), DWORD(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_NE(GetFileAttributesW(expected.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Module, TruncatesToTheBufferAndSaysSo) {
  const std::u16string full = ExecutablePathInWindowsForm();
  const DWORD length = static_cast<DWORD>(full.size());
  struct Case {
    DWORD size;
    DWORD result;
    DWORD error;
  } cases[] = {
      {length + 1, length, ERROR_SUCCESS},  // exactly fits with its terminator
      {length, length, ERROR_INSUFFICIENT_BUFFER}, {5, 5, ERROR_INSUFFICIENT_BUFFER},
      {1, 1, ERROR_INSUFFICIENT_BUFFER},           {0, 0, ERROR_INSUFFICIENT_BUFFER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    std::u16string buffer(length + 8, u'#');
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), c.size), c.result);
    EXPECT_EQ(GetLastError(), c.error);
    if (c.size == 0) {
      EXPECT_EQ(buffer[0], u'#');  // nothing written
      continue;
    }
    const size_t copied = c.size - 1 < length ? c.size - 1 : length;
    EXPECT_EQ(buffer.substr(0, copied), full.substr(0, copied));
    EXPECT_EQ(buffer[copied], u'\0');
    EXPECT_EQ(buffer[copied + 1], u'#');
  }
}

TEST(Module, UnknownNamesAndHandlesAreRefused) {
  EXPECT_NE(GetModuleHandleW(nullptr), nullptr);
  EXPECT_EQ(GetModuleHandleW(nullptr), GetModuleHandleW(nullptr));
  EXPECT_EQ(GetModuleHandleW(u"nosuch.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  WCHAR buffer[MAX_PATH];
  int other = 0;
  EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(&other), buffer, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

// Function pointers compare through one common type.
template <typename F>
FARPROC Proc(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

TEST(Module, BuiltInModulesAnswerToTheirNamesInAnyCase) {
  const HMODULE msimg32 = GetModuleHandleW(u"msimg32.dll");
  const HMODULE user32 = GetModuleHandleW(u"User32.dll");
  ASSERT_NE(msimg32, nullptr);
  ASSERT_NE(user32, nullptr);
  EXPECT_NE(msimg32, user32);
  EXPECT_NE(msimg32, GetModuleHandleW(nullptr));
  struct {
    const char16_t* name;
    HMODULE expected;
  } cases[] = {
      {u"MSIMG32.DLL", msimg32}, {u"msimg32", msimg32},
      {u"MsImg32.Dll", msimg32}, {u"user32.dll", user32},
      {u"USER32", user32},       {u"msimg32.dl", nullptr},
      {u"msimg", nullptr},       {u"xuser32.dll", nullptr},
      {u".dll", nullptr},        {u"", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(c.name)));
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetModuleHandleW(c.name), c.expected);
    if (!c.expected) {
      EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
    }
    // Loading a built-in module gives the same handle; freeing it leaves it loaded.
    if (c.expected) {
      EXPECT_EQ(LoadLibraryW(c.name), c.expected);
      EXPECT_TRUE(FreeLibrary(c.expected));
      EXPECT_EQ(GetModuleHandleW(c.name), c.expected);
    }
  }
}

TEST(Module, BuiltInProceduresAreTheStandInFunctions) {
  const HMODULE msimg32 = GetModuleHandleW(u"msimg32.dll");
  const HMODULE user32 = GetModuleHandleW(u"user32.dll");
  int notAModule = 0;
  struct {
    HMODULE module;
    const char* name;
    FARPROC expected;
    DWORD error;
  } cases[] = {
      {msimg32, "AlphaBlend", Proc(&AlphaBlend), 0},
      {msimg32, "GradientFill", Proc(&GradientFill), 0},
      {user32, "SetLayeredWindowAttributes", Proc(&SetLayeredWindowAttributes), 0},
      {msimg32, "alphablend", nullptr, ERROR_PROC_NOT_FOUND},  // procedure names keep their case
      {msimg32, "SetLayeredWindowAttributes", nullptr, ERROR_PROC_NOT_FOUND},
      {user32, "AlphaBlend", nullptr, ERROR_PROC_NOT_FOUND},
      {GetModuleHandleW(nullptr), "AlphaBlend", nullptr, ERROR_PROC_NOT_FOUND},
      {msimg32, reinterpret_cast<LPCSTR>(ULONG_PTR{1}), nullptr, ERROR_PROC_NOT_FOUND},  // ordinal
      {msimg32, nullptr, nullptr, ERROR_PROC_NOT_FOUND},
      {reinterpret_cast<HMODULE>(&notAModule), "AlphaBlend", nullptr, ERROR_MOD_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(IS_INTRESOURCE(c.name) ? "(ordinal)" : c.name);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetProcAddress(c.module, c.name), c.expected);
    if (!c.expected) {
      EXPECT_EQ(GetLastError(), c.error);
    }
  }
}

TEST(Module, HiddenProceduresAreNotFoundWhileListed) {
  const HMODULE msimg32 = GetModuleHandleW(u"msimg32.dll");
  const HMODULE user32 = GetModuleHandleW(u"user32.dll");
  setenv("UMBRA_HIDE_PROCS", "GradientFill, SetLayeredWindowAttributes", 1);
  EXPECT_EQ(GetProcAddress(msimg32, "GradientFill"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(user32, "SetLayeredWindowAttributes"), nullptr);
  EXPECT_EQ(GetProcAddress(msimg32, "AlphaBlend"), Proc(&AlphaBlend));
  setenv("UMBRA_HIDE_PROCS", "Gradient,AlphaBlend", 1);  // whole names only
  EXPECT_EQ(GetProcAddress(msimg32, "GradientFill"), Proc(&GradientFill));
  EXPECT_EQ(GetProcAddress(msimg32, "AlphaBlend"), nullptr);
  unsetenv("UMBRA_HIDE_PROCS");
  EXPECT_EQ(GetProcAddress(msimg32, "AlphaBlend"), Proc(&AlphaBlend));
}

// The C library's own file, in Windows form: a shared object every test run has.
std::u16string SharedObjectInWindowsForm() {
  Dl_info info = {};
  if (!dladdr(reinterpret_cast<void*>(&getppid), &info) || !info.dli_fname) return u"";
  std::u16string path;
  for (const char* p = info.dli_fname; *p; ++p) path += *p == '/' ? u'\\' : static_cast<char16_t>(*p);
  return path;
}

TEST(Module, SharedObjectsLoadByPathAndGiveTheirSymbols) {
  const std::u16string path = SharedObjectInWindowsForm();
  ASSERT_FALSE(path.empty());
  const HMODULE module = LoadLibraryW(path.c_str());
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetModuleHandleW(path.c_str()), module);
  FARPROC proc = GetProcAddress(module, "getppid");
  ASSERT_NE(proc, nullptr);
  auto parent = reinterpret_cast<pid_t (*)()>(reinterpret_cast<void (*)()>(proc));
  EXPECT_EQ(parent(), getppid());
  EXPECT_EQ(GetProcAddress(module, "no_such_symbol_here"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
  setenv("UMBRA_HIDE_PROCS", "getppid", 1);
  EXPECT_EQ(GetProcAddress(module, "getppid"), nullptr);
  unsetenv("UMBRA_HIDE_PROCS");

  // Each load is freed once; after the last, the handle is no module any more.
  EXPECT_EQ(LoadLibraryW(path.c_str()), module);
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_NE(GetProcAddress(module, "getppid"), nullptr);
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_FALSE(FreeLibrary(module));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GetProcAddress(module, "getppid"), nullptr);
  EXPECT_EQ(GetModuleHandleW(path.c_str()), nullptr);
}

TEST(Module, MissingSharedObjectsFailToLoad) {
  for (const char16_t* name : {u"\\no\\such\\library.so", u"nosuch.dll", u"\\tmp"}) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(name)));
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LoadLibraryW(name), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
  }
  EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
  EXPECT_EQ(LoadLibraryW(u""), nullptr);
}

TEST(Time, LocalTimeMatchesTheClock) {
  SYSTEMTIME st = {};
  const time_t before = time(nullptr);
  GetLocalTime(&st);
  tm local = {};
  localtime_r(&before, &local);
  // Retried once across a change of second.
  if (st.wSecond != local.tm_sec) {
    const time_t again = time(nullptr);
    GetLocalTime(&st);
    localtime_r(&again, &local);
  }
  EXPECT_EQ(st.wYear, local.tm_year + 1900);
  EXPECT_EQ(st.wMonth, local.tm_mon + 1);
  EXPECT_EQ(st.wDay, local.tm_mday);
  EXPECT_EQ(st.wDayOfWeek, local.tm_wday);
  EXPECT_EQ(st.wHour, local.tm_hour);
  EXPECT_EQ(st.wMinute, local.tm_min);
  EXPECT_LT(st.wMilliseconds, 1000);
}

TEST(Time, TickCountAdvancesAcrossSleep) {
  const DWORD start = GetTickCount();
  Sleep(30);
  // Unsigned difference: correct across the 32-bit wrap too.
  EXPECT_GE(static_cast<DWORD>(GetTickCount() - start), 30u);
}

}  // namespace
