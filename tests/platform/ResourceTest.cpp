// Module resources, against the resource list ResourceTest.rclist embedded in this executable.
#include <gtest/gtest.h>
#include <tchar.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string DataFile(const std::string& name) {
  std::ifstream in(std::string(UMBRA_TEST_DATA_DIR) + "/platform/resources/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The bytes of a resource through the whole Win32 sequence, or the last error on failure.
struct Lookup {
  bool found;
  std::string bytes;
  DWORD error;
};

Lookup Load(HMODULE module, LPCWSTR name, LPCWSTR type) {
  SetLastError(ERROR_SUCCESS);
  HRSRC resource = FindResourceW(module, name, type);
  if (!resource) return {false, {}, GetLastError()};
  HGLOBAL loaded = LoadResource(module, resource);
  const DWORD size = SizeofResource(module, resource);
  const auto* data = static_cast<const char*>(LockResource(loaded));
  EXPECT_NE(data, nullptr);
  Lookup result{true, data ? std::string(data, size) : std::string(), ERROR_SUCCESS};
  EXPECT_FALSE(FreeResource(loaded));  // nothing to free: Win32 reports FALSE
  return result;
}

TEST(Resource, ResolvesIdentifiersAndNamesAsWin32Does) {
  const std::string hello = DataFile("hello.txt");
  struct Case {
    LPCWSTR name;
    LPCWSTR type;
    const char* expect;  // null: not found
    DWORD error;
  } cases[] = {
      {MAKEINTRESOURCEW(1), RT_RCDATA, "hello", 0},
      {_T("#1"), RT_RCDATA, "hello", 0},
      {MAKEINTRESOURCEW(1), _T("#10"), "hello", 0},
      {_T("Greeting"), _T("Text"), "hello", 0},
      {_T("gREETING"), _T("TEXT"), "hello", 0},
      {MAKEINTRESOURCEW(300), MAKEINTRESOURCEW(4321), "hello", 0},
      {_T("#300"), _T("#4321"), "hello", 0},
      {MAKEINTRESOURCEW(7), _T("text"), "", 0},
      // A string is a name, never a number, unless it is spelled "#123".
      {_T("1"), RT_RCDATA, nullptr, ERROR_RESOURCE_NAME_NOT_FOUND},
      {_T("#1x"), RT_RCDATA, nullptr, ERROR_RESOURCE_NAME_NOT_FOUND},
      {_T("#"), RT_RCDATA, nullptr, ERROR_RESOURCE_NAME_NOT_FOUND},
      {_T("#65537"), RT_RCDATA, nullptr, ERROR_RESOURCE_NAME_NOT_FOUND},
      {MAKEINTRESOURCEW(0), RT_RCDATA, nullptr, ERROR_RESOURCE_NAME_NOT_FOUND},
      {_T("Greeting"), RT_RCDATA, nullptr, ERROR_RESOURCE_NAME_NOT_FOUND},
      {MAKEINTRESOURCEW(2), RT_RCDATA, nullptr, ERROR_RESOURCE_NAME_NOT_FOUND},
      {MAKEINTRESOURCEW(1), _T("Greeting"), nullptr, ERROR_RESOURCE_TYPE_NOT_FOUND},
      {MAKEINTRESOURCEW(1), RT_HTML, nullptr, ERROR_RESOURCE_TYPE_NOT_FOUND},
      {MAKEINTRESOURCEW(1), _T("#10x"), nullptr, ERROR_RESOURCE_TYPE_NOT_FOUND},
  };
  for (HMODULE module : {HMODULE(nullptr), GetModuleHandleW(nullptr)}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "case " << (&c - cases) << (module ? " by handle" : " by null"));
      const Lookup result = Load(module, c.name, c.type);
      ASSERT_EQ(result.found, c.expect != nullptr) << result.error;
      if (c.expect) {
        EXPECT_EQ(result.bytes, std::string(c.expect) == "hello" ? hello : std::string());
      } else {
        EXPECT_EQ(result.error, c.error);
      }
    }
  }
}

TEST(Resource, BitmapKeepsItsImageWithoutTheFileHeader) {
  const Lookup bitmap = Load(nullptr, MAKEINTRESOURCEW(2), RT_BITMAP);
  ASSERT_TRUE(bitmap.found);
  EXPECT_EQ(bitmap.bytes, DataFile("tiny.bmp").substr(14));
}

TEST(Resource, IconEntriesHoldTheIconFile) {
  const Lookup icon = Load(nullptr, MAKEINTRESOURCEW(107), RT_GROUP_ICON);
  ASSERT_TRUE(icon.found);
  EXPECT_EQ(icon.bytes, DataFile("two-images.ico"));
}

TEST(Resource, RefusesForeignHandlesAndModulesWithoutResources) {
  char elsewhere;
  HMODULE otherModule = reinterpret_cast<HMODULE>(&elsewhere);
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(FindResourceW(otherModule, MAKEINTRESOURCEW(1), RT_RCDATA), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_DATA_NOT_FOUND));

  // A handle that FindResourceW never gave out, or one given for another module, is refused.
  HRSRC real = FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_RCDATA);
  ASSERT_NE(real, nullptr);
  HRSRC forged = reinterpret_cast<HRSRC>(&elsewhere);
  for (auto [module, resource] : {std::pair{HMODULE(nullptr), forged}, std::pair{otherModule, real}}) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LoadResource(module, resource), nullptr);
    EXPECT_EQ(SizeofResource(module, resource), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  }
  EXPECT_EQ(LockResource(nullptr), nullptr);
}

}  // namespace
