// Global memory blocks: fixed and movable handles, lock counts, and refusal of stale handles.
#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(GlobalMemory, FixedHandleIsTheBlockAndMovableOneIsLockedToIt) {
  HGLOBAL fixed = GlobalAlloc(GPTR, 8);
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(GlobalLock(fixed), fixed);
  EXPECT_EQ(static_cast<unsigned char*>(fixed)[7], 0);  // GMEM_ZEROINIT
  EXPECT_EQ(GlobalSize(fixed), 8u);
  EXPECT_EQ(GlobalFree(fixed), nullptr);

  HGLOBAL moveable = GlobalAlloc(GMEM_MOVEABLE, 0);
  ASSERT_NE(moveable, nullptr);
  void* p = GlobalLock(moveable);
  EXPECT_NE(p, nullptr);  // even an empty block has an address
  EXPECT_NE(p, moveable);
  EXPECT_EQ(GlobalSize(moveable), 0u);
  EXPECT_EQ(GlobalUnlock(moveable), FALSE);
  EXPECT_EQ(GlobalFree(moveable), nullptr);
}

TEST(GlobalMemory, UnlockCountsLocksAndReportsTheLastOne) {
  HGLOBAL h = GlobalAlloc(GHND, 4);
  GlobalLock(h);
  GlobalLock(h);
  EXPECT_EQ(GlobalUnlock(h), TRUE);  // still locked once
  SetLastError(12345);
  EXPECT_EQ(GlobalUnlock(h), FALSE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
  EXPECT_EQ(GlobalUnlock(h), FALSE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));
  GlobalFree(h);
}

TEST(GlobalMemory, FreedAndUnknownHandlesAreRefused) {
  HGLOBAL freed = GlobalAlloc(GMEM_MOVEABLE, 4);
  GlobalFree(freed);
  int local = 0;
  for (HGLOBAL bad : {freed, static_cast<HGLOBAL>(&local)}) {
    SetLastError(0);
    EXPECT_EQ(GlobalLock(bad), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GlobalSize(bad), 0u);
    EXPECT_EQ(GlobalUnlock(bad), FALSE);
    EXPECT_EQ(GlobalFree(bad), bad);  // failure hands the handle back
  }
  EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

}  // namespace
