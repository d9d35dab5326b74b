// Plain text: DrawTextW with one of the host's fonts.
#include <windows.h>

#include "ui/core/UIHost.h"
#include "ui/render/ArgbColor.h"
#include "ui/render/RenderKit.h"

namespace Umbra {

void CRenderKit::DrawPlainText(HDC hDC, CUIHost* host, RECT& rc, LPCWSTR text, DWORD color, int font,
                               UINT style) {
  if (!hDC || !text || !host) return;
  SetBkMode(hDC, TRANSPARENT);
  SetTextColor(hDC, ToColorRef(color));
  HGDIOBJ oldFont = SelectObject(hDC, host->GetFont(font));
  // Skin texts are shown as written: an '&' is a character, never a mnemonic prefix.
  DrawTextW(hDC, text, -1, &rc, style | DT_NOPREFIX);
  if (oldFont) SelectObject(hDC, oldFont);
}

}  // namespace Umbra
