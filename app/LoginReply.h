// Judging the login server's reply: the bytes of the one read, the reply text, the reply
// number and the verdict the status line shows for it.
#pragma once

#include <windows.h>

#include <string_view>

#include "ui/core/UIString.h"

namespace Umbra {

// The one read of the reply asks for this many bytes; a reply that fills them is ignored.
constexpr DWORD kReplyReadSize = 1024;
// Reply numbers from this one up are a successful login.
constexpr int kFirstSuccessNumber = 511;

enum class ReplyKind {
  kNone,     // the read failed or gave nothing: the status line keeps "登录中..."
  kTooLong,  // the read filled its buffer: ignored, no message
  kNumber,   // judged by its number
};

struct LoginReply {
  ReplyKind kind = ReplyKind::kNone;
  CUIString text;  // the bytes up to the first zero, from the ANSI code page
  int number = 0;
};

// Judges what the one read returned ('bytes' is what it read; 'readOk' its result).
LoginReply JudgeReply(bool readOk, std::string_view bytes);

// The number of a reply, as atoi reads the reply's first nine bytes: leading white space, an
// optional sign, then digits up to the first other byte; no digits give 0.
int ParseReplyNumber(std::string_view bytes);

// The status text for a failed login's number; null when the number shows nothing new.
LPCTSTR VerdictText(int number);

// The most significant decimal digit of a (positive) number: 6 for 6123, 1 for 10005.
int LeadingDigit(int number);

}  // namespace Umbra
