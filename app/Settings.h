// The launcher's settings file, "config.ini" beside its executable, and the start-up step that
// reads it: the optional sweep of the client's cache folder and the filling of the form.
//
// Keys: "user" company, username, password (the last server reply), cname, cpwd, id;
// "system" CLEARCACHE, CC (read at start-up, set by the clients), SkinVer, server (the login
// server's address). Only the integer value 1 switches a flag on.
#pragma once

#include <windows.h>

#include "app/LoginForm.h"
#include "ui/core/UIString.h"

namespace Umbra {

// String values are read into buffers of this many characters, terminator included, so at
// most 254 characters of a longer value are seen.
constexpr DWORD kSettingBufferSize = 255;

// The folder of the running executable, without a trailing backslash.
CUIString GetExecutableFolder();

// "<folder>\config.ini".
CUIString SettingsPathIn(LPCTSTR folder);

// Reads the saved account from the settings file in 'folder', sweeps "<folder>\caches\" when
// "CLEARCACHE" is 1 (and resets it to "0"), fills the form from the account as "cname" and
// "cpwd" ask, and sets the form's saved-password flag.
void LoadStartupSettings(ILoginForm& form, LPCTSTR folder);

// Deletes the files directly in "<folder>\caches\"; subfolders stay, failures are skipped.
void SweepCacheFolder(LPCTSTR folder);

}  // namespace Umbra
