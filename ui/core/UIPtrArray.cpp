#include "ui/core/UIPtrArray.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace Umbra {
namespace {

// First allocation of an array that had no slots.
constexpr int kFirstCapacity = 11;

}  // namespace

CUIPtrArray::CUIPtrArray(int initialCapacity) : m_items(nullptr), m_count(0), m_capacity(0) {
  if (initialCapacity <= 0) return;
  m_items = static_cast<LPVOID*>(std::malloc(static_cast<size_t>(initialCapacity) * sizeof(LPVOID)));
  if (m_items) m_capacity = initialCapacity;
}

CUIPtrArray::CUIPtrArray(const CUIPtrArray& src) : m_items(nullptr), m_count(0), m_capacity(0) {
  for (int i = 0; i < src.m_count; ++i) Add(src.m_items[i]);
}

CUIPtrArray& CUIPtrArray::operator=(const CUIPtrArray& src) {
  if (this == &src) return *this;
  Empty();
  for (int i = 0; i < src.m_count; ++i) Add(src.m_items[i]);
  return *this;
}

CUIPtrArray::~CUIPtrArray() { std::free(m_items); }

// Called with the count already raised: doubles the slots (11 from none) once the count has
// reached the capacity. On failure the count is restored.
bool CUIPtrArray::GrowForCount() {
  if (m_count < m_capacity) return true;
  void* items = nullptr;
  int grown = 0;
  if (m_capacity <= INT_MAX / 2) {
    grown = m_capacity == 0 ? kFirstCapacity : m_capacity * 2;
    items = std::realloc(m_items, static_cast<size_t>(grown) * sizeof(LPVOID));
  }
  if (!items) {
    --m_count;
    return false;
  }
  m_items = static_cast<LPVOID*>(items);
  m_capacity = grown;
  return true;
}

bool CUIPtrArray::Add(LPVOID item) {
  ++m_count;
  if (!GrowForCount()) return false;
  m_items[m_count - 1] = item;
  return true;
}

bool CUIPtrArray::InsertAt(int index, LPVOID item) {
  if (index == m_count) return Add(item);
  if (index < 0 || index > m_count) return false;
  ++m_count;
  if (!GrowForCount()) return false;
  std::memmove(&m_items[index + 1], &m_items[index],
               static_cast<size_t>(m_count - 1 - index) * sizeof(LPVOID));
  m_items[index] = item;
  return true;
}

bool CUIPtrArray::RemoveAt(int index) {
  if (index < 0 || index >= m_count) return false;
  --m_count;
  std::memmove(&m_items[index], &m_items[index + 1], static_cast<size_t>(m_count - index) * sizeof(LPVOID));
  return true;
}

int CUIPtrArray::Find(LPVOID item) const {
  for (int i = 0; i < m_count; ++i) {
    if (m_items[i] == item) return i;
  }
  return -1;
}

LPVOID CUIPtrArray::GetAt(int index) const {
  if (index < 0 || index >= m_count) return nullptr;
  return m_items[index];
}

void CUIPtrArray::Empty() {
  std::free(m_items);
  m_items = nullptr;
  m_count = 0;
  m_capacity = 0;
}

bool CUIPtrArray::Resize(int size) {
  Empty();
  if (size <= 0) return true;
  m_items = static_cast<LPVOID*>(std::calloc(static_cast<size_t>(size), sizeof(LPVOID)));
  if (!m_items) return false;
  m_count = size;
  m_capacity = size;
  return true;
}

}  // namespace Umbra
