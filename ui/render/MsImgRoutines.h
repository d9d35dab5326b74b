#pragma once

#include <windows.h>

namespace Umbra {

// The msimg32 routines image drawing and fills use. A process resolves them once; tests hand
// their own set to FillGradientWith to reach both the GradientFill and the solid-band paths.
struct MsImgRoutines {
  using GradientFillProc = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);
  using AlphaBlendProc = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);

  GradientFillProc gradientFill = nullptr;  // null: the gradient is drawn as solid bands
  AlphaBlendProc alphaBlend = nullptr;      // null is never handed out: SoftAlphaBlend stands in
};

// Looks the routines up now, in the loaded "msimg32.dll".
MsImgRoutines LookupMsImgRoutines();
// The routines looked up on first use, for the life of the process.
const MsImgRoutines& ResolvedMsImgRoutines();

// FillGradient with the given routines.
void FillGradientWith(const MsImgRoutines& procs, HDC hDC, const RECT& rc, DWORD color1, DWORD color2,
                      bool vertical, int steps);

}  // namespace Umbra
