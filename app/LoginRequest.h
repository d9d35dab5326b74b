// The login request: the form body and its one HTTP POST to the login server.
#pragma once

#include <windows.h>

#include <string>

#include "app/ServerAddress.h"
#include "ui/core/UIString.h"

namespace Umbra {

struct LoginValues {
  CUIString company;
  CUIString name;
  CUIString password;  // as typed
  int savedPasswordFlag = 0;
  CUIString savedPassword;  // "user"/"password" of the settings file
};

// "com=..&name=..&pwd=..&ver=7200&entype=des&pwdtype=..&despwd=..". Each value is taken in the
// ANSI code page and percent-encoded except for letters, digits and "-._~", so that "&", "=",
// "+" and "%" in a password reach the server unchanged; plain values go byte for byte.
std::string BuildLoginBody(const LoginValues& values);

// Posts the body to "/loginPCdes.php" on the server and makes the one read of the reply (at most
// 1024 bytes). False when the read failed, for whatever reason the exchange broke down; the
// Internet handles are closed on every path.
bool PostLogin(const LoginServerAddress& server, const std::string& body, std::string& reply);

}  // namespace Umbra
