#include "ui/core/UIStringMap.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace Umbra {
namespace {

constexpr int kMinBuckets = 16;

// Callers assume map storage never fails; stop loudly rather than write through null.
[[noreturn]] void OutOfMemory() {
  std::fputs("Umbra::CUIStringMap: out of memory\n", stderr);
  std::abort();
}

// From the last character to the first: h = h * 33 + c, modulo 2^32.
uint32_t Hash(LPCWSTR key) {
  uint32_t h = 0;
  if (!key) return h;
  for (size_t i = wcslen(key); i > 0; --i) h = h * 33u + key[i - 1];
  return h;
}

}  // namespace

CUIStringMap::CUIStringMap(int bucketCount) : m_buckets(nullptr), m_bucketCount(0), m_count(0) {
  Resize(bucketCount < kMinBuckets ? kMinBuckets : bucketCount);
}

CUIStringMap::~CUIStringMap() { FreeAll(); }

CUIStringMap::Node*& CUIStringMap::ChainOf(LPCWSTR key) const {
  return m_buckets[Hash(key) % static_cast<uint32_t>(m_bucketCount)];
}

CUIStringMap::Node* CUIStringMap::FindNode(LPCWSTR key) const {
  if (!m_buckets || m_count == 0) return nullptr;
  for (Node* node = ChainOf(key); node; node = node->next) {
    if (node->key.Equals(key)) return node;
  }
  return nullptr;
}

bool CUIStringMap::Insert(LPCWSTR key, LPVOID value) {
  if (!m_buckets || FindNode(key)) return false;
  Node*& head = ChainOf(key);
  Node* node = new (std::nothrow) Node{CUIString(key), value, nullptr, head};
  if (!node) OutOfMemory();
  if (head) head->prev = node;
  head = node;
  ++m_count;
  return true;
}

LPVOID CUIStringMap::Find(LPCWSTR key, bool moveToFront) const {
  Node* node = FindNode(key);
  if (!node) return nullptr;
  Node*& head = ChainOf(key);
  if (moveToFront && node != head) {
    node->prev->next = node->next;
    if (node->next) node->next->prev = node->prev;
    node->prev = nullptr;
    node->next = head;
    head->prev = node;
    head = node;
  }
  return node->value;
}

LPVOID CUIStringMap::Set(LPCWSTR key, LPVOID value) {
  if (!m_buckets) return value;
  if (Node* node = FindNode(key)) {
    LPVOID old = node->value;
    node->value = value;
    return old;
  }
  Insert(key, value);
  return nullptr;
}

bool CUIStringMap::Remove(LPCWSTR key) {
  Node* node = FindNode(key);
  if (!node) return false;
  if (node->prev) {
    node->prev->next = node->next;
  } else {
    ChainOf(key) = node->next;
  }
  if (node->next) node->next->prev = node->prev;
  delete node;
  --m_count;
  return true;
}

LPCWSTR CUIStringMap::GetAt(int index) const {
  if (index < 0 || index >= m_count) return nullptr;
  int position = 0;
  for (int bucket = m_bucketCount - 1; bucket >= 0; --bucket) {
    for (const Node* node = m_buckets[bucket]; node; node = node->next) {
      if (position++ == index) return node->key.GetData();
    }
  }
  return nullptr;
}

void CUIStringMap::FreeAll() {
  for (int bucket = 0; bucket < m_bucketCount; ++bucket) {
    Node* node = m_buckets[bucket];
    while (node) {
      Node* next = node->next;
      delete node;
      node = next;
    }
  }
  std::free(m_buckets);
  m_buckets = nullptr;
  m_bucketCount = 0;
  m_count = 0;
}

void CUIStringMap::Resize(int bucketCount) {
  FreeAll();
  if (bucketCount <= 0) return;
  m_buckets = static_cast<Node**>(std::calloc(static_cast<size_t>(bucketCount), sizeof(Node*)));
  if (!m_buckets) OutOfMemory();
  m_bucketCount = bucketCount;
}

}  // namespace Umbra
