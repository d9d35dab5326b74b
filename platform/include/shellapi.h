// Shell functions of the stand-in.
#pragma once

#include <windef.h>

// ShellExecuteW's errors; any result above 32 is success.
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_SHARE 26
#define SE_ERR_ASSOCINCOMPLETE 27
#define SE_ERR_DDETIMEOUT 28
#define SE_ERR_DDEFAIL 29
#define SE_ERR_DDEBUSY 30
#define SE_ERR_NOASSOC 31
#define SE_ERR_DLLNOTFOUND 32

// The verb "open" (or none) hands a URL or a document to the desktop's default handler
// (xdg-open), without waiting for it. When the environment variable UMBRA_SHELL_LOG names a
// file, the call is appended to that file as one line instead, so that tests and headless runs
// can see it.
HINSTANCE WINAPI ShellExecuteW(HWND hwnd, LPCWSTR lpOperation, LPCWSTR lpFile, LPCWSTR lpParameters,
                               LPCWSTR lpDirectory, INT nShowCmd);
#define ShellExecute ShellExecuteW
