#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <memory>
#include <vector>

#include "tests/platform/gdi/GdiTestKit.h"
#include "ui/render/ClipScope.h"

using gditest::Canvas;
using Umbra::CClipScope;

namespace {

constexpr uint32_t kPaper = 0xFF204060u;

// Paints the whole canvas red through whatever clip the DC has now.
void PaintAll(Canvas& canvas) {
  RECT all{0, 0, 100, 100};
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  FillRect(canvas.dc(), &all, red);
  DeleteObject(red);
}

RECT ClipBox(HDC hDC) {
  RECT box{};
  GetClipBox(hDC, &box);
  return box;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Whether the DC still has a clip region of its own.
bool HasClipRegion(HDC hDC) {
  HRGN probe = CreateRectRgn(0, 0, 0, 0);
  const int result = GetClipRgn(hDC, probe);
  DeleteObject(probe);
  return result == 1;
}

}  // namespace

TEST(ClipScope, NarrowsPaintingAndGivesBackNoClipWhenThereWasNone) {
  Canvas canvas(8, 6, kPaper);
  {
    CClipScope scope;
    CClipScope::ClipToRect(canvas.dc(), RECT{2, 1, 5, 3}, scope);
    PaintAll(canvas);
  }
  EXPECT_EQ(canvas.Picture(gditest::kRed),
            gditest::Rows({"........", "..###...", "..###...", "........", "........", "........"}));
  EXPECT_FALSE(HasClipRegion(canvas.dc()));
  PaintAll(canvas);
  EXPECT_EQ(canvas.At(7, 5), gditest::kRed);
}

TEST(ClipScope, RoundRectClipLeavesCorners) {
  Canvas canvas(10, 10, kPaper);
  CClipScope scope;
  CClipScope::ClipToRoundRect(canvas.dc(), RECT{0, 0, 10, 10}, RECT{0, 0, 9, 9}, 6, 6, scope);
  PaintAll(canvas);
  EXPECT_EQ(canvas.At(0, 0), kPaper);
  EXPECT_EQ(canvas.At(9, 0), kPaper);
  EXPECT_EQ(canvas.At(0, 9), kPaper);
  EXPECT_EQ(canvas.At(9, 9), kPaper);
  EXPECT_EQ(canvas.At(5, 0), gditest::kRed);
  EXPECT_EQ(canvas.At(5, 5), gditest::kRed);
}

// The rounded clip of an enclosing scope survives a scope made inside it: painting after the
// inner scope has ended still leaves the corners alone.
TEST(ClipScope, InnerScopeRestoresTheRoundedClipExactly) {
  Canvas canvas(10, 10, kPaper);
  CClipScope rounded;
  CClipScope::ClipToRoundRect(canvas.dc(), RECT{0, 0, 10, 10}, RECT{0, 0, 9, 9}, 6, 6, rounded);
  {
    CClipScope inner;
    CClipScope::ClipToRect(canvas.dc(), RECT{0, 0, 10, 10}, inner);
  }
  PaintAll(canvas);
  EXPECT_EQ(canvas.At(0, 0), kPaper);
  EXPECT_EQ(canvas.At(9, 9), kPaper);
  EXPECT_EQ(canvas.At(5, 5), gditest::kRed);
}

TEST(ClipScope, SwitchesBetweenPreviousAndOwnClip) {
  Canvas canvas(10, 10, kPaper);
  CClipScope outer, inner;
  CClipScope::ClipToRect(canvas.dc(), RECT{0, 0, 6, 10}, outer);
  CClipScope::ClipToRect(canvas.dc(), RECT{4, 2, 10, 10}, inner);
  const RECT own{4, 2, 6, 10};  // the inner rectangle within the outer clip
  EXPECT_TRUE(SameRect(ClipBox(canvas.dc()), own));
  for (int round = 0; round < 2; ++round) {
    CClipScope::SelectPreviousClip(canvas.dc(), inner);
    EXPECT_TRUE(SameRect(ClipBox(canvas.dc()), RECT{0, 0, 6, 10}));
    // The scope's own clip keeps the enclosing clip: it never reaches past x = 6.
    CClipScope::SelectScopeClip(canvas.dc(), inner);
    EXPECT_TRUE(SameRect(ClipBox(canvas.dc()), own));
  }
}

TEST(ClipScope, NestedScopesUnwindInOrder) {
  Canvas canvas(20, 20, kPaper);
  const RECT rects[] = {{1, 1, 19, 19}, {3, 0, 15, 12}, {5, 5, 20, 20}};
  const RECT boxes[] = {{0, 0, 20, 20}, {1, 1, 19, 19}, {3, 1, 15, 12}, {5, 5, 15, 12}};
  std::vector<std::unique_ptr<CClipScope>> scopes;
  for (const RECT& rc : rects) {
    scopes.push_back(std::make_unique<CClipScope>());
    CClipScope::ClipToRect(canvas.dc(), rc, *scopes.back());
    EXPECT_TRUE(SameRect(ClipBox(canvas.dc()), boxes[scopes.size()]));
  }
  while (!scopes.empty()) {
    scopes.pop_back();
    EXPECT_TRUE(SameRect(ClipBox(canvas.dc()), boxes[scopes.size()])) << scopes.size();
  }
  EXPECT_FALSE(HasClipRegion(canvas.dc()));
}

TEST(ClipScope, OddInputsAreSafe) {
  Canvas canvas(6, 6, kPaper);
  {
    CClipScope unused;  // never filled: nothing to restore
  }
  {
    CClipScope noDc;
    CClipScope::ClipToRect(nullptr, RECT{0, 0, 4, 4}, noDc);
    CClipScope::SelectPreviousClip(nullptr, noDc);
    CClipScope::ClipToRoundRect(nullptr, RECT{0, 0, 4, 4}, RECT{0, 0, 4, 4}, 2, 2, noDc);
  }
  {
    CClipScope empty;
    CClipScope::ClipToRect(canvas.dc(), RECT{3, 3, 3, 3}, empty);
    PaintAll(canvas);
    EXPECT_EQ(canvas.At(3, 3), kPaper);
  }
  {
    CClipScope huge;
    CClipScope::ClipToRoundRect(canvas.dc(), RECT{INT_MIN, INT_MIN, INT_MAX, INT_MAX},
                                RECT{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, INT_MAX, INT_MAX, huge);
  }
  {
    // Filled twice: the first clip is given back before the second is taken.
    CClipScope twice;
    CClipScope::ClipToRect(canvas.dc(), RECT{0, 0, 2, 2}, twice);
    CClipScope::ClipToRect(canvas.dc(), RECT{1, 1, 6, 6}, twice);
    EXPECT_TRUE(SameRect(ClipBox(canvas.dc()), RECT{1, 1, 6, 6}));
  }
  EXPECT_FALSE(HasClipRegion(canvas.dc()));
  PaintAll(canvas);
  EXPECT_EQ(canvas.At(3, 3), gditest::kRed);
}
