#include <gtest/gtest.h>

#include <vector>

#include "ui/core/UIPtrArray.h"

namespace Umbra {
namespace {

LPVOID Item(intptr_t n) { return reinterpret_cast<LPVOID>(n); }

std::vector<intptr_t> Items(const CUIPtrArray& a) {
  std::vector<intptr_t> out;
  for (int i = 0; i < a.GetSize(); ++i) out.push_back(reinterpret_cast<intptr_t>(a[i]));
  return out;
}

TEST(UIPtrArray, GrowsTo11ThenDoublesWhenCountReachesCapacity) {
  const struct {
    int initial;
    int adds;
    int capacity;
  } cases[] = {
      {0, 0, 0},     {0, 1, 11}, {0, 10, 11}, {0, 11, 22}, {0, 22, 44},
      {0, 100, 176}, {5, 0, 5},  {5, 4, 5},   {5, 5, 10},  {1, 1, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.initial << " + " << c.adds);
    CUIPtrArray a(c.initial);
    std::vector<intptr_t> expected;
    for (int i = 1; i <= c.adds; ++i) {
      ASSERT_TRUE(a.Add(Item(i)));
      expected.push_back(i);
    }
    EXPECT_EQ(a.GetCapacity(), c.capacity);
    EXPECT_EQ(Items(a), expected);
  }
}

TEST(UIPtrArray, InsertAtAndRemoveAtCheckIndexes) {
  CUIPtrArray a;
  for (int i = 1; i <= 3; ++i) a.Add(Item(i));
  EXPECT_TRUE(a.InsertAt(0, Item(10)));
  EXPECT_TRUE(a.InsertAt(2, Item(20)));
  EXPECT_TRUE(a.InsertAt(a.GetSize(), Item(30)));
  EXPECT_FALSE(a.InsertAt(-1, Item(40)));
  EXPECT_FALSE(a.InsertAt(a.GetSize() + 1, Item(40)));
  EXPECT_EQ(Items(a), (std::vector<intptr_t>{10, 1, 20, 2, 3, 30}));

  EXPECT_FALSE(a.RemoveAt(-1));
  EXPECT_FALSE(a.RemoveAt(a.GetSize()));
  EXPECT_TRUE(a.RemoveAt(0));
  EXPECT_TRUE(a.RemoveAt(a.GetSize() - 1));
  EXPECT_TRUE(a.RemoveAt(1));
  EXPECT_EQ(Items(a), (std::vector<intptr_t>{1, 2, 3}));

  // Inserting into a full array of 11 grows it and keeps the order.
  CUIPtrArray full;
  for (int i = 0; i < 10; ++i) full.Add(Item(i));
  ASSERT_EQ(full.GetCapacity(), 11);
  EXPECT_TRUE(full.InsertAt(5, Item(99)));
  EXPECT_EQ(full.GetCapacity(), 22);
  EXPECT_EQ(Items(full), (std::vector<intptr_t>{0, 1, 2, 3, 4, 99, 5, 6, 7, 8, 9}));
}

TEST(UIPtrArray, LookupsReportMissingElements) {
  CUIPtrArray a;
  EXPECT_EQ(a.GetAt(0), nullptr);
  EXPECT_TRUE(a.IsEmpty());
  a.Add(Item(7));
  a.Add(Item(8));
  a.Add(Item(7));
  EXPECT_EQ(a.Find(Item(7)), 0);
  EXPECT_EQ(a.Find(Item(8)), 1);
  EXPECT_EQ(a.Find(Item(9)), -1);
  EXPECT_EQ(a.GetAt(2), Item(7));
  EXPECT_EQ(a.GetAt(3), nullptr);
  EXPECT_EQ(a.GetAt(-1), nullptr);
}

TEST(UIPtrArray, EmptyAndResizeReplaceTheSlots) {
  CUIPtrArray a;
  for (int i = 1; i <= 5; ++i) a.Add(Item(i));
  EXPECT_TRUE(a.Resize(3));
  EXPECT_EQ(a.GetSize(), 3);
  EXPECT_EQ(a.GetCapacity(), 3);
  EXPECT_EQ(Items(a), (std::vector<intptr_t>{0, 0, 0}));
  a.Add(Item(4));  // count reaches beyond the exact capacity: doubles
  EXPECT_EQ(a.GetCapacity(), 6);
  EXPECT_EQ(Items(a), (std::vector<intptr_t>{0, 0, 0, 4}));

  EXPECT_TRUE(a.Resize(0));
  EXPECT_TRUE(a.IsEmpty());
  EXPECT_EQ(a.GetCapacity(), 0);
  EXPECT_TRUE(a.Resize(-4));
  EXPECT_EQ(a.GetSize(), 0);

  a.Add(Item(1));
  a.Empty();
  EXPECT_EQ(a.GetSize(), 0);
  EXPECT_EQ(a.GetCapacity(), 0);
  EXPECT_TRUE(a.Add(Item(2)));
  EXPECT_EQ(a.GetCapacity(), 11);
}

TEST(UIPtrArray, CopiesAreIndependent) {
  CUIPtrArray a;
  for (int i = 1; i <= 12; ++i) a.Add(Item(i));
  CUIPtrArray copy(a);
  EXPECT_EQ(Items(copy), Items(a));
  EXPECT_EQ(copy.GetCapacity(), 22);  // rebuilt by adding, not by taking the source's size
  copy.RemoveAt(0);
  EXPECT_EQ(a.GetSize(), 12);

  CUIPtrArray assigned;
  assigned.Add(Item(100));
  assigned = a;
  EXPECT_EQ(Items(assigned), Items(a));
  const CUIPtrArray& alias = assigned;
  assigned = alias;
  EXPECT_EQ(Items(assigned), Items(a));
}

}  // namespace
}  // namespace Umbra
