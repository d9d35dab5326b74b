// GDI+ of the stand-in: the flat calls the label's text effects use. Start-up and shut-down,
// graphics over an HDC, fonts from a LOGFONT or a DC, string formats with alignment, solid and
// linear-gradient brushes, and DrawString, rasterised anti-aliased onto the DC's pixels.
//
// Types live in namespace Gdiplus and the flat calls in Gdiplus::DllExports.
#pragma once

#include <windef.h>
#include <wingdi.h>

typedef WORD LANGID;

namespace Gdiplus {

typedef float REAL;
typedef DWORD ARGB;

enum Status {
  Ok = 0,
  GenericError = 1,
  InvalidParameter = 2,
  OutOfMemory = 3,
  ObjectBusy = 4,
  InsufficientBuffer = 5,
  NotImplemented = 6,
  Win32Error = 7,
  WrongState = 8,
  Aborted = 9,
  FileNotFound = 10,
  ValueOverflow = 11,
  AccessDenied = 12,
  UnknownImageFormat = 13,
  FontFamilyNotFound = 14,
  FontStyleNotFound = 15,
  NotTrueTypeFont = 16,
  UnsupportedGdiplusVersion = 17,
  GdiplusNotInitialized = 18,
  PropertyNotFound = 19,
  PropertyNotSupported = 20,
  ProfileNotFound = 21
};
typedef Status GpStatus;

enum TextRenderingHint {
  TextRenderingHintSystemDefault = 0,
  TextRenderingHintSingleBitPerPixelGridFit = 1,
  TextRenderingHintSingleBitPerPixel = 2,
  TextRenderingHintAntiAliasGridFit = 3,
  TextRenderingHintAntiAlias = 4,
  TextRenderingHintClearTypeGridFit = 5
};

enum StringAlignment { StringAlignmentNear = 0, StringAlignmentCenter = 1, StringAlignmentFar = 2 };

enum WrapMode {
  WrapModeTile = 0,
  WrapModeTileFlipX = 1,
  WrapModeTileFlipY = 2,
  WrapModeTileFlipXY = 3,
  WrapModeClamp = 4
};
typedef WrapMode GpWrapMode;

class Point {
 public:
  Point() : X(0), Y(0) {}
  Point(INT x, INT y) : X(x), Y(y) {}
  INT X;
  INT Y;
};
typedef Point GpPoint;

class RectF {
 public:
  RectF() : X(0), Y(0), Width(0), Height(0) {}
  RectF(REAL x, REAL y, REAL width, REAL height) : X(x), Y(y), Width(width), Height(height) {}
  REAL X;
  REAL Y;
  REAL Width;
  REAL Height;
};
typedef RectF GpRectF;

typedef void(WINAPI* DebugEventProc)(int level, CHAR* message);
typedef Status(WINAPI* NotificationHookProc)(ULONG_PTR* token);
typedef void(WINAPI* NotificationUnhookProc)(ULONG_PTR token);

struct GdiplusStartupInput {
  GdiplusStartupInput(DebugEventProc callback = nullptr, BOOL suppressBackgroundThread = FALSE,
                      BOOL suppressExternalCodecs = FALSE)
      : GdiplusVersion(1),
        DebugEventCallback(callback),
        SuppressBackgroundThread(suppressBackgroundThread),
        SuppressExternalCodecs(suppressExternalCodecs) {}
  UINT GdiplusVersion;
  DebugEventProc DebugEventCallback;
  BOOL SuppressBackgroundThread;
  BOOL SuppressExternalCodecs;
};

struct GdiplusStartupOutput {
  NotificationHookProc NotificationHook;
  NotificationUnhookProc NotificationUnhook;
};

// Opaque objects of the flat calls. Brushes form a hierarchy so that any brush may be passed
// where a GpBrush is expected.
class GpGraphics;
class GpFont;
class GpStringFormat;
class GpBrush {
 protected:
  GpBrush() = default;
};
class GpSolidFill : public GpBrush {
 protected:
  GpSolidFill() = default;
};
class GpLineGradient : public GpBrush {
 protected:
  GpLineGradient() = default;
};

// Version 1 only. Every successful start-up needs its shut-down with the token it returned;
// the other calls answer GdiplusNotInitialized while no start-up is active.
extern "C" Status WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input,
                                        GdiplusStartupOutput* output);
extern "C" void WINAPI GdiplusShutdown(ULONG_PTR token);

namespace DllExports {
extern "C" {

GpStatus WINAPI GdipCreateFromHDC(HDC hdc, GpGraphics** graphics);
GpStatus WINAPI GdipDeleteGraphics(GpGraphics* graphics);
GpStatus WINAPI GdipSetTextRenderingHint(GpGraphics* graphics, TextRenderingHint mode);

GpStatus WINAPI GdipCreateFontFromLogfontA(HDC hdc, const LOGFONTA* logfont, GpFont** font);
GpStatus WINAPI GdipCreateFontFromLogfontW(HDC hdc, const LOGFONTW* logfont, GpFont** font);
// The font selected into the DC.
GpStatus WINAPI GdipCreateFontFromDC(HDC hdc, GpFont** font);
GpStatus WINAPI GdipDeleteFont(GpFont* font);

GpStatus WINAPI GdipCreateStringFormat(INT formatAttributes, LANGID language, GpStringFormat** format);
GpStatus WINAPI GdipDeleteStringFormat(GpStringFormat* format);
GpStatus WINAPI GdipSetStringFormatAlign(GpStringFormat* format, StringAlignment align);
GpStatus WINAPI GdipSetStringFormatLineAlign(GpStringFormat* format, StringAlignment align);

GpStatus WINAPI GdipCreateSolidFill(ARGB color, GpSolidFill** brush);
GpStatus WINAPI GdipCreateLineBrushI(const GpPoint* point1, const GpPoint* point2, ARGB color1, ARGB color2,
                                     GpWrapMode wrapMode, GpLineGradient** lineGradient);
GpStatus WINAPI GdipDeleteBrush(GpBrush* brush);

// Draws `length` units of text (-1: up to the terminating NUL) in the layout rectangle, wrapped at
// blanks to its width and clipped to it; a zero width or height leaves that direction unbounded.
GpStatus WINAPI GdipDrawString(GpGraphics* graphics, const WCHAR* string, INT length, const GpFont* font,
                               const RectF* layoutRect, const GpStringFormat* stringFormat,
                               const GpBrush* brush);

}  // extern "C"
}  // namespace DllExports

}  // namespace Gdiplus
