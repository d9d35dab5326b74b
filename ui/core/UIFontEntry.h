#pragma once

#include <windows.h>

#include "ui/core/UIString.h"

namespace Umbra {

// One font a host hands to its controls: the handle (owned by the host's font table) and the
// attributes it was made from, so that variants (bold, italic, underline) can be looked up.
struct UIFontEntry {
  HFONT font = nullptr;
  CUIString face;
  int size = 0;  // pixels
  bool bold = false;
  bool underline = false;
  bool italic = false;
  TEXTMETRICW metrics = {};  // tmHeight 0: not computed yet
};

}  // namespace Umbra
