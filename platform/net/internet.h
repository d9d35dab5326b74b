// The WinINet handle tree: sessions, connections and requests, each behind an HINTERNET.
// A child copies what it needs from its parent when it is made, so objects never point at
// each other; the tree is kept only so that closing a handle also closes its children.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <memory>
#include <string>

namespace umbra::net {

// Milliseconds; kNoLimit waits as long as it takes.
struct Timeouts {
  static constexpr DWORD kNoLimit = 0xFFFFFFFF;
  DWORD connectMs = 60000;
  DWORD sendMs = 30000;
  DWORD receiveMs = 30000;
};

// The time-outs new sessions start with (InternetSetOptionA with a null handle changes them).
Timeouts DefaultTimeouts();
void SetDefaultTimeouts(const Timeouts& timeouts);

enum class HandleKind { kSession, kConnection, kRequest };

class InternetObject {
 public:
  InternetObject(HandleKind kind, const Timeouts& timeouts) : m_kind(kind), m_timeouts(timeouts) {}
  virtual ~InternetObject() = default;

  HandleKind Kind() const { return m_kind; }
  Timeouts& GetTimeouts() { return m_timeouts; }
  const Timeouts& GetTimeouts() const { return m_timeouts; }

  // Set when the handle is closed, so that a call still running on it (on another thread)
  // gives up instead of waiting for its time-out.
  bool IsClosed() const { return m_closed.load(); }
  void MarkClosed() { m_closed.store(true); }

 private:
  HandleKind m_kind;
  Timeouts m_timeouts;
  std::atomic<bool> m_closed{false};
};

// What InternetOpenA set, handed down to every connection and request of the session.
struct SessionSettings {
  std::string agent;
  DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG;
  std::string proxy;
  std::string proxyBypass;
};

struct SessionObject final : InternetObject {
  using InternetObject::InternetObject;
  SessionSettings settings;
};

struct ConnectionObject final : InternetObject {
  explicit ConnectionObject(const SessionObject& session)
      : InternetObject(HandleKind::kConnection, session.GetTimeouts()), settings(session.settings) {}
  SessionSettings settings;
  std::string host;
  INTERNET_PORT port = INTERNET_INVALID_PORT_NUMBER;
};

// Made by HttpOpenRequestA (request.cpp), which owns the transfer state.
std::shared_ptr<InternetObject> MakeRequest(const ConnectionObject& connection, LPCSTR verb, LPCSTR object,
                                            LPCSTR version, LPCSTR referrer, LPCSTR* acceptTypes,
                                            DWORD flags);

// ---- The handle table ------------------------------------------------------------------------

HINTERNET RegisterInternetHandle(std::shared_ptr<InternetObject> object, HINTERNET parent);

// The object behind a handle of the given kind; null with ERROR_INVALID_HANDLE for an unknown
// handle and ERROR_INTERNET_INCORRECT_HANDLE_TYPE for a handle of another kind.
std::shared_ptr<InternetObject> LookupInternetHandle(HINTERNET handle);
std::shared_ptr<InternetObject> LookupInternetHandle(HINTERNET handle, HandleKind kind);

template <typename T>
std::shared_ptr<T> LookupInternetHandleAs(HINTERNET handle, HandleKind kind) {
  return std::static_pointer_cast<T>(LookupInternetHandle(handle, kind));
}

}  // namespace umbra::net
