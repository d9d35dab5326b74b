// The login: checks the three fields, posts them to the login server, shows the verdict in the
// status line, and on success stores the account, starts the client and ends the launcher.
#pragma once

#include <windows.h>

#include "app/Desktop.h"
#include "app/LoginForm.h"

namespace Umbra {

// Runs synchronously. 'folder' is the launcher's folder (GetExecutableFolder): its
// "config.ini" holds the settings and the clients "Quorvel.exe" and "Velmora.exe" sit there.
void StartLogin(ILoginForm& form, IDesktop& desktop, LPCTSTR folder);

}  // namespace Umbra
