#pragma once

#include "ui/core/UIPtrArray.h"
#include "ui/render/ImageEntry.h"

namespace Umbra {

// The decoded frames of one animation, in file order, and the cursor of the frame to show.
// It owns the frames.
class CGifHandler {
 public:
  CGifHandler() = default;
  virtual ~CGifHandler();
  CGifHandler(const CGifHandler&) = delete;
  CGifHandler& operator=(const CGifHandler&) = delete;

  // A null entry is ignored.
  void AddFrame(UIImageEntry* entry);
  // The frame at the cursor, then the cursor moves on (wrapping); null without frames.
  UIImageEntry* NextFrame();
  UIImageEntry* CurrentFrame();

  int GetFrameCount() const { return m_frames.GetSize(); }
  UIImageEntry* GetFrame(int index) const { return static_cast<UIImageEntry*>(m_frames.GetAt(index)); }

 private:
  CUIPtrArray m_frames;
  int m_cursor = 0;
  bool m_disposing = false;
};

}  // namespace Umbra
