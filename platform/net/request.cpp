// HTTP requests over libcurl: the request object of HttpOpenRequestA, HttpSendRequestA and
// InternetReadFile. The transfer runs on a curl multi handle driven by the calling thread:
// the send returns once the reply's headers are in, and each read drives the transfer only
// until it has what it asked for. The time-outs are ours, in milliseconds: curl's connect
// time-out for name lookup, connection and TLS set-up, then "no progress for so long" while
// sending and while waiting for the reply.
//
// Sections: helpers - the request object - set-up - driving the transfer - errors - the API.
#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "net/internet.h"

namespace umbra::net {
namespace {

using Clock = std::chrono::steady_clock;

// Reply bytes held ahead of the reader; beyond this curl is paused until the reader catches up,
// so that a huge reply never has to fit in memory.
constexpr size_t kReadAhead = 64 * 1024;
// Longest single wait, so that a handle closed by another thread is noticed soon.
constexpr int kPollSliceMs = 200;

// ---- Helpers ---------------------------------------------------------------------------------

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A verb is an HTTP token: letters, digits and a few marks, nothing that could end the line.
bool IsToken(std::string_view text) {
  if (text.empty()) return false;
  return std::all_of(text.begin(), text.end(), [](char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u > 32 && u < 127 && !std::strchr("()<>@,;:\\\"/[]?={}", c);
  });
}

// A host name or address must not carry anything that would change the URL around it.
bool IsPlainHost(std::string_view host) {
  return !host.empty() && host.find_first_of("/\\?#@ \t\r\n") == std::string_view::npos;
}

bool IsValidUrl(const std::string& url) {
  CURLU* parsed = curl_url();
  if (!parsed) return false;
  const bool valid = curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
  curl_url_cleanup(parsed);
  return valid;
}

DWORD ErrorFromCurl(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return ERROR_SUCCESS;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
      return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
      return ERROR_INTERNET_TIMEOUT;
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
      return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
      return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_PEER_FAILED_VERIFICATION:
      return ERROR_INTERNET_INVALID_CA;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
      return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_URL_MALFORMAT:
      return ERROR_INTERNET_INVALID_URL;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
      return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_OUT_OF_MEMORY:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_INTERNET_INTERNAL_ERROR;
  }
}

// ---- The request object ----------------------------------------------------------------------

class RequestObject final : public InternetObject {
 public:
  explicit RequestObject(const ConnectionObject& connection)
      : InternetObject(HandleKind::kRequest, connection.GetTimeouts()), m_session(connection.settings) {}
  ~RequestObject() override {
    Reset();
    if (m_multi) curl_multi_cleanup(m_multi);
  }

  // What HttpOpenRequestA fixed.
  std::string verb;
  std::string url;
  std::string referrer;
  std::string accept;
  long httpVersion = CURL_HTTP_VERSION_1_1;
  bool secure = false;

  bool Send(std::string_view headers, std::string_view body);
  bool Read(char* buffer, size_t count, DWORD* read);

 private:
  void Reset();
  bool Configure(std::string_view headers);
  bool AddHeaders(std::string_view headers);
  void Pump(const std::function<bool()>& ready);
  void Finish(DWORD error);
  void CollectResult();
  int WaitBudgetMs();
  size_t Available() const { return m_received.size() - m_readPos; }

  static size_t OnHeader(char* data, size_t size, size_t count, void* self);
  static size_t OnBody(char* data, size_t size, size_t count, void* self);

  SessionSettings m_session;

  CURLM* m_multi = nullptr;
  CURL* m_easy = nullptr;
  curl_slist* m_headerList = nullptr;
  std::string m_body;  // curl reads the request body from here while the transfer runs
  std::string m_received;
  size_t m_readPos = 0;

