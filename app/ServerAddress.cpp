#include "app/ServerAddress.h"

#include <tchar.h>

#include <vector>

#ifndef UMBRA_LOGIN_SERVER
#define UMBRA_LOGIN_SERVER "login.quorvel.example"
#endif

namespace Umbra {
namespace {

// Longer values are refused rather than cut into another address.
constexpr DWORD kServerBufferSize = 1024;

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (towlower(text[i]) != prefix[i]) return false;
  }
  return true;
}

std::u16string_view Trim(std::u16string_view text) {
  const size_t first = text.find_first_not_of(u" \t");
  if (first == std::u16string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(u" \t") - first + 1);
}

bool IsHostChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
         c == u'.' || c == u'_';
}

bool ParsePort(std::u16string_view digits, INTERNET_PORT& port) {
  if (digits.empty() || digits.size() > 5) return false;
  unsigned value = 0;
  for (char16_t c : digits) {
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + (c - u'0');
  }
  if (value == 0 || value > 65535) return false;
  port = static_cast<INTERNET_PORT>(value);
  return true;
}

// "host", "host:port", "[v6]" or "[v6]:port".
bool ParseAuthority(std::u16string_view authority, LoginServerAddress& address) {
  std::u16string_view host = authority;
  std::u16string_view port;
  if (!authority.empty() && authority.front() == u'[') {
    const size_t close = authority.find(u']');
    if (close == std::u16string_view::npos) return false;
    host = authority.substr(1, close - 1);
    const std::u16string_view rest = authority.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != u':') return false;
      port = rest.substr(1);
      if (port.empty()) return false;
    }
    for (char16_t c : host) {
      if (!iswxdigit(c) && c != u':' && c != u'.') return false;
    }
  } else {
    const size_t colon = authority.find(u':');
    if (colon != std::u16string_view::npos) {
      host = authority.substr(0, colon);
      port = authority.substr(colon + 1);
      if (port.empty()) return false;
    }
    for (char16_t c : host) {
      if (!IsHostChar(c)) return false;
    }
  }
  if (host.empty() || (!port.empty() && !ParsePort(port, address.port))) return false;
  address.host.assign(host.begin(), host.end());  // ASCII only, checked above
  return true;
}

}  // namespace

bool ParseServerAddress(std::u16string_view text, LoginServerAddress& address) {
  LoginServerAddress parsed;
  text = Trim(text);
  if (StartsWithNoCase(text, u"https://")) {
    parsed.secure = true;
    parsed.port = INTERNET_DEFAULT_HTTPS_PORT;
    text.remove_prefix(8);
  } else if (StartsWithNoCase(text, u"http://")) {
    text.remove_prefix(7);
  } else if (text.find(u"://") != std::u16string_view::npos) {
    return false;
  }
  const size_t slash = text.find(u'/');
  if (slash != std::u16string_view::npos && text.substr(slash) != u"/") return false;
  if (!ParseAuthority(text.substr(0, slash), parsed)) return false;
  address = parsed;
  return true;
}

bool ReadServerAddress(LPCTSTR settingsPath, LoginServerAddress& address) {
  std::vector<WCHAR> value(kServerBufferSize);
  const DWORD length = GetPrivateProfileStringW(_T("system"), _T("server"), _T(""), value.data(),
                                                kServerBufferSize, settingsPath);
  if (length >= kServerBufferSize - 1) return false;
  const std::u16string_view configured = Trim(std::u16string_view(value.data(), length));
  return ParseServerAddress(configured.empty() ? std::u16string_view(TEXT(UMBRA_LOGIN_SERVER)) : configured,
                            address);
}

CUIString RegistrationUrl(const LoginServerAddress& address) {
  const bool ipv6 = address.host.find(':') != std::string::npos;
  const INTERNET_PORT defaultPort = address.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  std::string url = address.secure ? "https://" : "http://";
  url += ipv6 ? "[" + address.host + "]" : address.host;
  if (address.port != defaultPort) url += ":" + std::to_string(address.port);
  url += "/reg.php";
  CUIString text;
  for (char c : url) text += static_cast<WCHAR>(c);
  return text;
}

}  // namespace Umbra
