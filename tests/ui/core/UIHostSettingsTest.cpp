#include <gtest/gtest.h>
#include <tchar.h>

#include <string>

#include "tests/platform/TempDir.h"
#include "tests/ui/skin/ZipWriter.h"
#include "ui/core/UIHost.h"
#include "ui/skin/ZipSource.h"

namespace {

using Umbra::CUIHost;
using Umbra::CZipSource;
using Umbra::ZipEntryInfo;

bool HasEntry(CZipSource* zip, LPCWSTR name) {
  ZipEntryInfo info;
  return zip && zip->FindEntry(name, true, info) == Umbra::kZipOk;
}

TEST(UIHostSettings, SkinPathEndsWithASeparatorOnceSet) {
  struct Case {
    LPCWSTR path;
    const char16_t* stored;
  } cases[] = {
      {_T("C:\\app\\skin"), u"C:\\app\\skin\\"},
      {_T("skin/login/"), u"skin/login/"},
      {_T("skin\\"), u"skin\\"},
      {_T(""), u""},
      {nullptr, u""},
  };
  for (const Case& c : cases) {
    CUIHost::SetSkinPath(c.path);
    EXPECT_EQ(std::u16string(CUIHost::GetSkinPath()), c.stored);
  }
}

TEST(UIHostSettings, ModuleInstanceGivesTheFolderAndRegistersTheShadowClass) {
  if (!CUIHost::GetModuleInstance()) {
    EXPECT_EQ(std::u16string(CUIHost::GetModuleFolder()), u"");
  }
  HINSTANCE self = GetModuleHandleW(nullptr);
  CUIHost::SetModuleInstance(self);
  EXPECT_EQ(CUIHost::GetModuleInstance(), self);
  EXPECT_EQ(CUIHost::GetResourceModule(), self);  // none set: the module instance stands in
  // The drop shadow's window class is registered with it.
  WNDCLASSEXW shadow = {};
  shadow.cbSize = sizeof(shadow);
  ASSERT_TRUE(GetClassInfoExW(self, _T("UmbraShadowWnd"), &shadow));
  EXPECT_EQ(shadow.style, UINT(CS_HREDRAW | CS_VREDRAW));
  EXPECT_EQ(shadow.lpfnWndProc, &DefWindowProcW);
  EXPECT_EQ(shadow.hCursor, LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(shadow.hbrBackground, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)));

  WCHAR path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(self, path, MAX_PATH), 0u);
  const std::u16string file(path);
  EXPECT_EQ(std::u16string(CUIHost::GetModuleFolder()), file.substr(0, file.rfind(u'\\') + 1));
}

TEST(UIHostSettings, ArchiveOpensOnceAndClosesWhenTheSettingsChange) {
  TempDir dir;
  ASSERT_TRUE(ziptest::WriteZipFile(dir / "skin.zip", {{"file.xml", "<a/>", true}}));
  const std::string memory = ziptest::MakeZip({{"memory.xml", "<b/>", true}});
  const std::string other = ziptest::MakeZip({{"other.xml", "<c/>", true}});
  CUIHost::SetSkinArchive(_T(""), false);
  CUIHost::SetSkinPath(dir.Win().c_str());
  const int closed = CountOpenDescriptors();

  CUIHost::SetSkinArchive(_T("skin.zip"), true);
  CZipSource* file = CUIHost::GetSkinArchiveHandle();
  EXPECT_TRUE(HasEntry(file, _T("file.xml")));
  EXPECT_EQ(CountOpenDescriptors(), closed + 1);
  CUIHost::SetSkinArchive(_T("skin.zip"), true);  // unchanged: not opened again
  EXPECT_EQ(CUIHost::GetSkinArchiveHandle(), file);
  EXPECT_EQ(CountOpenDescriptors(), closed + 1);

  // An archive in memory replaces the file, whose handle is closed; a second one is ignored.
  CUIHost::SetSkinArchiveMemory(reinterpret_cast<const BYTE*>(memory.data()),
                                static_cast<DWORD>(memory.size()));
  EXPECT_EQ(CountOpenDescriptors(), closed);
  EXPECT_EQ(std::u16string(CUIHost::GetSkinArchiveName()), u"membuffer");
  EXPECT_TRUE(CUIHost::IsSkinArchiveCached());
  EXPECT_TRUE(HasEntry(CUIHost::GetSkinArchiveHandle(), _T("memory.xml")));
  CUIHost::SetSkinArchiveMemory(reinterpret_cast<const BYTE*>(other.data()),
                                static_cast<DWORD>(other.size()));
  EXPECT_TRUE(HasEntry(CUIHost::GetSkinArchiveHandle(), _T("memory.xml")));

  struct Case {
    LPCWSTR name;
    bool cached;
    bool open;
  } cases[] = {
      {_T("skin.zip"), false, false},  // read once per load: nothing kept
      {_T("missing.zip"), true, false},
      {_T("skin.zip"), true, true},
      {_T(""), false, false},
  };
  for (const Case& c : cases) {
    CUIHost::SetSkinArchive(c.name, c.cached);
    EXPECT_EQ(std::u16string(CUIHost::GetSkinArchiveName()), c.name);
    EXPECT_EQ(CUIHost::IsSkinArchiveCached(), c.cached);
    EXPECT_EQ(CUIHost::GetSkinArchiveHandle() != nullptr, c.open);
  }
  EXPECT_EQ(CountOpenDescriptors(), closed);
  CUIHost::SetSkinPath(_T(""));
}

TEST(UIHostSettings, ColorShiftIsFixed) {
  short h = 0, s = 0, l = 0;
  CUIHost::GetColorShift(h, s, l);
  EXPECT_EQ(h, 180);
  EXPECT_EQ(s, 100);
  EXPECT_EQ(l, 100);
}

}  // namespace
