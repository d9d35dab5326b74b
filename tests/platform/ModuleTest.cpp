#include <gtest/gtest.h>
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

TEST(Module, OnlyTheExecutableIsKnown) {
  EXPECT_NE(GetModuleHandleW(nullptr), nullptr);
  EXPECT_EQ(GetModuleHandleW(nullptr), GetModuleHandleW(nullptr));
  EXPECT_EQ(GetModuleHandleW(u"nosuch.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  WCHAR buffer[MAX_PATH];
  int other = 0;
  EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(&other), buffer, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
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
