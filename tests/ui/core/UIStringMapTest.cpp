#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/core/UIStringMap.h"

namespace Umbra {
namespace {

// The chain a key lands in: h = h * 33 + c over the characters from last to first.
uint32_t Chain(const std::u16string& key, uint32_t buckets) {
  uint32_t h = 0;
  for (auto it = key.rbegin(); it != key.rend(); ++it) h = h * 33u + *it;
  return h % buckets;
}

std::u16string Key(const char* prefix, int n) {
  const std::string narrow = prefix + std::to_string(n);
  return std::u16string(narrow.begin(), narrow.end());
}

LPVOID Value(intptr_t n) { return reinterpret_cast<LPVOID>(n); }

std::vector<std::u16string> IterationOrder(const CUIStringMap& map) {
  std::vector<std::u16string> keys;
  for (int i = 0; LPCWSTR key = map.GetAt(i); ++i) keys.push_back(key);
  return keys;
}

// The expected order, kept alongside the map: chains from last to first, each from its head.
struct ChainModel {
  explicit ChainModel(uint32_t n) : buckets(n), chains(n) {}
  void PushFront(const std::u16string& key) {
    auto& chain = chains[Chain(key, buckets)];
    chain.insert(chain.begin(), key);
  }
  void Erase(const std::u16string& key) {
    auto& chain = chains[Chain(key, buckets)];
    chain.erase(std::find(chain.begin(), chain.end(), key));
  }
  std::vector<std::u16string> Order() const {
    std::vector<std::u16string> keys;
    for (auto chain = chains.rbegin(); chain != chains.rend(); ++chain)
      keys.insert(keys.end(), chain->begin(), chain->end());
    return keys;
  }
  uint32_t buckets;
  std::vector<std::vector<std::u16string>> chains;
};

TEST(UIStringMap, StoresLooksUpAndRemovesCaseSensitiveKeys) {
  CUIStringMap map;
  const std::u16string longKey(80, u'k');
  EXPECT_TRUE(map.Insert(TEXT("Name"), Value(1)));
  EXPECT_TRUE(map.Insert(TEXT("name"), Value(2)));
  EXPECT_TRUE(map.Insert(longKey.c_str(), Value(3)));
  EXPECT_FALSE(map.Insert(TEXT("Name"), Value(4)));
  EXPECT_EQ(map.GetSize(), 3);
  EXPECT_EQ(map.Find(TEXT("Name")), Value(1));
  EXPECT_EQ(map.Find(TEXT("name")), Value(2));
  EXPECT_EQ(map.Find(longKey.c_str()), Value(3));
  EXPECT_EQ(map.Find(TEXT("NAME")), nullptr);

  EXPECT_EQ(map.Set(TEXT("Name"), Value(5)), Value(1));
  EXPECT_EQ(map.Set(TEXT("new"), Value(6)), nullptr);
  EXPECT_EQ(map.Find(TEXT("Name")), Value(5));
  EXPECT_EQ(map.Find(TEXT("new")), Value(6));

  EXPECT_TRUE(map.Remove(TEXT("name")));
  EXPECT_FALSE(map.Remove(TEXT("name")));
  EXPECT_EQ(map.Find(TEXT("name")), nullptr);
  EXPECT_EQ(map.GetSize(), 3);

  // An absent key counts as the empty key.
  EXPECT_TRUE(map.Insert(nullptr, Value(7)));
  EXPECT_EQ(map.Find(TEXT("")), Value(7));
  EXPECT_EQ(map.GetAt(-1), nullptr);
  EXPECT_EQ(map.GetAt(map.GetSize()), nullptr);
}

// Keys 'a' (97) and 'i' (105) land in chains 1 and 9 of 16 but in 7 and 5 of 10.
TEST(UIStringMap, ConstructorUsesAtLeast16Buckets) {
  CUIStringMap map(10);
  map.Insert(TEXT("a"), Value(1));
  map.Insert(TEXT("i"), Value(2));
  EXPECT_EQ(IterationOrder(map), (std::vector<std::u16string>{u"i", u"a"}));
}

TEST(UIStringMap, WithoutBucketsStoresNothing) {
  CUIStringMap map;
  map.Insert(TEXT("gone"), Value(1));
  map.Resize(0);
  EXPECT_EQ(map.GetSize(), 0);
  EXPECT_FALSE(map.Insert(TEXT("a"), Value(1)));
  EXPECT_EQ(map.Find(TEXT("a")), nullptr);
  EXPECT_EQ(map.Set(TEXT("a"), Value(2)), Value(2));
  EXPECT_FALSE(map.Remove(TEXT("a")));
  EXPECT_EQ(map.GetAt(0), nullptr);

  // Resize below the constructor's minimum is taken as given.
  map.Resize(1);
  map.Insert(TEXT("a"), Value(1));
  map.Insert(TEXT("b"), Value(2));
  EXPECT_EQ(IterationOrder(map), (std::vector<std::u16string>{u"b", u"a"}));
}

TEST(UIStringMap, CollidingKeysIterateNewestFirstUntilMovedToFront) {
  // The first two keys "k0", "k1", ... that share a chain of 83.
  std::u16string first, second;
  std::vector<std::u16string> seen(83);
  for (int n = 0; second.empty(); ++n) {
    const std::u16string key = Key("k", n);
    std::u16string& slot = seen[Chain(key, 83)];
    if (slot.empty()) {
      slot = key;
    } else {
      first = slot;
      second = key;
    }
  }
  CUIStringMap map;
  map.Insert(first.c_str(), Value(1));
  map.Insert(second.c_str(), Value(2));
  EXPECT_EQ(IterationOrder(map), (std::vector<std::u16string>{second, first}));
  EXPECT_EQ(map.Find(first.c_str(), false), Value(1));
  EXPECT_EQ(IterationOrder(map), (std::vector<std::u16string>{second, first}));
  EXPECT_EQ(map.Find(first.c_str(), true), Value(1));
  EXPECT_EQ(IterationOrder(map), (std::vector<std::u16string>{first, second}));
}

// Many keys in few chains: insertion, move-to-front from every chain position, and removal
// from the head, middle and tail all keep the documented iteration order.
TEST(UIStringMap, IterationOrderFollowsChainsThroughUpdates) {
  CUIStringMap map(16);
  ChainModel model(16);
  std::vector<std::u16string> keys;
  for (int i = 0; i < 60; ++i) keys.push_back(Key("key", i));
  keys.push_back(u"");
  for (const auto& key : keys) {
    ASSERT_TRUE(map.Insert(key.c_str(), Value(1)));
    model.PushFront(key);
  }
  ASSERT_EQ(IterationOrder(map), model.Order());

  for (size_t i = 0; i < keys.size(); i += 3) {
    ASSERT_NE(map.Find(keys[i].c_str(), true), nullptr);
    model.Erase(keys[i]);
    model.PushFront(keys[i]);
  }
  ASSERT_EQ(IterationOrder(map), model.Order());

  for (size_t i = 0; i < keys.size(); i += 2) {
    ASSERT_TRUE(map.Remove(keys[i].c_str()));
    model.Erase(keys[i]);
  }
  EXPECT_EQ(IterationOrder(map), model.Order());
  EXPECT_EQ(map.GetSize(), static_cast<int>(model.Order().size()));
}

}  // namespace
}  // namespace Umbra