  bool m_sent = false;
  bool m_attached = false;  // m_easy is on m_multi
  bool m_headersDone = false;
  bool m_finished = false;
  bool m_paused = false;
  bool m_connected = false;
  DWORD m_error = ERROR_SUCCESS;
  Clock::time_point m_lastActivity;
  curl_off_t m_progress = -1;
};

// ---- Set-up ----------------------------------------------------------------------------------

void RequestObject::Reset() {
  if (m_attached) curl_multi_remove_handle(m_multi, m_easy);
  if (m_easy) curl_easy_cleanup(m_easy);
  if (m_headerList) curl_slist_free_all(m_headerList);
  m_easy = nullptr;
  m_headerList = nullptr;
  m_body.clear();
  m_received.clear();
  m_readPos = 0;
  m_sent = m_attached = m_headersDone = m_finished = m_paused = m_connected = false;
  m_error = ERROR_SUCCESS;
  m_progress = -1;
}

// The caller's header lines, one per "\r\n"; an empty value is sent as such (curl's "Name;").
bool RequestObject::AddHeaders(std::string_view headers) {
  bool hasContentType = false;
  while (!headers.empty()) {
    const size_t end = headers.find('\n');
    std::string_view line = Trim(headers.substr(0, end));
    if (!line.empty() && line.back() == '\r') line = Trim(line.substr(0, line.size() - 1));
    headers = end == std::string_view::npos ? std::string_view() : headers.substr(end + 1);
    if (line.empty()) continue;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0 || line.find('\r') != std::string_view::npos)
      return false;
    const std::string_view name = Trim(line.substr(0, colon));
    const std::string_view value = Trim(line.substr(colon + 1));
    hasContentType = hasContentType || EqualsNoCase(name, "Content-Type");
    const std::string header = value.empty() ? std::string(name) + ";" : std::string(line);
    m_headerList = curl_slist_append(m_headerList, header.c_str());
  }
  // curl adds headers WinINet does not: a form content type for bodies, and Expect for big ones.
  if (!hasContentType) m_headerList = curl_slist_append(m_headerList, "Content-Type:");
  m_headerList = curl_slist_append(m_headerList, "Expect:");
  m_headerList = curl_slist_append(m_headerList, accept.empty() ? "Accept:" : ("Accept: " + accept).c_str());
  return true;
}

