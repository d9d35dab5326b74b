// Shell special folders. On Linux the local application-data folder is the XDG data folder:
// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share, given in Windows form.
#pragma once

#include <windef.h>

#define CSIDL_LOCAL_APPDATA 0x001C
#define CSIDL_FLAG_CREATE 0x8000

BOOL WINAPI SHGetSpecialFolderPathW(HWND hwnd, LPWSTR pszPath, int csidl, BOOL fCreate);
#define SHGetSpecialFolderPath SHGetSpecialFolderPathW
