// The resources a host shares with its controls: the window it draws on, default colours,
// fonts, decoded images and default attribute lists. Fonts, images and defaults are also
// looked up through the chain of parent resource hosts; colours come from its outermost host.
#include <tchar.h>

#include "ui/core/UIHost.h"
#include "ui/render/ImageEntry.h"
#include "ui/render/RenderKit.h"

namespace Umbra {
namespace {

CUIPtrArray& LiveHosts() {
  static CUIPtrArray* hosts = new CUIPtrArray;  // lives as long as the process
  return *hosts;
}

// The LOGFONTW every host font starts from, so unnamed attributes match the system's UI font.
LOGFONTW BaseLogFont(LPCWSTR face, int size, bool bold, bool underline, bool italic) {
  LOGFONTW lf = {};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
  if (face) lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfHeight = -size;
  if (bold) lf.lfWeight += FW_BOLD;
  lf.lfUnderline = underline ? TRUE : FALSE;
  lf.lfItalic = italic ? TRUE : FALSE;
  return lf;
}

bool SameFont(const UIFontEntry& entry, LPCWSTR face, int size, bool bold, bool underline, bool italic) {
  return entry.face == (face ? face : _T("")) && entry.size == size && entry.bold == bold &&
         entry.underline == underline && entry.italic == italic;
}

// A leading decimal number, the way resource identifiers are written in skins; -1 without one.
int LeadingResourceId(LPCWSTR name) {
  if (!name || name[0] < _T('0') || name[0] > _T('9')) return -1;
  unsigned id = 0;
  for (; *name >= _T('0') && *name <= _T('9'); ++name) {
    id = id * 10 + static_cast<unsigned>(*name - _T('0'));
    if (id > 0xFFFF) return -1;  // not an identifier a resource can have
  }
  return static_cast<int>(id);
}

}  // namespace

// ---- Life ---------------------------------------------------------------------------------------

CUIHost::CUIHost() {
  LOGFONTW lf = {};
  m_defaultFont.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  GetObjectW(m_defaultFont.font, sizeof(lf), &lf);
  lf.lfCharSet = DEFAULT_CHARSET;
  // A private copy: the default font is deleted with the host, and stock objects must not be.
  HFONT own = CreateFontIndirectW(&lf);
  if (own) m_defaultFont.font = own;
  m_defaultFont.face = lf.lfFaceName;
  m_defaultFont.size = -lf.lfHeight;
  m_defaultFont.bold = lf.lfWeight >= FW_BOLD;
  m_defaultFont.underline = lf.lfUnderline != 0;
  m_defaultFont.italic = lf.lfItalic != 0;
}

CUIHost::~CUIHost() {
  DeleteObject(m_defaultFont.font);  // a stock font ignores this
  ClearFonts();
  ClearImages();
  ClearClassDefaults();
  if (m_hPaintDC) ReleaseDC(m_hWnd, m_hPaintDC);
  CUIPtrArray& live = LiveHosts();
  const int index = live.Find(this);
  if (index >= 0) live.RemoveAt(index);
}

// ---- Window -------------------------------------------------------------------------------------

void CUIHost::AttachWindow(HWND hWnd) {
  if (m_hPaintDC) ReleaseDC(m_hWnd, m_hPaintDC);
  m_hWnd = hWnd;
  m_hPaintDC = hWnd ? GetDC(hWnd) : nullptr;
  CUIPtrArray& live = LiveHosts();
  if (live.Find(this) < 0) live.Add(this);
}

int CUIHost::GetLiveHostCount() { return LiveHosts().GetSize(); }

CUIHost* CUIHost::GetLiveHost(int index) { return static_cast<CUIHost*>(LiveHosts().GetAt(index)); }

// ---- Parent resource host and default colours ---------------------------------------------------

bool CUIHost::SetResourceParent(CUIHost* parent) {
  for (const CUIHost* host = parent; host; host = host->m_resourceParent) {
    if (host == this) return false;
  }
  m_resourceParent = parent;
  return true;
}

const CUIHost* CUIHost::Outermost() const {
  const CUIHost* host = this;
  while (host->m_resourceParent) host = host->m_resourceParent;
  return host;
}

DWORD CUIHost::GetDisabledColor() const { return Outermost()->m_disabledColor; }
DWORD CUIHost::GetDefaultTextColor() const { return Outermost()->m_defaultTextColor; }
DWORD CUIHost::GetLinkColor() const { return Outermost()->m_linkColor; }
DWORD CUIHost::GetLinkHoverColor() const { return Outermost()->m_linkHoverColor; }
DWORD CUIHost::GetSelectedBackColor() const { return Outermost()->m_selectedBackColor; }

// ---- Fonts --------------------------------------------------------------------------------------

UIFontEntry* CUIHost::MakeFontEntry(LPCWSTR face, int size, bool bold, bool underline, bool italic) {
  const LOGFONTW lf = BaseLogFont(face, size, bold, underline, italic);
  HFONT font = CreateFontIndirectW(&lf);
  if (!font) return nullptr;
  UIFontEntry* entry = new UIFontEntry;
  entry->font = font;
  entry->face = face ? face : _T("");
  entry->size = size;
  entry->bold = bold;
  entry->underline = underline;
  entry->italic = italic;
  if (m_hPaintDC) EnsureMetrics(entry);
  return entry;
}

// Without a paint DC a screen-compatible DC measures: the metrics do not depend on the DC, and
// a host that draws only into memory still needs them.
void CUIHost::EnsureMetrics(UIFontEntry* entry) const {
  if (entry->metrics.tmHeight != 0) return;
  HDC dc = m_hPaintDC ? m_hPaintDC : CreateCompatibleDC(nullptr);
  if (!dc) return;
  HGDIOBJ old = SelectObject(dc, entry->font);
  GetTextMetricsW(dc, &entry->metrics);
  SelectObject(dc, old);
  if (dc != m_hPaintDC) DeleteDC(dc);
}

void CUIHost::SetDefaultFont(LPCWSTR face, int size, bool bold, bool underline, bool italic) {
  UIFontEntry* entry = MakeFontEntry(face, size, bold, underline, italic);
  if (!entry) return;
  DeleteObject(m_defaultFont.font);
  m_defaultFont = *entry;
  delete entry;
}

HFONT CUIHost::AddFont(LPCWSTR face, int size, bool bold, bool underline, bool italic) {
  UIFontEntry* entry = MakeFontEntry(face, size, bold, underline, italic);
  if (!entry) return nullptr;
  if (!m_fonts.Add(entry)) {
    DeleteObject(entry->font);
    delete entry;
    return nullptr;
  }
  return entry->font;
}

HFONT CUIHost::GetFont(int index) {
  if (index >= 0 && index < m_fonts.GetSize()) return static_cast<UIFontEntry*>(m_fonts[index])->font;
  return Outermost()->m_defaultFont.font;
}

HFONT CUIHost::LookupFont(LPCWSTR face, int size, bool bold, bool underline, bool italic) {
  for (CUIHost* host = this; host; host = host->m_resourceParent) {
    for (int i = 0; i < host->m_fonts.GetSize(); ++i) {
      const UIFontEntry* entry = static_cast<UIFontEntry*>(host->m_fonts[i]);
      if (SameFont(*entry, face, size, bold, underline, italic)) return entry->font;
    }
  }
  return nullptr;
}

UIFontEntry* CUIHost::GetFontInfo(int index) {
  if (index >= 0 && index < m_fonts.GetSize()) {
    UIFontEntry* entry = static_cast<UIFontEntry*>(m_fonts[index]);
    EnsureMetrics(entry);
    return entry;
  }
  CUIHost* outermost = const_cast<CUIHost*>(Outermost());
  outermost->EnsureMetrics(&outermost->m_defaultFont);
  return &outermost->m_defaultFont;
}

UIFontEntry* CUIHost::GetFontInfo(HFONT hFont) {
  for (CUIHost* host = this; host; host = host->m_resourceParent) {
    for (int i = 0; i < host->m_fonts.GetSize(); ++i) {
      UIFontEntry* entry = static_cast<UIFontEntry*>(host->m_fonts[i]);
      if (entry->font == hFont) {
        host->EnsureMetrics(entry);
        return entry;
      }
    }
  }
  return GetFontInfo(-1);
}

void CUIHost::ClearFonts() {
  for (int i = 0; i < m_fonts.GetSize(); ++i) {
    UIFontEntry* entry = static_cast<UIFontEntry*>(m_fonts[i]);
    DeleteObject(entry->font);
    delete entry;
  }
  m_fonts.Empty();
}

// ---- Images -------------------------------------------------------------------------------------

UIImageEntry* CUIHost::AddImage(LPCWSTR name, LPCWSTR type, DWORD mask) {
  if (!name) return nullptr;
  UIImageEntry* entry = nullptr;
  if (type) {
    const int id = LeadingResourceId(name);
    if (id < 0) return nullptr;
    entry = CRenderKit::LoadSkinImage(MAKEINTRESOURCEW(id), type, mask);
  } else {
    entry = CRenderKit::LoadSkinImage(name, nullptr, mask);
  }
  if (!entry) return nullptr;
  if (type) entry->resType = type;
  entry->maskColor = mask;
  if (!m_images.Insert(name, entry)) {
    FreeImageEntry(entry);
    return nullptr;
  }
  return entry;
}

UIImageEntry* CUIHost::GetImage(LPCWSTR name) {
  if (!name) return nullptr;
  for (CUIHost* host = this; host; host = host->m_resourceParent) {
    if (void* found = host->m_images.Find(name)) return static_cast<UIImageEntry*>(found);
  }
  return nullptr;
}

UIImageEntry* CUIHost::GetOrLoadImage(LPCWSTR name, LPCWSTR type, DWORD mask) {
  if (!name) return nullptr;
  if (void* found = m_images.Find(name)) return static_cast<UIImageEntry*>(found);
  AddImage(name, type, mask);
  return static_cast<UIImageEntry*>(m_images.Find(name));
}

void CUIHost::ClearImages() {
  for (int i = 0; LPCWSTR key = m_images.GetAt(i); ++i) {
    FreeImageEntry(static_cast<UIImageEntry*>(m_images.Find(key, false)));
  }
  m_images.Resize(83);
}

// ---- Default attribute lists --------------------------------------------------------------------

void CUIHost::AddClassDefaults(LPCWSTR className, LPCWSTR attributeList) {
  if (!className) return;
  CUIString* copy = new CUIString(attributeList ? attributeList : _T(""));
  if (!m_classDefaults.Insert(className, copy)) delete copy;
}

LPCWSTR CUIHost::GetClassDefaults(LPCWSTR className) const {
  if (!className) return nullptr;
  for (const CUIHost* host = this; host; host = host->m_resourceParent) {
    if (void* found = host->m_classDefaults.Find(className)) return static_cast<CUIString*>(found)->GetData();
  }
  return nullptr;
}

void CUIHost::ClearClassDefaults() {
  for (int i = 0; LPCWSTR key = m_classDefaults.GetAt(i); ++i) {
    delete static_cast<CUIString*>(m_classDefaults.Find(key, false));
  }
  m_classDefaults.Resize(83);
}

}  // namespace Umbra
