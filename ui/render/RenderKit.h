#pragma once

#include <windows.h>

#include <cstddef>

#include "ui/render/ImageEntry.h"

namespace Umbra {

class CGifHandler;

// Drawing helpers shared by every control: image loading now; image drawing, fills and text
// are added as their own sections.
//
// Sections (each implemented in its own source file):
//   image decoding  - ImageLoader.cpp: skin images and animation frames into pre-multiplied DIBs
class CRenderKit {
 public:
  // ---- Image decoding -------------------------------------------------------------------------

  // Images whose pixels would take more bytes than this are refused before decoding.
  static constexpr unsigned long long kMaxImageBytes = 0x40000000;  // 1 GiB

  // Loads a skin image: a module resource of the given type (name may be an integer
  // identifier), else a skin-relative file, else the name as a file path. Colours equal to
  // mask (0xAARRGGBB after pre-multiplication; 0 for none) become transparent. Null on failure.
  static UIImageEntry* LoadSkinImage(LPCWSTR name, LPCWSTR type, DWORD mask);
  // Loads every frame of an animated GIF found as LoadSkinImage would find it. Null when no
  // bytes could be read; a handler without frames when they are not a GIF.
  static CGifHandler* LoadAnimationFrames(LPCWSTR name, LPCWSTR type, DWORD mask);

  // The decoding steps of the two loaders, on bytes already in memory.
  static UIImageEntry* DecodeSkinImage(const BYTE* data, size_t size, DWORD mask);
  static CGifHandler* DecodeAnimationFrames(const BYTE* data, size_t size, DWORD mask);
};

}  // namespace Umbra
