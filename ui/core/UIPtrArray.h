#pragma once

#include <windows.h>

namespace Umbra {

// A growable array of untyped pointers. It does not own what the elements point to; it frees
// only its own slots. Growth keeps at least one free slot after every addition.
class CUIPtrArray {
 public:
  explicit CUIPtrArray(int initialCapacity = 0);
  // Starts empty and adds every element of src in order.
  CUIPtrArray(const CUIPtrArray& src);
  CUIPtrArray& operator=(const CUIPtrArray& src);
  ~CUIPtrArray();

  // False only when growing fails; the array is then unchanged.
  bool Add(LPVOID item);
  // An index equal to the size appends; below 0 or above the size fails.
  bool InsertAt(int index, LPVOID item);
  bool RemoveAt(int index);
  int Find(LPVOID item) const;

  // Null for an index outside the array.
  LPVOID GetAt(int index) const;
  // No bounds check: the caller's index must be valid.
  LPVOID operator[](int index) const { return m_items[index]; }

  int GetSize() const { return m_count; }
  int GetCapacity() const { return m_capacity; }
  bool IsEmpty() const { return m_count == 0; }
  void Empty();
  // Drops the elements and makes exactly size zero-filled elements; false when that fails.
  bool Resize(int size);

 private:
  bool GrowForCount();

  LPVOID* m_items;
  int m_count;
  int m_capacity;
};

}  // namespace Umbra
