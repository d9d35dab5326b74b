// The start-up hand-off to the other programs on the desktop: unless the second client is
// running, ask the telephone-box program chosen by "system"/"CC" to close its box.
#pragma once

#include <windows.h>

#include "app/Desktop.h"

namespace Umbra {

// The second client's window class; while one runs, the launcher neither hands off nor starts a
// client.
extern const LPCTSTR kSecondClientClass;

void HandOffAtStartup(IDesktop& desktop, LPCTSTR folder);

}  // namespace Umbra
