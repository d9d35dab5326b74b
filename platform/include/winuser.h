// USER32 of the stand-in. This part: formatted output and character handling.
#pragma once

#include <stdarg.h>
#include <windef.h>

// Windows printf rules: %s and %c take UTF-16, %S/%hs/%C/%hc narrow; output stops at 1024 units.
int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...);
int WINAPI wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist);
#define wsprintf wsprintfW
#define wvsprintf wvsprintfW

// A character is one UTF-16 unit, or a surrogate pair.
LPWSTR WINAPI CharNextW(LPCWSTR lpsz);
LPWSTR WINAPI CharPrevW(LPCWSTR lpszStart, LPCWSTR lpszCurrent);
// Given a MAKEINTRESOURCE-style value (high word 0) these convert the single character instead.
LPWSTR WINAPI CharLowerW(LPWSTR lpsz);
LPWSTR WINAPI CharUpperW(LPWSTR lpsz);
DWORD WINAPI CharLowerBuffW(LPWSTR lpsz, DWORD cchLength);
DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength);
BOOL WINAPI IsCharAlphaW(WCHAR ch);
BOOL WINAPI IsCharAlphaNumericW(WCHAR ch);
BOOL WINAPI IsCharUpperW(WCHAR ch);
BOOL WINAPI IsCharLowerW(WCHAR ch);
#define CharNext CharNextW
#define CharPrev CharPrevW
#define CharLower CharLowerW
#define CharUpper CharUpperW
