// WinINet handles: the handle table, InternetOpenA, InternetConnectA, InternetCloseHandle and
// the time-out options.
#include <mutex>
#include <unordered_map>
#include <vector>

#include "net/internet.h"

namespace umbra::net {
namespace {

// ---- Default time-outs -----------------------------------------------------------------------

std::mutex g_defaultsLock;
Timeouts g_defaults;

// ---- The handle table ------------------------------------------------------------------------

struct Entry {
  std::shared_ptr<InternetObject> object;
  HINTERNET parent = nullptr;
};

struct HandleTable {
  std::mutex lock;
  std::unordered_map<HINTERNET, Entry> entries;
  // Far from the kernel's handle values, so that mixing the two kinds up is refused.
  uintptr_t next = 0xCC0000;
};

HandleTable& Table() {
  static HandleTable* table = new HandleTable;  // never destroyed: handles may close at exit
  return *table;
}

// Removes the handle and everything made from it; the objects are returned so that they are
// destroyed outside the lock.
std::vector<std::shared_ptr<InternetObject>> RemoveTree(HINTERNET root) {
  HandleTable& table = Table();
  std::lock_guard guard(table.lock);
  std::vector<std::shared_ptr<InternetObject>> removed;
  if (!table.entries.count(root)) return removed;
  std::vector<HINTERNET> pending{root};
  while (!pending.empty()) {
    HINTERNET handle = pending.back();
    pending.pop_back();
    for (const auto& [child, entry] : table.entries) {
      if (entry.parent == handle) pending.push_back(child);
    }
    auto it = table.entries.find(handle);
    removed.push_back(std::move(it->second.object));
    table.entries.erase(it);
  }
  return removed;
}

// ---- Options ---------------------------------------------------------------------------------

DWORD* TimeoutField(Timeouts& timeouts, DWORD option) {
  switch (option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
      return &timeouts.connectMs;
    case INTERNET_OPTION_SEND_TIMEOUT:
    case INTERNET_OPTION_DATA_SEND_TIMEOUT:
      return &timeouts.sendMs;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
    case INTERNET_OPTION_DATA_RECEIVE_TIMEOUT:
      return &timeouts.receiveMs;
    default:
      return nullptr;
  }
}

DWORD HandleTypeOf(HandleKind kind) {
  switch (kind) {
    case HandleKind::kSession:
      return INTERNET_HANDLE_TYPE_INTERNET;
    case HandleKind::kConnection:
      return INTERNET_HANDLE_TYPE_CONNECT_HTTP;
    case HandleKind::kRequest:
      break;
  }
  return INTERNET_HANDLE_TYPE_HTTP_REQUEST;
}

bool IsKnownOption(DWORD option) {
  Timeouts probe;
  return TimeoutField(probe, option) || option == INTERNET_OPTION_HANDLE_TYPE;
}

std::string CopyText(LPCSTR text) { return text ? std::string(text) : std::string(); }

}  // namespace

Timeouts DefaultTimeouts() {
  std::lock_guard guard(g_defaultsLock);
  return g_defaults;
}

void SetDefaultTimeouts(const Timeouts& timeouts) {
  std::lock_guard guard(g_defaultsLock);
  g_defaults = timeouts;
}

HINTERNET RegisterInternetHandle(std::shared_ptr<InternetObject> object, HINTERNET parent) {
  HandleTable& table = Table();
  std::lock_guard guard(table.lock);
  HINTERNET handle = reinterpret_cast<HINTERNET>(table.next);
  table.next += 4;
  table.entries.emplace(handle, Entry{std::move(object), parent});
  return handle;
}

std::shared_ptr<InternetObject> LookupInternetHandle(HINTERNET handle) {
  HandleTable& table = Table();
  std::lock_guard guard(table.lock);
  auto it = table.entries.find(handle);
  if (it == table.entries.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return it->second.object;
}

std::shared_ptr<InternetObject> LookupInternetHandle(HINTERNET handle, HandleKind kind) {
  std::shared_ptr<InternetObject> object = LookupInternetHandle(handle);
  if (object && object->Kind() != kind) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return nullptr;
  }
  return object;
}

}  // namespace umbra::net

using namespace umbra::net;

