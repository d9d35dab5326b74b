// Global memory blocks, as the clipboard exchanges them. Every block is registered, so that a
// stale or foreign handle is refused instead of being dereferenced. A GMEM_FIXED handle is the
// block's address; a GMEM_MOVEABLE handle is a separate value that GlobalLock turns into it.
#include <windows.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

namespace {

struct Block {
  std::unique_ptr<uint8_t[]> data;
  SIZE_T size = 0;
  bool moveable = false;
  unsigned locks = 0;
};

struct Blocks {
  std::mutex lock;
  std::unordered_map<HGLOBAL, std::unique_ptr<Block>> byHandle;
};

Blocks& Registry() {
  static Blocks* blocks = new Blocks;  // never destroyed: blocks may be freed at exit
  return *blocks;
}

// The block behind a handle, or null with ERROR_INVALID_HANDLE. Call with the registry locked.
Block* Find(Blocks& blocks, HGLOBAL handle) {
  auto it = blocks.byHandle.find(handle);
  if (it != blocks.byHandle.end()) return it->second.get();
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

}  // namespace

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
  auto block = std::make_unique<Block>();
  // A zero-byte block still has an address, so that locking it gives something valid.
  block->data.reset(new (std::nothrow) uint8_t[dwBytes ? dwBytes : 1]);
  if (!block->data) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (uFlags & GMEM_ZEROINIT) std::memset(block->data.get(), 0, dwBytes ? dwBytes : 1);
  block->size = dwBytes;
  block->moveable = uFlags & GMEM_MOVEABLE;
  HGLOBAL handle =
      block->moveable ? static_cast<HGLOBAL>(block.get()) : static_cast<HGLOBAL>(block->data.get());
  Blocks& blocks = Registry();
  std::lock_guard guard(blocks.lock);
  blocks.byHandle.emplace(handle, std::move(block));
  return handle;
}

LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
  Blocks& blocks = Registry();
  std::lock_guard guard(blocks.lock);
  Block* block = Find(blocks, hMem);
  if (!block) return nullptr;
  if (block->moveable) ++block->locks;
  return block->data.get();
}

BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
  Blocks& blocks = Registry();
  std::lock_guard guard(blocks.lock);
  Block* block = Find(blocks, hMem);
  if (!block) return FALSE;
  if (!block->moveable) return TRUE;  // fixed blocks are never locked: nothing to do
  if (block->locks == 0) {
    SetLastError(ERROR_NOT_LOCKED);
    return FALSE;
  }
  --block->locks;
  if (block->locks) return TRUE;
  SetLastError(NO_ERROR);
  return FALSE;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
  if (!hMem) return nullptr;
  Blocks& blocks = Registry();
  std::lock_guard guard(blocks.lock);
  if (!Find(blocks, hMem)) return hMem;
  blocks.byHandle.erase(hMem);
  return nullptr;
}

SIZE_T WINAPI GlobalSize(HGLOBAL hMem) {
  Blocks& blocks = Registry();
  std::lock_guard guard(blocks.lock);
  Block* block = Find(blocks, hMem);
  return block ? block->size : 0;
}
