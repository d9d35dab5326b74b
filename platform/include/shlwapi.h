// Shell light-weight utilities used by the library.
#pragma once

#include <stdarg.h>
#include <windef.h>

BOOL WINAPI PathFileExistsW(LPCWSTR pszPath);
#define PathFileExists PathFileExistsW

// Bounded forms of wsprintfW: at most cchDest - 1 units and a terminator are written.
int WINAPIV wnsprintfW(LPWSTR pszDest, int cchDest, LPCWSTR pszFmt, ...);
int WINAPI wvnsprintfW(LPWSTR pszDest, int cchDest, LPCWSTR pszFmt, va_list arglist);
