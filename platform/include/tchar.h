// Generic-text mappings; this stand-in always builds for Unicode (UTF-16).
#pragma once

#include <windef.h>

#define __T(s) u##s
#define _T(s) __T(s)
#define _TEXT(s) __T(s)
