// Cursors: the system cursors as shared handles, the current cursor (passed on to the
// display) and the show count.
#include <atomic>

#include "display/display.h"
#include "user/user.h"

namespace umbra::user {
namespace {

struct SharedImage {
  int id;
};

const SharedImage kCursors[] = {{32512}, {32513}, {32514}, {32515}, {32516}, {32640}, {32641}, {32642},
                                {32643}, {32644}, {32645}, {32646}, {32648}, {32649}, {32650}, {32651}};

template <size_t N>
const SharedImage* Find(const SharedImage (&table)[N], const void* handle) {
  for (const SharedImage& s : table)
    if (&s == handle) return &s;
  return nullptr;
}

template <size_t N>
HICON Load(const SharedImage (&table)[N], HINSTANCE instance, LPCWSTR name) {
  // Cursors from a module's resources are not supported; the shared system ones are here.
  if (!instance && IS_INTRESOURCE(name)) {
    int id = static_cast<int>(reinterpret_cast<ULONG_PTR>(name));
    for (const SharedImage& s : table)
      if (s.id == id) return reinterpret_cast<HICON>(const_cast<SharedImage*>(&s));
  }
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return nullptr;
}

std::atomic<HCURSOR> g_cursor{nullptr};
std::atomic<int> g_showCount{0};

void TellDisplay() {
  HCURSOR cursor = g_cursor.load();
  display::Current().SetCursor(g_showCount.load() >= 0 ? SystemCursorId(cursor) : 0);
}

}  // namespace

int SystemCursorId(HCURSOR cursor) {
  if (!cursor) return 0;
  const SharedImage* s = Find(kCursors, cursor);
  return s ? s->id : 32512;  // a cursor of another kind shows as the arrow until images are drawn
}

}  // namespace umbra::user

using namespace umbra::user;
namespace gdi = umbra::gdi;
namespace display = umbra::display;

HCURSOR WINAPI LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName) {
  return Load(kCursors, hInstance, lpCursorName);
}

HCURSOR WINAPI SetCursor(HCURSOR hCursor) {
  HCURSOR old = g_cursor.exchange(hCursor);
  if (old != hCursor) TellDisplay();
  return old;
}

HCURSOR WINAPI GetCursor(void) { return g_cursor.load(); }

int WINAPI ShowCursor(BOOL bShow) {
  int count = bShow ? ++g_showCount : --g_showCount;
  TellDisplay();
  return count;
}

BOOL WINAPI DestroyCursor(HCURSOR hCursor) { return Find(kCursors, hCursor) ? TRUE : FALSE; }
