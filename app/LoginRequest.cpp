#include "app/LoginRequest.h"

#include <wininet.h>

#include "app/LoginReply.h"

namespace Umbra {
namespace {

constexpr char kFormHeader[] = "Content-Type: application/x-www-form-urlencoded";
constexpr DWORD kFormHeaderLength = 47;  // without a line end
static_assert(sizeof(kFormHeader) - 1 == kFormHeaderLength);

// Closes its handle when the login is done with it, however it ends.
class CInternetHandle {
 public:
  explicit CInternetHandle(HINTERNET handle) : m_handle(handle) {}
  ~CInternetHandle() {
    if (m_handle) InternetCloseHandle(m_handle);
  }
  CInternetHandle(const CInternetHandle&) = delete;
  CInternetHandle& operator=(const CInternetHandle&) = delete;
  operator HINTERNET() const { return m_handle; }

 private:
  HINTERNET m_handle;
};

std::string ToAnsi(const CUIString& text) {
  const int length = text.GetLength();
  if (length == 0) return std::string();
  const int needed = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string bytes(static_cast<size_t>(needed), '\0');
  const int written = WideCharToMultiByte(CP_ACP, 0, text, length, bytes.data(), needed, nullptr, nullptr);
  bytes.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return bytes;
}

bool IsUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

std::string FormValue(const CUIString& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : ToAnsi(text)) {
    if (IsUnreserved(c)) {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 15];
    }
  }
  return encoded;
}

}  // namespace

std::string BuildLoginBody(const LoginValues& values) {
  return "com=" + FormValue(values.company) + "&name=" + FormValue(values.name) +
         "&pwd=" + FormValue(values.password) +
         "&ver=7200&entype=des&pwdtype=" + std::to_string(values.savedPasswordFlag) +
         "&despwd=" + FormValue(values.savedPassword);
}

bool PostLogin(const LoginServerAddress& server, const std::string& body, std::string& reply) {
  // A failed call leaves a null handle, which makes the later calls fail in turn; the read
  // then reports the failure.
  CInternetHandle session(InternetOpenA("Login", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  CInternetHandle connection(InternetConnectA(session, server.host.c_str(), server.port, nullptr, nullptr,
                                              INTERNET_SERVICE_HTTP, 0, 0));
  LPCSTR acceptTypes[] = {"*/*", nullptr};
  const DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | (server.secure ? INTERNET_FLAG_SECURE : 0);
  CInternetHandle request(
      HttpOpenRequestA(connection, "POST", "/loginPCdes.php", nullptr, nullptr, acceptTypes, flags, 1));
  HttpSendRequestA(request, kFormHeader, kFormHeaderLength, const_cast<char*>(body.data()),
                   static_cast<DWORD>(body.size()));

  char buffer[kReplyReadSize] = {};
  DWORD read = 0;
  if (!InternetReadFile(request, buffer, kReplyReadSize, &read)) return false;
  reply.assign(buffer, read);
  return true;
}

}  // namespace Umbra
