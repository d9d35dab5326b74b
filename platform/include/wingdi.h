// GDI of the stand-in. This part: the object handle calls shared by every GDI object, regions,
// and the blend description used by layered windows. Regions are pixman regions; a rectangle
// covers its left and top edges but not its right and bottom ones, as on Windows.
#pragma once

#include <windef.h>

// Object types, as GetObjectType reports them.
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_METADC 4
#define OBJ_PAL 5
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_REGION 8
#define OBJ_METAFILE 9
#define OBJ_MEMDC 10
#define OBJ_EXTPEN 11
#define OBJ_ENHMETADC 12
#define OBJ_ENHMETAFILE 13
#define OBJ_COLORSPACE 14

BOOL WINAPI DeleteObject(HGDIOBJ ho);
DWORD WINAPI GetObjectType(HGDIOBJ h);

// ---- Regions --------------------------------------------------------------------------------------
#define ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3
#define RGN_ERROR ERROR

#define RGN_AND 1
#define RGN_OR 2
#define RGN_XOR 3
#define RGN_DIFF 4
#define RGN_COPY 5
#define RGN_MIN RGN_AND
#define RGN_MAX RGN_COPY

HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2);
HRGN WINAPI CreateRectRgnIndirect(const RECT* lprect);
BOOL WINAPI SetRectRgn(HRGN hrgn, int left, int top, int right, int bottom);
int WINAPI CombineRgn(HRGN hrgnDst, HRGN hrgnSrc1, HRGN hrgnSrc2, int iMode);
int WINAPI OffsetRgn(HRGN hrgn, int x, int y);
BOOL WINAPI PtInRegion(HRGN hrgn, int x, int y);
BOOL WINAPI RectInRegion(HRGN hrgn, const RECT* lprect);
int WINAPI GetRgnBox(HRGN hrgn, LPRECT lprc);
BOOL WINAPI EqualRgn(HRGN hrgn1, HRGN hrgn2);

// ---- Blending ---------------------------------------------------------------------------------------
#define AC_SRC_OVER 0x00
#define AC_SRC_ALPHA 0x01

typedef struct _BLENDFUNCTION {
  BYTE BlendOp;
  BYTE BlendFlags;
  BYTE SourceConstantAlpha;
  BYTE AlphaFormat;
} BLENDFUNCTION, *PBLENDFUNCTION;
