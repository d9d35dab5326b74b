#include <gtest/gtest.h>

#include <string>

#include "app/LoginReply.h"

namespace {

using namespace std::string_literals;

TEST(LoginReply, NumberIsReadLikeAtoiFromTheFirstNineBytes) {
  struct Case {
    std::string reply;
    int number;
  };
  const Case cases[] = {
      {"511", 511},
      {" 6000abc", 6000},
      {"-3", -3},
      {"+42", 42},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"\t\r\n7", 7},
      {"12 34", 12},
      {"123456789012", 123456789},
      {"-12345678901", -12345678},
      {"        5", 5},
      {"         5", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(Umbra::ParseReplyNumber(c.reply), c.number) << '"' << c.reply << '"';
}

TEST(LoginReply, JudgesWhatTheOneReadReturned) {
  const Umbra::LoginReply failed = Umbra::JudgeReply(false, "511");
  EXPECT_EQ(failed.kind, Umbra::ReplyKind::kNone);
  EXPECT_EQ(Umbra::JudgeReply(true, "").kind, Umbra::ReplyKind::kNone);
  EXPECT_EQ(Umbra::JudgeReply(true, std::string(1024, '7')).kind, Umbra::ReplyKind::kTooLong);

  // Up to 1023 bytes the whole text is kept, however long its UTF-16 form.
  const Umbra::LoginReply longest = Umbra::JudgeReply(true, "6000" + std::string(1019, 'x'));
  EXPECT_EQ(longest.kind, Umbra::ReplyKind::kNumber);
  EXPECT_EQ(longest.number, 6000);
  EXPECT_EQ(longest.text.GetLength(), 1023);

  const Umbra::LoginReply cut = Umbra::JudgeReply(true, "612\0 99"s);
  EXPECT_EQ(std::u16string(cut.text), u"612");
  EXPECT_EQ(cut.number, 612);
}

TEST(LoginReply, LeadingDigitIsTheMostSignificantOne) {
  const int cases[][2] = {{6123, 6}, {712, 7}, {10005, 1}, {511, 5}, {7000, 7}, {999999999, 9}};
  for (const auto& [number, digit] : cases) EXPECT_EQ(Umbra::LeadingDigit(number), digit) << number;
}

}  // namespace
