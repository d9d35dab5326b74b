// The resource locator and ParseFile, over real folders and real archives made here, and the
// module resources embedded from ResourceLoaderTest.rclist (1001 "xml" = data/sample.xml).
#include <gtest/gtest.h>
#include <tchar.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/platform/TempDir.h"
#include "tests/ui/skin/ZipWriter.h"
#include "ui/core/UIHost.h"
#include "ui/skin/MarkupDoc.h"
#include "ui/skin/ResourceLoader.h"

namespace {

using Umbra::CMarkupDoc;
using Umbra::CUIHost;
using Umbra::SkinReadResult;
using Umbra::SkinResourceData;
using Umbra::SkinResourceKind;

std::u16string U16(const std::string& utf8) {
  std::u16string out(utf8.size() + 1, u'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), static_cast<int>(out.size()));
  out.resize(n > 0 ? n - 1 : 0);
  return out;
}

std::string Sample() { return TempDir::Get(std::string(UMBRA_TEST_DATA_DIR) + "/ui/skin/data/sample.xml"); }

class SkinResources : public testing::Test {
 protected:
  void SetUp() override { UseFolder(); }
  void TearDown() override {
    CUIHost::SetSkinArchive(_T(""), false);
    CUIHost::SetSkinPath(_T(""));
  }

  void UseFolder() {
    CUIHost::SetSkinArchive(_T(""), false);  // closes whatever archive was kept open
    CUIHost::SetSkinPath(m_dir.Win().c_str());
  }
  void UseArchive(const std::string& name, bool keepOpen) {
    UseFolder();
    CUIHost::SetSkinArchive(U16(name).c_str(), keepOpen);
  }
  void UseMemoryArchive(const std::string& bytes) {
    UseFolder();
    CUIHost::SetSkinArchiveMemory(reinterpret_cast<const BYTE*>(bytes.data()),
                                  static_cast<DWORD>(bytes.size()));
  }

  static std::string Read(const std::string& name, SkinResourceKind kind, SkinReadResult& result) {
    SkinResourceData data;
    result = Umbra::ReadSkinResource(U16(name).c_str(), kind, data);
    return data.bytes ? std::string(reinterpret_cast<const char*>(data.bytes.get()), data.size)
                      : std::string();
  }

  // The message ParseFile leaves; the document is empty and the context blank after a failure.
  static std::u16string ParseFailure(const std::string& name) {
    CMarkupDoc doc(_T("<Old/>"));
    EXPECT_FALSE(doc.ParseFile(U16(name).c_str()));
    EXPECT_FALSE(doc.GetRoot().IsValid());
    EXPECT_EQ(std::u16string(doc.GetErrorContext()), u"");
    return doc.GetErrorMessage();
  }

  TempDir m_dir;
};

TEST_F(SkinResources, EverySourceGivesTheSameBytes) {
  const std::string sample = Sample();
  ASSERT_FALSE(sample.empty());
  TempDir::Put(m_dir / "MainFrame.xml", sample);
  const std::string archive = ziptest::MakeZip({{"login/MainFrame.xml", sample, true}});
  TempDir::Put(m_dir / "skin.zip", archive);

  struct Source {
    const char* what;
    std::function<void()> use;
    const char* name;
  } sources[] = {
      {"folder", [&] { UseFolder(); }, "MainFrame.xml"},
      {"archive read once", [&] { UseArchive("skin.zip", false); }, "login\\MainFrame.xml"},
      {"archive kept open", [&] { UseArchive("skin.zip", true); }, "LOGIN/mainframe.XML"},
      {"archive in memory", [&] { UseMemoryArchive(archive); }, "login/MainFrame.xml"},
  };
  for (const Source& source : sources) {
    SCOPED_TRACE(source.what);
    source.use();
    SkinReadResult result;
    EXPECT_EQ(Read(source.name, SkinResourceKind::Markup, result), sample);
    EXPECT_EQ(result, SkinReadResult::Ok);
    CMarkupDoc doc;
    ASSERT_TRUE(doc.ParseFile(U16(source.name).c_str()))
        << std::string(doc.GetErrorMessage(), doc.GetErrorMessage() + 5);
    EXPECT_EQ(std::u16string(doc.GetRoot().GetTagName()), u"Window");
  }

  SkinResourceData resource;
  ASSERT_TRUE(Umbra::ReadModuleResource(MAKEINTRESOURCEW(1001), _T("XML"), resource));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(resource.bytes.get()), resource.size), sample);
  EXPECT_FALSE(Umbra::ReadModuleResource(MAKEINTRESOURCEW(1002), _T("xml"), resource));
  EXPECT_FALSE(Umbra::ReadModuleResource(MAKEINTRESOURCEW(1001), _T("png"), resource));
}