bool RequestObject::Configure(std::string_view headers) {
  InitCurlOnce();
  if (!m_multi) m_multi = curl_multi_init();
  m_easy = curl_easy_init();
  if (!m_multi || !m_easy) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  if (!AddHeaders(headers)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const Timeouts& timeouts = GetTimeouts();
  const bool connectLimited = timeouts.connectMs != Timeouts::kNoLimit && timeouts.connectMs != 0;
  curl_easy_setopt(m_easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(m_easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(m_easy, CURLOPT_CONNECTTIMEOUT_MS,
                   connectLimited ? static_cast<long>(timeouts.connectMs) : 0L);
  curl_easy_setopt(m_easy, CURLOPT_HTTP_VERSION, httpVersion);
  curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, m_headerList);
  if (!m_session.agent.empty()) curl_easy_setopt(m_easy, CURLOPT_USERAGENT, m_session.agent.c_str());
  if (!referrer.empty()) curl_easy_setopt(m_easy, CURLOPT_REFERER, referrer.c_str());
  if (m_session.accessType == INTERNET_OPEN_TYPE_DIRECT) {
    curl_easy_setopt(m_easy, CURLOPT_PROXY, "");  // and not the environment's proxy either
  } else if (m_session.accessType == INTERNET_OPEN_TYPE_PROXY) {
    curl_easy_setopt(m_easy, CURLOPT_PROXY, m_session.proxy.c_str());
    if (!m_session.proxyBypass.empty())
      curl_easy_setopt(m_easy, CURLOPT_NOPROXY, m_session.proxyBypass.c_str());
  }
  // Certificates are always verified; a deployment with its own authority names its file here.
  if (const char* caFile = std::getenv("UMBRA_CA_FILE"); caFile && *caFile) {
    curl_easy_setopt(m_easy, CURLOPT_CAINFO, caFile);
  }
  if (verb == "HEAD") {
    curl_easy_setopt(m_easy, CURLOPT_NOBODY, 1L);
  } else if (verb == "GET" && m_body.empty()) {
    curl_easy_setopt(m_easy, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(m_easy, CURLOPT_POST, 1L);
    curl_easy_setopt(m_easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(m_body.size()));
    curl_easy_setopt(m_easy, CURLOPT_POSTFIELDS, m_body.data());
    if (verb != "POST") curl_easy_setopt(m_easy, CURLOPT_CUSTOMREQUEST, verb.c_str());
  }
  curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, &RequestObject::OnHeader);
  curl_easy_setopt(m_easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &RequestObject::OnBody);
  curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);
  return true;
}

// ---- Driving the transfer --------------------------------------------------------------------

size_t RequestObject::OnHeader(char* data, size_t size, size_t count, void* self) {
  auto* request = static_cast<RequestObject*>(self);
  const std::string_view line(data, size * count);
  if (line == "\r\n" || line == "\n") {
    long status = 0;
    curl_easy_getinfo(request->m_easy, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 200) request->m_headersDone = true;  // 1xx replies are followed by the real one
  }
  return size * count;
}

size_t RequestObject::OnBody(char* data, size_t size, size_t count, void* self) {
  auto* request = static_cast<RequestObject*>(self);
  if (request->Available() >= kReadAhead) {
    request->m_paused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  request->m_received.append(data, size * count);
  return size * count;
}

void RequestObject::Finish(DWORD error) {
  if (m_attached) curl_multi_remove_handle(m_multi, m_easy);
  m_attached = false;
  m_finished = true;
  m_error = error;
}

void RequestObject::CollectResult() {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
    if (message->msg == CURLMSG_DONE && message->easy_handle == m_easy)
      Finish(ErrorFromCurl(message->data.result));
  }
}

// How long to wait for the next event before the send or receive time-out would be exceeded;
// 0 when it has been.
int RequestObject::WaitBudgetMs() {
  const Clock::time_point now = Clock::now();
  if (!m_connected) {
    curl_off_t connectedAfter = 0;
    curl_easy_getinfo(m_easy, secure ? CURLINFO_APPCONNECT_TIME_T : CURLINFO_CONNECT_TIME_T, &connectedAfter);
    if (connectedAfter == 0) return kPollSliceMs;  // curl's connect time-out is running
    m_connected = true;
    m_lastActivity = now;
  }
  curl_off_t sent = 0, received = 0;
  long headerBytes = 0;
  curl_easy_getinfo(m_easy, CURLINFO_SIZE_UPLOAD_T, &sent);
  curl_easy_getinfo(m_easy, CURLINFO_SIZE_DOWNLOAD_T, &received);
  curl_easy_getinfo(m_easy, CURLINFO_HEADER_SIZE, &headerBytes);
  const curl_off_t progress = sent + received + headerBytes;
  if (progress != m_progress) {
    m_progress = progress;
    m_lastActivity = now;
  }
  const Timeouts& timeouts = GetTimeouts();
  const DWORD limit = sent < static_cast<curl_off_t>(m_body.size()) ? timeouts.sendMs : timeouts.receiveMs;
  if (limit == Timeouts::kNoLimit || limit == 0) return kPollSliceMs;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      m_lastActivity + std::chrono::milliseconds(limit) - now);
  if (left.count() <= 0) return 0;
  return static_cast<int>(std::min<long long>(left.count(), kPollSliceMs));
}

// Drives the transfer until ready() holds or the transfer ends, by completion, failure, a
// time-out or the handle being closed.
void RequestObject::Pump(const std::function<bool()>& ready) {
  while (!m_finished && !ready()) {
    int running = 0;
    if (curl_multi_perform(m_multi, &running) != CURLM_OK) {
      Finish(ERROR_INTERNET_INTERNAL_ERROR);
      break;
    }
    CollectResult();
    if (m_finished || ready()) break;
    if (IsClosed()) {
      Finish(ERROR_INTERNET_OPERATION_CANCELLED);
      break;
    }
    const int budget = WaitBudgetMs();
    if (budget == 0) {
      Finish(ERROR_INTERNET_TIMEOUT);
      break;
    }
    curl_multi_poll(m_multi, nullptr, 0, budget, nullptr);
  }
}

bool RequestObject::Send(std::string_view headers, std::string_view body) {
  Reset();  // a request handle may be sent again
  m_body.assign(body);
  if (!Configure(headers)) return false;
  if (curl_multi_add_handle(m_multi, m_easy) != CURLM_OK) {
    SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
    return false;
  }
  m_attached = m_sent = true;
  m_lastActivity = Clock::now();
  Pump([this] { return m_headersDone; });
  if (m_headersDone) {
    SetLastError(ERROR_SUCCESS);
    return true;
  }
  SetLastError(m_error != ERROR_SUCCESS ? m_error : ERROR_HTTP_INVALID_SERVER_RESPONSE);
  return false;
}

