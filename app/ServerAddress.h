// The login server's address: "system"/"server" in the settings file, else the default built
// into the program. The value is a host name, "host:port", or a URL with "http://" or
// "https://" (a path, if any, must be "/"); https is TLS with certificate verification.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>
#include <string_view>

#include "ui/core/UIString.h"

namespace Umbra {

struct LoginServerAddress {
  std::string host;  // a name or address, IPv6 without brackets
  INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
  bool secure = false;
};

// False for text that is not such an address (unknown scheme, user info, bad port, characters
// a host cannot have).
bool ParseServerAddress(std::u16string_view text, LoginServerAddress& address);

// The address configured in the settings file at 'settingsPath', or the built-in default when
// the key is absent or empty; false when the configured value is not an address.
bool ReadServerAddress(LPCTSTR settingsPath, LoginServerAddress& address);

// The registration page on the same server: "http(s)://host[:port]/reg.php".
CUIString RegistrationUrl(const LoginServerAddress& address);

}  // namespace Umbra