HINTERNET WINAPI InternetOpenA(LPCSTR lpszAgent, DWORD dwAccessType, LPCSTR lpszProxy, LPCSTR lpszProxyBypass,
                               DWORD dwFlags) {
  const bool knownAccess = dwAccessType == INTERNET_OPEN_TYPE_PRECONFIG ||
                           dwAccessType == INTERNET_OPEN_TYPE_DIRECT ||
                           dwAccessType == INTERNET_OPEN_TYPE_PROXY;
  // Only synchronous use is offered: an asynchronous session would need status callbacks.
  if (!knownAccess || (dwFlags & INTERNET_FLAG_ASYNC) ||
      (dwAccessType == INTERNET_OPEN_TYPE_PROXY && (!lpszProxy || !*lpszProxy))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto session = std::make_shared<SessionObject>(HandleKind::kSession, DefaultTimeouts());
  session->settings.agent = CopyText(lpszAgent);
  session->settings.accessType = dwAccessType;
  if (dwAccessType == INTERNET_OPEN_TYPE_PROXY) {
    session->settings.proxy = lpszProxy;
    session->settings.proxyBypass = CopyText(lpszProxyBypass);
  }
  SetLastError(ERROR_SUCCESS);
  return RegisterInternetHandle(std::move(session), nullptr);
}

HINTERNET WINAPI InternetConnectA(HINTERNET hInternet, LPCSTR lpszServerName, INTERNET_PORT nServerPort,
                                  LPCSTR lpszUserName, LPCSTR lpszPassword, DWORD dwService, DWORD dwFlags,
                                  DWORD_PTR dwContext) {
  auto session = LookupInternetHandleAs<SessionObject>(hInternet, HandleKind::kSession);
  if (!session) return nullptr;
  if (!lpszServerName || !*lpszServerName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (dwService != INTERNET_SERVICE_HTTP) {
    SetLastError(ERROR_INTERNET_INVALID_OPERATION);
    return nullptr;
  }
  auto connection = std::make_shared<ConnectionObject>(*session);
  connection->host = lpszServerName;
  connection->port = nServerPort;
  SetLastError(ERROR_SUCCESS);
  return RegisterInternetHandle(std::move(connection), hInternet);
}

HINTERNET WINAPI HttpOpenRequestA(HINTERNET hConnect, LPCSTR lpszVerb, LPCSTR lpszObjectName,
                                  LPCSTR lpszVersion, LPCSTR lpszReferrer, LPCSTR* lplpszAcceptTypes,
                                  DWORD dwFlags, DWORD_PTR dwContext) {
  auto connection = LookupInternetHandleAs<ConnectionObject>(hConnect, HandleKind::kConnection);
  if (!connection) return nullptr;
  std::shared_ptr<InternetObject> request = MakeRequest(*connection, lpszVerb, lpszObjectName, lpszVersion,
                                                        lpszReferrer, lplpszAcceptTypes, dwFlags);
  if (!request) return nullptr;  // MakeRequest set the error
  SetLastError(ERROR_SUCCESS);
  return RegisterInternetHandle(std::move(request), hConnect);
}

BOOL WINAPI InternetCloseHandle(HINTERNET hInternet) {
  std::vector<std::shared_ptr<InternetObject>> removed = RemoveTree(hInternet);
  if (removed.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  for (const auto& object : removed) object->MarkClosed();
  return TRUE;
}

BOOL WINAPI InternetSetOptionA(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength) {
  if (!IsKnownOption(dwOption)) {
    SetLastError(ERROR_INTERNET_INVALID_OPTION);
    return FALSE;
  }
  if (dwOption == INTERNET_OPTION_HANDLE_TYPE) {
    SetLastError(ERROR_INTERNET_OPTION_NOT_SETTABLE);
    return FALSE;
  }
  if (!lpBuffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (dwBufferLength < sizeof(DWORD)) {
    SetLastError(ERROR_INTERNET_BAD_OPTION_LENGTH);
    return FALSE;
  }
  const DWORD value = *static_cast<const DWORD*>(lpBuffer);
  if (!hInternet) {
    Timeouts defaults = DefaultTimeouts();
    *TimeoutField(defaults, dwOption) = value;
    SetDefaultTimeouts(defaults);
    return TRUE;
  }
  std::shared_ptr<InternetObject> object = LookupInternetHandle(hInternet);
  if (!object) return FALSE;
  *TimeoutField(object->GetTimeouts(), dwOption) = value;
  return TRUE;
}

BOOL WINAPI InternetQueryOptionA(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer,
                                 LPDWORD lpdwBufferLength) {
  if (!IsKnownOption(dwOption)) {
    SetLastError(ERROR_INTERNET_INVALID_OPTION);
    return FALSE;
  }
  if (!lpdwBufferLength) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!lpBuffer || *lpdwBufferLength < sizeof(DWORD)) {
    *lpdwBufferLength = sizeof(DWORD);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  DWORD value = 0;
  if (!hInternet) {
    if (dwOption == INTERNET_OPTION_HANDLE_TYPE) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    Timeouts defaults = DefaultTimeouts();
    value = *TimeoutField(defaults, dwOption);
  } else {
    std::shared_ptr<InternetObject> object = LookupInternetHandle(hInternet);
    if (!object) return FALSE;
    value = dwOption == INTERNET_OPTION_HANDLE_TYPE ? HandleTypeOf(object->Kind())
                                                    : *TimeoutField(object->GetTimeouts(), dwOption);
  }
  *static_cast<DWORD*>(lpBuffer) = value;
  *lpdwBufferLength = sizeof(DWORD);
  return TRUE;
}
