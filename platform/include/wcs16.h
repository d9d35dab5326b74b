// The C run-time's wide-string functions for UTF-16 (char16_t) text. On Windows these come
// from <wchar.h>, where wchar_t is 16 bits; here they are overloads, because Linux's wchar_t
// is 32 bits. Character classes and case mapping follow Unicode and never the process locale.
#pragma once

// The standard headers come first: their using-declarations must see only the C library's
// wchar_t functions, not these overloads.
#include <cstddef>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <string>

size_t wcslen(const char16_t* s);
size_t wcsnlen(const char16_t* s, size_t maxLen);
char16_t* wcscpy(char16_t* dst, const char16_t* src);
char16_t* wcsncpy(char16_t* dst, const char16_t* src, size_t n);
char16_t* wcscat(char16_t* dst, const char16_t* src);
char16_t* wcsncat(char16_t* dst, const char16_t* src, size_t n);
int wcscmp(const char16_t* a, const char16_t* b);
int wcsncmp(const char16_t* a, const char16_t* b, size_t n);
int _wcsicmp(const char16_t* a, const char16_t* b);
int _wcsnicmp(const char16_t* a, const char16_t* b, size_t n);
const char16_t* wcschr(const char16_t* s, char16_t c);
char16_t* wcschr(char16_t* s, char16_t c);
const char16_t* wcsrchr(const char16_t* s, char16_t c);
char16_t* wcsrchr(char16_t* s, char16_t c);
const char16_t* wcsstr(const char16_t* s, const char16_t* find);
char16_t* wcsstr(char16_t* s, const char16_t* find);
char16_t* _wcslwr(char16_t* s);
char16_t* _wcsupr(char16_t* s);

// Conversions as the C run-time does them: leading blanks, sign, base prefix for base 0 or 16,
// saturation on overflow; endPtr (when given) receives the first unread character.
long wcstol(const char16_t* s, char16_t** endPtr, int base);
unsigned long wcstoul(const char16_t* s, char16_t** endPtr, int base);
int _wtoi(const char16_t* s);
long _wtol(const char16_t* s);

// Character classes and case mapping of single UTF-16 units.
int iswalnum(char16_t c);
int iswalpha(char16_t c);
int iswdigit(char16_t c);
int iswxdigit(char16_t c);
int iswspace(char16_t c);
int iswupper(char16_t c);
int iswlower(char16_t c);
int iswpunct(char16_t c);
char16_t towlower(char16_t c);
char16_t towupper(char16_t c);
