// The clipboard on the headless display: text kept within the process, one opener at a time,
// and data handles owned (and freed) by the clipboard.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <thread>

#include "UserTestKit.h"

using namespace usertest;

namespace {

HGLOBAL TextBlock(const std::u16string& text) {
  size_t bytes = (text.size() + 1) * sizeof(char16_t);
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes);
  std::memcpy(GlobalLock(h), text.c_str(), bytes);
  GlobalUnlock(h);
  return h;
}

std::u16string TextOf(HANDLE h) {
  const auto* p = static_cast<const char16_t*>(GlobalLock(h));
  std::u16string text = p ? p : u"";
  GlobalUnlock(h);
  return text;
}

class Clipboard : public UserTest {
 protected:
  void TearDown() override {
    CloseClipboard();
    if (OpenClipboard(nullptr)) {
      EmptyClipboard();
      CloseClipboard();
    }
    UserTest::TearDown();
  }
};

TEST_F(Clipboard, TextSetByOneOpeningIsReadByTheNext) {
  HWND w = TopLevel(RecordedClass(), WS_POPUP, RECT{0, 0, 50, 50});
  ASSERT_TRUE(OpenClipboard(w));
  ASSERT_TRUE(EmptyClipboard());
  HGLOBAL block = TextBlock(u"copy \u526A\u8D34");
  EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, block), block);
  ASSERT_TRUE(CloseClipboard());
  EXPECT_EQ(GetClipboardOwner(), w);
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));

  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(TextOf(data), u"copy \u526A\u8D34");
  EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);
  ASSERT_TRUE(CloseClipboard());
}

TEST_F(Clipboard, CallsNeedTheClipboardOpenOnThisThread) {
  SetLastError(0);
  EXPECT_FALSE(EmptyClipboard());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLIPBOARD_NOT_OPEN));
  HGLOBAL block = TextBlock(u"x");
  EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, block), nullptr);
  EXPECT_EQ(GetClipboardData(CF_UNICODETEXT), nullptr);
  EXPECT_FALSE(CloseClipboard());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLIPBOARD_NOT_OPEN));

  ASSERT_TRUE(OpenClipboard(nullptr));
  BOOL otherOpened = TRUE, otherEmptied = TRUE;
  DWORD otherError = 0;
  std::thread([&] {
    otherOpened = OpenClipboard(nullptr);
    otherError = GetLastError();
    otherEmptied = EmptyClipboard();
  }).join();
  EXPECT_FALSE(otherOpened);
  EXPECT_EQ(otherError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(otherEmptied);
  // Data rendered on request (a null handle) is not offered; the caller keeps its block.
  EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  ASSERT_TRUE(CloseClipboard());
  GlobalFree(block);
}

TEST_F(Clipboard, ReplacedAndEmptiedDataIsFreed) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL first = TextBlock(u"one");
  HGLOBAL second = TextBlock(u"two");
  SetClipboardData(CF_UNICODETEXT, first);
  SetClipboardData(CF_UNICODETEXT, second);
  EXPECT_EQ(GlobalSize(first), 0u);  // freed when replaced
  EXPECT_EQ(TextOf(GetClipboardData(CF_UNICODETEXT)), u"two");
  EmptyClipboard();
  EXPECT_EQ(GlobalSize(second), 0u);
  EXPECT_EQ(GetClipboardData(CF_UNICODETEXT), nullptr);
  CloseClipboard();
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT));
}

}  // namespace
