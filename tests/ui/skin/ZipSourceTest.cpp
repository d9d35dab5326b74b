#include <gtest/gtest.h>
#include <tchar.h>

#include <random>
#include <string>
#include <vector>

#include "tests/platform/TempDir.h"
#include "tests/ui/skin/ZipWriter.h"
#include "ui/skin/ZipSource.h"

namespace {

using Umbra::CZipSource;
using Umbra::kZipCorrupt;
using Umbra::kZipMoreData;
using Umbra::kZipNotFound;
using Umbra::kZipOk;
using Umbra::ZipEntryInfo;

std::u16string U16(const std::string& utf8) {
  std::u16string out(utf8.size() + 1, u'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), static_cast<int>(out.size()));
  out.resize(n > 0 ? n - 1 : 0);
  return out;
}

std::string RandomBytes(size_t size) {
  std::mt19937 random(7);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

std::string Extract(CZipSource& zip, const std::string& name, DWORD& result) {
  ZipEntryInfo info;
  result = zip.FindEntry(U16(name).c_str(), true, info);
  if (result != kZipOk) return {};
  std::string bytes(info.uncompressedSize, '\0');
  result = zip.ExtractToMemory(info.index, bytes.data(), info.uncompressedSize);
  return bytes;
}

const std::vector<ziptest::Item>& SampleItems() {
  static const std::vector<ziptest::Item> items = {
      {"login/bg.png", RandomBytes(300000), true},
      {"login/MainFrame.xml", "<Window size=\"400,300\"/>", false},
      {"\xC3\xA4.txt", "umlaut", true},  // "ä.txt" in UTF-8
      {std::string(255, 'n'), "long", true},
      {std::string(256, 'm'), "too long", true},
      {"empty.txt", "", true},
  };
  return items;
}

TEST(ZipSource, FindsNamesWithEitherSeparatorFoldingOnlyAsciiCase) {
  const std::string bytes = ziptest::MakeZip(SampleItems());
  auto zip = CZipSource::OpenFromMemory(bytes.data(), static_cast<DWORD>(bytes.size()));
  ASSERT_NE(zip, nullptr);
  struct Case {
    std::u16string name;
    bool ignoreCase;
    int index;  // -1: not found
  } cases[] = {
      {u"login/bg.png", true, 0},
      {u"login\\bg.png", true, 0},
      {u"LOGIN/BG.PNG", true, 0},
      {u"LOGIN/BG.PNG", false, -1},
      {u"login\\MainFrame.xml", false, 1},
      {u"login/bg.pn", true, -1},
      {u"login/bg.png ", true, -1},
      {u"\u00E4.TXT", true, 2},
      {u"\u00C4.txt", true, -1},  // only a-z fold
      {std::u16string(255, u'N'), true, 3},
      {std::u16string(256, u'm'), true, -1},  // 256 characters or more: never found
      {u"\xD800.txt", true, -1},              // cannot be converted: not found
      {u"", true, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    ZipEntryInfo info;
    const DWORD result = zip->FindEntry(c.name.c_str(), c.ignoreCase, info);
    EXPECT_EQ(info.index, c.index);
    if (c.index < 0) {
      EXPECT_EQ(result, kZipNotFound);
      continue;
    }
    EXPECT_EQ(result, kZipOk);
    EXPECT_EQ(std::u16string(info.name), U16(SampleItems()[c.index].name));
    EXPECT_EQ(info.uncompressedSize, SampleItems()[c.index].data.size());
  }
}

TEST(ZipSource, ExtractsExactBytesFromFileAndFromMemory) {
  TempDir dir;
  ASSERT_TRUE(ziptest::WriteZipFile(dir / "skin.zip", SampleItems()));
  const std::string bytes = TempDir::Get(dir / "skin.zip");
  std::unique_ptr<CZipSource> sources[] = {
      CZipSource::OpenFromFile(dir.Win("skin.zip").c_str()),
      CZipSource::OpenFromMemory(bytes.data(), static_cast<DWORD>(bytes.size())),
  };
  for (auto& zip : sources) {
    ASSERT_NE(zip, nullptr);
    for (int index : {0, 1, 3}) {
      const ziptest::Item& item = SampleItems()[index];
      SCOPED_TRACE(item.name.substr(0, 20));
      DWORD result = 0;
      // A buffer of the exact size is filled: the more-data result, which callers take as success.
      EXPECT_EQ(Extract(*zip, item.name, result), item.data);
      EXPECT_EQ(result, kZipMoreData);
      // A larger buffer holds the whole entry.
      std::string larger(item.data.size() + 10, '#');
      EXPECT_EQ(zip->ExtractToMemory(index, larger.data(), static_cast<DWORD>(larger.size())), kZipOk);
      EXPECT_EQ(larger.substr(0, item.data.size()), item.data);
    }
    // Extraction by index needs no lookup first.
    std::string xml(SampleItems()[1].data.size(), '\0');
    EXPECT_EQ(zip->ExtractToMemory(1, xml.data(), static_cast<DWORD>(xml.size())), kZipMoreData);
    EXPECT_EQ(xml, SampleItems()[1].data);
    EXPECT_EQ(zip->ExtractToMemory(99, xml.data(), 1), Umbra::kZipNotFound);
  }
}

TEST(ZipSource, DamagedEntriesAreCorruptAndTheArchiveStaysUsable) {
  const std::string good = "<Window/>";
  struct Case {
    const char* what;
    bool deflate;
    void (*damage)(std::string& zip, const std::string& data);
  } cases[] = {
      {"deflated, shorter than declared", true,
       [](std::string& zip, const std::string&) { ziptest::OverstateFirstEntrySize(zip, 10); }},
      {"stored, shorter than declared", false,
       [](std::string& zip, const std::string&) { ziptest::OverstateFirstEntrySize(zip, 10); }},
      {"stored, bad CRC", false,
       [](std::string& zip, const std::string& data) { ziptest::CorruptStoredData(zip, data); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string data = RandomBytes(5000);
    std::string bytes = ziptest::MakeZip({{"bad.bin", data, c.deflate}, {"good.xml", good, true}});
    c.damage(bytes, data);
    auto zip = CZipSource::OpenFromMemory(bytes.data(), static_cast<DWORD>(bytes.size()));
    ASSERT_NE(zip, nullptr);
    DWORD result = 0;
    Extract(*zip, "bad.bin", result);
    EXPECT_EQ(result, kZipCorrupt);
    EXPECT_EQ(Extract(*zip, "good.xml", result), good);
    EXPECT_EQ(result, kZipMoreData);
  }
}

TEST(ZipSource, OpensNothingButArchives) {
  TempDir dir;
  const std::string archive = ziptest::MakeZip({{"a.txt", "a", true}});
  TempDir::Put(dir / "text.zip", "not an archive at all");
  TempDir::Put(dir / "cut.zip", archive.substr(0, archive.size() / 2));
  for (const char* name : {"missing.zip", "text.zip", "cut.zip", ""}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(CZipSource::OpenFromFile(dir.Win(name).c_str()), nullptr);
  }
  EXPECT_EQ(CZipSource::OpenFromFile(nullptr), nullptr);
  const std::string text = "PK not really";
  EXPECT_EQ(CZipSource::OpenFromMemory(text.data(), static_cast<DWORD>(text.size())), nullptr);
  EXPECT_EQ(CZipSource::OpenFromMemory(archive.data(), 0), nullptr);
  EXPECT_EQ(CZipSource::OpenFromMemory(nullptr, 10), nullptr);
  EXPECT_NE(CZipSource::OpenFromMemory(archive.data(), static_cast<DWORD>(archive.size())), nullptr);
}

}  // namespace
