// The msimg32 routines (AlphaBlend, GradientFill), found the way a Windows program finds them in
// the loaded module; SoftAlphaBlend stands in when AlphaBlend cannot be found.
#include "ui/render/MsImgRoutines.h"

#include "ui/render/RenderKit.h"

namespace Umbra {

namespace {

// GetProcAddress returns a generic function pointer; going through void(*)() tells the compiler
// the change of type is meant.
template <typename Proc>
Proc ProcFrom(FARPROC proc) {
  return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace

MsImgRoutines LookupMsImgRoutines() {
  MsImgRoutines procs;
  if (HMODULE module = GetModuleHandleW(TEXT("msimg32.dll"))) {
    procs.gradientFill = ProcFrom<MsImgRoutines::GradientFillProc>(GetProcAddress(module, "GradientFill"));
    procs.alphaBlend = ProcFrom<MsImgRoutines::AlphaBlendProc>(GetProcAddress(module, "AlphaBlend"));
  }
  if (!procs.alphaBlend) procs.alphaBlend = &CRenderKit::SoftAlphaBlend;
  return procs;
}

const MsImgRoutines& ResolvedMsImgRoutines() {
  static const MsImgRoutines procs = LookupMsImgRoutines();
  return procs;
}

}  // namespace Umbra