TEST_F(SkinResources, ParseFileNamesTheStepThatFailed) {
  TempDir::Put(m_dir / "empty.xml", "");
  TempDir::Put(m_dir / "text.zip", "this is no archive");
  std::string shortEntry =
      ziptest::MakeZip({{"short.xml", "<Window>" + std::string(4000, ' ') + "</Window>", true}});
  ziptest::OverstateFirstEntrySize(shortEntry, 100);
  TempDir::Put(m_dir / "short.zip", shortEntry);
  const std::string stored = "<Window>stored, checked by its CRC</Window>";
  std::string badCrc = ziptest::MakeZip({{"crc.xml", stored, false}});
  ziptest::CorruptStoredData(badCrc, stored);
  TempDir::Put(m_dir / "crc.zip", badCrc);
  TempDir::Put(m_dir / "skin.zip", ziptest::MakeZip({{"zero.xml", "", true}, {"ok.xml", "<a/>", true}}));

  struct Case {
    const char* archive;  // "" : the folder
    bool keepOpen;
    const char* name;
    const char16_t* message;
  } cases[] = {
      {"", false, "missing.xml", u"Error opening file"},
      {"", false, "empty.xml", u"File is empty"},
      {"missing.zip", false, "ok.xml", u"Error opening zip file"},
      {"missing.zip", true, "ok.xml", u"Error opening zip file"},
      {"text.zip", false, "ok.xml", u"Error opening zip file"},
      {"skin.zip", false, "missing.xml", u"Could not find ziped file"},
      {"skin.zip", true, "zero.xml", u"File is empty"},
      {"short.zip", false, "short.xml", u"Could not unzip file"},
      {"crc.zip", true, "crc.xml", u"Could not unzip file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.archive << " " << c.name);
    if (c.archive[0]) {
      UseArchive(c.archive, c.keepOpen);
    } else {
      UseFolder();
    }
    EXPECT_EQ(ParseFailure(c.name), c.message);
  }
}

TEST_F(SkinResources, MarkupStopsAtFourMebibytesAndImagesDoNot) {
  const std::string limit = "<a/>" + std::string(Umbra::kMaxMarkupFileSize - 4, ' ');
  const std::string over = limit + " ";
  TempDir::Put(m_dir / "limit.xml", limit);
  TempDir::Put(m_dir / "over.xml", over);
  ASSERT_TRUE(
      ziptest::WriteZipFile(m_dir / "big.zip", {{"limit.xml", limit, true}, {"over.xml", over, true}}));

  for (const char* archive : {"", "big.zip"}) {
    SCOPED_TRACE(archive);
    if (archive[0]) {
      UseArchive(archive, false);
    } else {
      UseFolder();
    }
    CMarkupDoc doc;
    EXPECT_TRUE(doc.ParseFile(_T("limit.xml")));
    EXPECT_EQ(ParseFailure("over.xml"), u"File too large");
    SkinReadResult result;
    EXPECT_EQ(Read("over.xml", SkinResourceKind::Image, result).size(), over.size());
    EXPECT_EQ(result, SkinReadResult::Ok);
  }
}

TEST_F(SkinResources, KeptOpenArchiveOutlivesItsFileAndFailedLookups) {
  ASSERT_TRUE(ziptest::WriteZipFile(m_dir / "skin.zip", {{"a.xml", "<a/>", true}}));
  UseArchive("skin.zip", true);
  ASSERT_NE(CUIHost::GetSkinArchiveHandle(), nullptr);
  ASSERT_EQ(unlink((m_dir / "skin.zip").c_str()), 0);  // read through the open handle from now on
  EXPECT_EQ(ParseFailure("b.xml"), u"Could not find ziped file");
  CMarkupDoc doc;
  EXPECT_TRUE(doc.ParseFile(_T("a.xml")));
}

TEST_F(SkinResources, ImagesFallBackToTheirOwnPathMarkupDoesNot) {
  TempDir elsewhere;
  TempDir::Put(elsewhere / "logo.png", "png bytes");
  TempDir::Put(m_dir / "skin.zip", ziptest::MakeZip({{"a.xml", "<a/>", true}}));
  const std::string absolute = elsewhere / "logo.png";
  for (const char* archive : {"", "skin.zip"}) {
    SCOPED_TRACE(archive);
    if (archive[0]) {
      UseArchive(archive, true);
    } else {
      UseFolder();
    }
    SkinReadResult result;
    EXPECT_EQ(Read(absolute, SkinResourceKind::Image, result), "png bytes");
    EXPECT_EQ(result, SkinReadResult::Ok);
    Read(absolute, SkinResourceKind::Markup, result);
    EXPECT_NE(result, SkinReadResult::Ok);
    Read(elsewhere / "missing.png", SkinResourceKind::Image, result);
    EXPECT_EQ(result, archive[0] ? SkinReadResult::EntryNotFound : SkinReadResult::OpenFileFailed);
  }
}

TEST_F(SkinResources, LeavesNoFileOrArchiveOpen) {
  TempDir::Put(m_dir / "a.xml", "<a/>");
  TempDir::Put(m_dir / "empty.xml", "");
  TempDir::Put(m_dir / "skin.zip", ziptest::MakeZip({{"a.xml", "<a/>", true}, {"zero.xml", "", true}}));
  TempDir::Put(m_dir / "text.zip", "no archive");
  const int before = CountOpenDescriptors();
  SkinReadResult result;
  for (int i = 0; i < 100; ++i) {
    UseFolder();
    for (const char* name : {"a.xml", "empty.xml", "missing.xml", "skin.zip"})
      Read(name, SkinResourceKind::Image, result);
    UseArchive("skin.zip", false);
    for (const char* name : {"a.xml", "zero.xml", "missing.xml"})
      Read(name, SkinResourceKind::Markup, result);
    UseArchive("text.zip", false);
    Read("a.xml", SkinResourceKind::Markup, result);
    UseArchive("skin.zip", true);
    Read("a.xml", SkinResourceKind::Markup, result);
  }
  UseFolder();
  EXPECT_EQ(CountOpenDescriptors(), before);
}

}  // namespace
