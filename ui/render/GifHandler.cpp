#include "ui/render/GifHandler.h"

namespace Umbra {

CGifHandler::~CGifHandler() {
  m_disposing = true;
  for (int i = 0; i < m_frames.GetSize(); ++i) FreeImageEntry(static_cast<UIImageEntry*>(m_frames[i]));
  m_frames.Empty();
}

void CGifHandler::AddFrame(UIImageEntry* entry) {
  if (entry && !m_frames.Add(entry)) FreeImageEntry(entry);  // the handler owns what it is given
}

UIImageEntry* CGifHandler::NextFrame() {
  if (m_disposing || m_frames.IsEmpty()) return nullptr;
  const int shown = m_cursor < m_frames.GetSize() ? m_cursor : 0;
  m_cursor = shown + 1 >= m_frames.GetSize() ? 0 : shown + 1;
  return static_cast<UIImageEntry*>(m_frames[shown]);
}

UIImageEntry* CGifHandler::CurrentFrame() {
  if (m_disposing) return nullptr;
  return static_cast<UIImageEntry*>(m_frames.GetAt(m_cursor));
}

}  // namespace Umbra
