#pragma once

#include <windows.h>

#include "ui/core/UIString.h"

namespace Umbra {

// One decoded image: a 32-bit top-down DIB section whose pixels are blue, green, red, alpha
// with the colours pre-multiplied by alpha, so drawing can hand it to AlphaBlend directly.
// Its owner (the host's image table or a CGifHandler) deletes the bitmap, then the entry.
struct UIImageEntry {
  HBITMAP bitmap = nullptr;
  int width = 0;
  int height = 0;
  int frameDelay = 0;     // milliseconds; animation frames only
  bool hasAlpha = false;  // some pixel is not opaque or was cleared by the mask colour
  CUIString resType;      // recorded by the host's image table
  DWORD maskColor = 0;    // recorded by the host's image table
};

// Deletes the entry's bitmap and then the entry; null does nothing.
void FreeImageEntry(UIImageEntry* entry);

}  // namespace Umbra
