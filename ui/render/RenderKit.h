#pragma once

#include <windows.h>

#include <cstddef>

#include "ui/core/UIString.h"
#include "ui/render/ImageDescriptor.h"
#include "ui/render/ImageEntry.h"

namespace Umbra {

class CGifHandler;
class CUIHost;

// Drawing helpers shared by every control.
//
// Sections (each implemented in its own source file):
//   image decoding  - ImageLoader.cpp: skin images and animation frames into pre-multiplied DIBs
//   image drawing   - ImageDraw.cpp: descriptors, nine-grid blits, tiling, fade, hole
//   fills           - Fills.cpp: colours, gradients, strokes; ColorHsl.cpp: the HSL shift
//   text            - PlainText.cpp and MarkupText.cpp: DrawTextW and the one-letter markup
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

  // ---- Image drawing ----------------------------------------------------------------------------

  // Draws the images a descriptor (and then an optional modifier) names, resolved through the
  // host's image table. False when the DC or host is missing or the last image cannot be had.
  static bool DrawDescriptor(HDC hDC, CUIHost* host, const RECT& rcItem, const RECT& rcPaint,
                             LPCWSTR descriptor, LPCWSTR modifier = nullptr);
  // Draws one image of a complete descriptor state. False for an empty name or missing image.
  static bool DrawDescriptorImage(HDC hDC, CUIHost* host, const RECT& rcItem, const RECT& rcPaint,
                                  const UIImageDescriptor& state);
  // Puts the source part of a pre-multiplied bitmap into rcDest: corners 1:1, edges and centre
  // stretched or tiled, the centre left out for a hole. Only pieces meeting rcPaint are drawn.
  static void BlitImage(HDC hDC, HBITMAP hBitmap, const RECT& rcDest, const RECT& rcPaint,
                        const RECT& rcSource, const RECT& rcCorners, bool alpha, BYTE fade = 255,
                        bool hole = false, bool xtiled = false, bool ytiled = false);
  // Blends like AlphaBlend; used where AlphaBlend cannot be found.
  static BOOL WINAPI SoftAlphaBlend(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc,
                                    int xSrc, int ySrc, int wSrc, int hSrc, BLENDFUNCTION blend);

  // ---- Fills, gradients and strokes -------------------------------------------------------------

  // Colours are 0xAARRGGBB; alpha 0 draws nothing, below 255 blends.
  static void FillColor(HDC hDC, const RECT& rc, DWORD color);
  // color1 at the top (vertical) or left, color2 at the bottom or right.
  static void FillGradient(HDC hDC, const RECT& rc, DWORD color1, DWORD color2, bool vertical, int steps);
  // A line from rc's top-left to its bottom-right corner.
  static void StrokeLine(HDC hDC, const RECT& rc, int width, DWORD color, int style = PS_SOLID);
  static void StrokeRect(HDC hDC, const RECT& rc, int width, DWORD color);
  static void StrokeRoundRect(HDC hDC, const RECT& rc, int width, int cornerWidth, int cornerHeight,
                              DWORD color);

  // Shifts hue (degrees, 180 neutral), scales saturation and lightness (percent, 100 neutral).
  static DWORD AdjustColorHsl(DWORD color, short H, short S, short L);
  static void RgbToHsl(DWORD color, float* H, float* S, float* L);
  // Writes red, green and blue; the alpha byte of *color stays.
  static void HslToRgb(DWORD* color, float H, float S, float L);

  // ---- Text ------------------------------------------------------------------------------------

  // DrawTextW with the host's font of that index, transparent, always DT_NOPREFIX.
  static void DrawPlainText(HDC hDC, CUIHost* host, RECT& rc, LPCWSTR text, DWORD color, int font,
                            UINT style);
  // Draws (or with DT_CALCRECT measures) text with the one-letter markup. linkRects and
  // linkTexts may be null; linkCount is their capacity in and the links laid out out.
  static void DrawMarkupText(HDC hDC, CUIHost* host, RECT& rc, LPCWSTR text, DWORD color, RECT* linkRects,
                             CUIString* linkTexts, int& linkCount, UINT style);
};

}  // namespace Umbra
