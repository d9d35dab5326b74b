#include "app/LoginReply.h"

#include <tchar.h>

#include <string>

namespace Umbra {
namespace {

// Only this much of the reply is looked at for its number, so it always fits an int.
constexpr size_t kNumberBytes = 9;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

CUIString FromAnsi(std::string_view bytes) {
  if (bytes.empty()) return CUIString();
  // Sized by the conversion itself, so a long reply is kept whole.
  const int length = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  if (needed <= 0) return CUIString();
  std::u16string text(static_cast<size_t>(needed), u'\0');
  const int written = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, text.data(), needed);
  return CUIString(text.c_str(), written > 0 ? written : 0);
}

}  // namespace

int ParseReplyNumber(std::string_view bytes) {
  bytes = bytes.substr(0, kNumberBytes);
  size_t i = 0;
  while (i < bytes.size() && IsSpace(bytes[i])) ++i;
  bool negative = false;
  if (i < bytes.size() && (bytes[i] == '+' || bytes[i] == '-')) negative = bytes[i++] == '-';
  int value = 0;
  for (; i < bytes.size() && bytes[i] >= '0' && bytes[i] <= '9'; ++i) value = value * 10 + (bytes[i] - '0');
  return negative ? -value : value;
}

LoginReply JudgeReply(bool readOk, std::string_view bytes) {
  LoginReply reply;
  if (!readOk || bytes.empty()) return reply;
  if (bytes.size() >= kReplyReadSize) {
    reply.kind = ReplyKind::kTooLong;
    return reply;
  }
  bytes = bytes.substr(0, bytes.find('\0'));
  reply.kind = ReplyKind::kNumber;
  reply.text = FromAnsi(bytes);
  reply.number = ParseReplyNumber(bytes);
  return reply;
}

LPCTSTR VerdictText(int number) {
  switch (number) {
    case 0:
      return _T("登录失败,账号或密码错误.");
    case -1:
      return _T("账号已停用,请联系管理员激活.");
    case -2:
      return _T("登录失败,账号密码不能为空.");
    case -4:
      return _T("登录失败,账号不存在.");
    case -5:
      return _T("登录失败,账号已到期,请及时续费.");
    case -6:
      return _T("登录IP未授权,请联系管理员授权.");
    case -7:
      return _T("当前时段不允许登录,请联系管理员.");
    case -8:
      return _T("系统授权错误,请联系Quorvel客服.");
    case -9:
      return _T("登录失败,未知错误.");
    default:
      return nullptr;
  }
}

int LeadingDigit(int number) {
  int digit = number % 10;
  while (number /= 10) digit = number % 10;
  return digit;
}

}  // namespace Umbra
