#pragma once

#include <windows.h>

#include "ui/core/UIString.h"

namespace Umbra {

// A chained hash map from case-sensitive string keys to untyped pointers. The map owns its
// nodes and keys, never the values: whoever stores objects deletes them before clearing it.
// It never rehashes; lookups may move a node to the head of its chain to keep hot names near.
//
// Iteration (GetAt) visits the chains from the last to the first, each from its head, so the
// order depends on insertions and on move-to-front lookups.
class CUIStringMap {
 public:
  // At least 16 buckets; the library's maps use 83.
  explicit CUIStringMap(int bucketCount = 83);
  CUIStringMap(const CUIStringMap&) = delete;
  CUIStringMap& operator=(const CUIStringMap&) = delete;
  ~CUIStringMap();

  // False when the map has no buckets or the key is present; a new node goes to its chain's head.
  bool Insert(LPCWSTR key, LPVOID value);
  // The value or null. With moveToFront, a found node moves to the head of its chain.
  LPVOID Find(LPCWSTR key, bool moveToFront = true) const;
  // Returns the replaced value, or null after inserting; without buckets, returns value unstored.
  LPVOID Set(LPCWSTR key, LPVOID value);
  bool Remove(LPCWSTR key);
  // The key of the index-th node in iteration order, or null.
  LPCWSTR GetAt(int index) const;
  int GetSize() const { return m_count; }
  // Frees every node and makes bucketCount empty chains (none for 0 or less).
  void Resize(int bucketCount);

 private:
  struct Node {
    CUIString key;
    LPVOID value;  // not owned
    Node* prev;
    Node* next;
  };

  Node*& ChainOf(LPCWSTR key) const;
  Node* FindNode(LPCWSTR key) const;
  void FreeAll();

  Node** m_buckets;
  int m_bucketCount;
  int m_count;
};

}  // namespace Umbra