bool RequestObject::Read(char* buffer, size_t count, DWORD* read) {
  if (!m_sent) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return false;
  }
  if (Available() < count && !m_finished) {
    if (m_paused) {
      m_paused = false;
      m_lastActivity = Clock::now();  // the wait was the reader's, not the server's
      curl_easy_pause(m_easy, CURLPAUSE_CONT);
    }
    Pump([this, count] { return Available() >= count; });
  }
  const size_t n = std::min(Available(), count);
  if (n == 0 && m_error != ERROR_SUCCESS) {
    SetLastError(m_error);
    return false;
  }
  if (n) std::memcpy(buffer, m_received.data() + m_readPos, n);
  m_readPos += n;
  if (m_readPos == m_received.size()) {
    m_received.clear();
    m_readPos = 0;
  } else if (m_readPos >= kReadAhead) {
    m_received.erase(0, m_readPos);
    m_readPos = 0;
  }
  *read = static_cast<DWORD>(n);
  SetLastError(ERROR_SUCCESS);
  return true;
}

std::string HostForUrl(const std::string& host) {
  const bool ipv6 = host.find(':') != std::string::npos && host.front() != '[';
  return ipv6 ? "[" + host + "]" : host;
}

}  // namespace

// ---- Made by HttpOpenRequestA ----------------------------------------------------------------

std::shared_ptr<InternetObject> MakeRequest(const ConnectionObject& connection, LPCSTR verb, LPCSTR object,
                                            LPCSTR version, LPCSTR referrer, LPCSTR* acceptTypes,
                                            DWORD flags) {
  InitCurlOnce();
  auto request = std::make_shared<RequestObject>(connection);
  request->verb = verb && *verb ? verb : "GET";
  if (!IsToken(request->verb)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!version || !*version || EqualsNoCase(version, "HTTP/1.1")) {
    request->httpVersion = CURL_HTTP_VERSION_1_1;
  } else if (EqualsNoCase(version, "HTTP/1.0")) {
    request->httpVersion = CURL_HTTP_VERSION_1_0;
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  request->secure = (flags & INTERNET_FLAG_SECURE) != 0;
  const INTERNET_PORT port =
      connection.port != INTERNET_INVALID_PORT_NUMBER
          ? connection.port
          : (request->secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
  std::string path = object && *object ? object : "/";
  if (path.front() != '/') path.insert(path.begin(), '/');
  request->url = std::string(request->secure ? "https://" : "http://") + HostForUrl(connection.host) + ":" +
                 std::to_string(port) + path;
  if (!IsPlainHost(connection.host) || !IsValidUrl(request->url)) {
    SetLastError(ERROR_INTERNET_INVALID_URL);
    return nullptr;
  }
  if (referrer) request->referrer = referrer;
  for (LPCSTR* type = acceptTypes; type && *type; ++type) {
    if (!request->accept.empty()) request->accept += ", ";
    request->accept += *type;
  }
  return request;
}

}  // namespace umbra::net

using namespace umbra::net;

BOOL WINAPI HttpSendRequestA(HINTERNET hRequest, LPCSTR lpszHeaders, DWORD dwHeadersLength, LPVOID lpOptional,
                             DWORD dwOptionalLength) {
  auto request = LookupInternetHandleAs<RequestObject>(hRequest, HandleKind::kRequest);
  if (!request) return FALSE;
  std::string_view headers;
  if (lpszHeaders) {
    headers = dwHeadersLength == static_cast<DWORD>(-1) ? std::string_view(lpszHeaders)
                                                        : std::string_view(lpszHeaders, dwHeadersLength);
    headers = headers.substr(0, headers.find('\0'));
  }
  if (!lpOptional && dwOptionalLength) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string_view body(static_cast<const char*>(lpOptional), lpOptional ? dwOptionalLength : 0);
  return request->Send(headers, body) ? TRUE : FALSE;
}

BOOL WINAPI InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                             LPDWORD lpdwNumberOfBytesRead) {
  if (!lpdwNumberOfBytesRead || (!lpBuffer && dwNumberOfBytesToRead)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpdwNumberOfBytesRead = 0;
  auto request = LookupInternetHandleAs<RequestObject>(hFile, HandleKind::kRequest);
  if (!request) return FALSE;
  return request->Read(static_cast<char*>(lpBuffer), dwNumberOfBytesToRead, lpdwNumberOfBytesRead) ? TRUE
                                                                                                   : FALSE;
}
