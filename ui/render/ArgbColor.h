#pragma once

#include <windows.h>

namespace Umbra {

// The parts of a 0xAARRGGBB colour, the form skins and controls give colours in.
inline BYTE AlphaOf(DWORD color) { return static_cast<BYTE>(color >> 24); }
inline BYTE RedOf(DWORD color) { return static_cast<BYTE>(color >> 16); }
inline BYTE GreenOf(DWORD color) { return static_cast<BYTE>(color >> 8); }
inline BYTE BlueOf(DWORD color) { return static_cast<BYTE>(color); }

// The colour in the system's 0x00BBGGRR order; the alpha byte is dropped.
inline COLORREF ToColorRef(DWORD color) { return RGB(RedOf(color), GreenOf(color), BlueOf(color)); }

}  // namespace Umbra
