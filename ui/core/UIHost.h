#pragma once

#include <windows.h>

#include "ui/core/UIFontEntry.h"
#include "ui/core/UIPtrArray.h"
#include "ui/core/UIString.h"
#include "ui/core/UIStringMap.h"

namespace Umbra {

class CZipSource;
struct UIImageEntry;

// The per-window host: owns one native window's control tree and what its controls share.
//
// Sections (each implemented in its own source file):
//   process-wide settings  - UIHostSettings.cpp: module instance, skin folder and archive,
//                            colour shift; shared by every host, window and loader
//   shared resources       - UIHostResources.cpp: window attachment, default colours, fonts,
//                            images and default attribute lists, with the parent host chain
class CUIHost {
 public:
  CUIHost();
  ~CUIHost();
  CUIHost(const CUIHost&) = delete;
  CUIHost& operator=(const CUIHost&) = delete;

  // ---- Window ---------------------------------------------------------------------------------

  // Stores the window, takes its paint DC and enters the host in the live hosts.
  void AttachWindow(HWND hWnd);
  HWND GetWindowHandle() const { return m_hWnd; }
  HDC GetHostDC() const { return m_hPaintDC; }
  // Client coordinates of the last mouse message; -1, -1 before any.
  POINT GetLastMousePoint() const { return m_lastMousePoint; }
  void SetLastMousePoint(POINT pt) { m_lastMousePoint = pt; }

  // Every host that has a window, in the order they were attached.
  static int GetLiveHostCount();
  static CUIHost* GetLiveHost(int index);

  // ---- Parent resource host and default colours -----------------------------------------------

  // Null clears the parent; a parent whose chain already holds this host is refused (false).
  bool SetResourceParent(CUIHost* parent);
  CUIHost* GetResourceParent() const { return m_resourceParent; }

  // Colours are 0xAARRGGBB. Each getter answers with the outermost host of the parent chain.
  DWORD GetDisabledColor() const;
  DWORD GetDefaultTextColor() const;
  DWORD GetLinkColor() const;
  DWORD GetLinkHoverColor() const;
  DWORD GetSelectedBackColor() const;
  void SetDisabledColor(DWORD color) { m_disabledColor = color; }
  void SetDefaultTextColor(DWORD color) { m_defaultTextColor = color; }
  void SetLinkColor(DWORD color) { m_linkColor = color; }
  void SetLinkHoverColor(DWORD color) { m_linkHoverColor = color; }
  void SetSelectedBackColor(DWORD color) { m_selectedBackColor = color; }

  // ---- Fonts ------------------------------------------------------------------------------------

  // Fonts are made from DEFAULT_GUI_FONT with the face (at most 32 units), height -size and
  // the styles. A failed creation changes nothing.
  void SetDefaultFont(LPCWSTR face, int size, bool bold, bool underline, bool italic);
  // Appends a font; its index is the font number skins use. Null when creation fails.
  HFONT AddFont(LPCWSTR face, int size, bool bold, bool underline, bool italic);
  // An index outside the table gives the default font of the outermost host.
  HFONT GetFont(int index);
  // A font of this host or a parent equal in all five attributes (face case-sensitive); null.
  HFONT LookupFont(LPCWSTR face, int size, bool bold, bool underline, bool italic);
  // The entry with its metrics computed; outside the table, or a handle no host of the chain
  // holds, gives the outermost host's default font entry.
  UIFontEntry* GetFontInfo(int index);
  UIFontEntry* GetFontInfo(HFONT hFont);
  int GetFontCount() const { return m_fonts.GetSize(); }
  void ClearFonts();

  // ---- Images -----------------------------------------------------------------------------------

  // Loads an image and stores it under name. With a type, name must begin with a decimal
  // number, the resource identifier. Null when loading fails or the name is already present.
  UIImageEntry* AddImage(LPCWSTR name, LPCWSTR type = nullptr, DWORD mask = 0);
  // The stored image from this host or a parent; null.
  UIImageEntry* GetImage(LPCWSTR name);
  // This host's stored image, loaded on first request; later requests get the same entry
  // whatever type and mask they give.
  UIImageEntry* GetOrLoadImage(LPCWSTR name, LPCWSTR type = nullptr, DWORD mask = 0);
  void ClearImages();

  // ---- Default attribute lists ------------------------------------------------------------------

  // The first list stored for a class name stays.
  void AddClassDefaults(LPCWSTR className, LPCWSTR attributeList);
  // From this host, else from the parents in order; null when none has it.
  LPCWSTR GetClassDefaults(LPCWSTR className) const;
  void ClearClassDefaults();

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

 private:
  const CUIHost* Outermost() const;
  UIFontEntry* MakeFontEntry(LPCWSTR face, int size, bool bold, bool underline, bool italic);
  void EnsureMetrics(UIFontEntry* entry) const;

  HWND m_hWnd = nullptr;
  HDC m_hPaintDC = nullptr;
  POINT m_lastMousePoint = {-1, -1};
  CUIHost* m_resourceParent = nullptr;
  DWORD m_disabledColor = 0xFFA7A6AA;
  DWORD m_defaultTextColor = 0xFF000000;
  DWORD m_linkColor = 0xFF0000FF;
  DWORD m_linkHoverColor = 0xFFD3215F;
  DWORD m_selectedBackColor = 0xFFBAE4FF;
  UIFontEntry m_defaultFont;
  CUIPtrArray m_fonts;            // owned UIFontEntry
  CUIStringMap m_images{83};      // owned UIImageEntry
  CUIStringMap m_classDefaults{83};  // owned CUIString
};

}  // namespace Umbra
