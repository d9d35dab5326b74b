// Message-cracking helpers: signed coordinates packed in an LPARAM.
#pragma once

#include <windows.h>

#define GET_X_LPARAM(lp) ((int)(short)LOWORD(lp))
#define GET_Y_LPARAM(lp) ((int)(short)HIWORD(lp))
