#pragma once

#include <windows.h>

#include "ui/core/UIRect.h"
#include "ui/core/UIString.h"

namespace Umbra {

// The state an image descriptor such as "file='btn.png' source='0,0,80,30' corner='4,4,4,4'"
// builds while it is read: which image to draw and how.
struct UIImageDescriptor {
  CUIString name;     // image name, or a decimal resource identifier with a resource type
  CUIString resType;  // empty: none
  UIRect dest;        // destination; the item rectangle by default
  UIRect source;      // part of the image; 0,0,0,0 is the whole image
  UIRect corner;      // fixed left, top, right, bottom borders
  DWORD mask = 0;     // colour made transparent when the image is first loaded
  BYTE fade = 255;
  bool hole = false;
  bool xtiled = false;
  bool ytiled = false;
};

// Called when a descriptor names a further image: state still describes the image before it,
// which is drawn first.
using UIImageBoundaryFn = void (*)(const UIImageDescriptor& state, void* context);

// Reads one descriptor string (pairs key='value') into state, in place: fields it does not name
// keep their values. "dest" is relative to rcItem and limited to its right and bottom. A "file"
// after the first "file" or "restype" of this string, or a "restype" after either, first calls
// onImage (null: ignored). Null text reads nothing.
void ParseImageDescriptor(LPCWSTR text, const RECT& rcItem, UIImageDescriptor& state,
                          UIImageBoundaryFn onImage = nullptr, void* context = nullptr);

}  // namespace Umbra
