#pragma once

#include <windows.h>

#include "ui/core/UIString.h"

namespace Umbra {

class CZipSource;

// The per-window host: owns one native window's control tree and what its controls share.
//
// Sections (each implemented in its own source file):
//   process-wide settings  - UIHostSettings.cpp: module instance, skin folder and archive,
//                            colour shift; shared by every host, window and loader
class CUIHost {
 public:
  // ---- Process-wide settings ------------------------------------------------------------------
  // Set at start-up and while the first window is created; read by every loader. GUI thread.

  // Also registers the shadow window class.
  static void SetModuleInstance(HINSTANCE hInst);
  static HINSTANCE GetModuleInstance();
  // The module whose resources hold skin files; the module instance while none is set.
  static HINSTANCE GetResourceModule();
  // The module instance's folder with its final backslash; empty before SetModuleInstance.
  static CUIString GetModuleFolder();

  // A non-empty path always ends with '\' or '/': a backslash is appended when it has neither.
  static void SetSkinPath(LPCWSTR pStrPath);
  static const CUIString& GetSkinPath();

  // The skin archive, a file relative to the skin path. With cached set it is opened now and
  // kept open until the archive settings change.
  static void SetSkinArchive(LPCWSTR pStrArchive, bool bCached);
  // An archive image in memory, named "membuffer" and kept open; the block must outlive it.
  // Ignored while the archive name is already "membuffer".
  static void SetSkinArchiveMemory(const BYTE* pData, DWORD dwSize);
  static const CUIString& GetSkinArchiveName();
  static bool IsSkinArchiveCached();
  // The kept-open archive; null when none is kept or it could not be opened.
  static CZipSource* GetSkinArchiveHandle();

  // Hue, saturation and lightness by which controls shift their colours: fixed at 180, 100, 100.
  static void GetColorShift(short& H, short& S, short& L);
};

}  // namespace Umbra
