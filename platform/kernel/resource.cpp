// Module resources: FindResourceW, LoadResource, SizeofResource, LockResource and FreeResource
// over the tables embedded at build time. Names and types resolve as Win32 resolves them:
// integer identifiers (MAKEINTRESOURCE), strings compared without regard to case, and a string
// "#123" meaning the identifier 123.
#include "kernel/resource.h"

#include <functional>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace umbra::kernel {
namespace {

struct Registry {
  std::mutex lock;
  std::unordered_map<HMODULE, std::vector<const ResourceTable*>> tables;
};

Registry& Resources() {
  static Registry* registry = new Registry;  // never destroyed: lookups may run at exit
  return *registry;
}

HMODULE Resolve(HMODULE module) { return module ? module : GetModuleHandleW(nullptr); }

// A name or type as the caller gives it: an identifier, or a string (text non-null). An
// invalid key ("#" without a number, identifier 0) matches nothing.
struct ResourceKey {
  bool valid;
  WORD id;
  LPCWSTR text;
};

ResourceKey ParseKey(LPCWSTR value) {
  if (IS_INTRESOURCE(value)) {
    const WORD id = LOWORD(reinterpret_cast<ULONG_PTR>(value));
    return {id != 0, id, nullptr};
  }
  if (value[0] != u'#') return {true, 0, value};
  DWORD number = 0;
  const WCHAR* p = value + 1;
  for (; *p >= u'0' && *p <= u'9'; ++p) {
    number = number * 10 + static_cast<DWORD>(*p - u'0');
    if (number > 0xFFFF) return {false, 0, nullptr};
  }
  const bool valid = p != value + 1 && *p == 0 && number != 0;
  return {valid, static_cast<WORD>(number), nullptr};
}

bool EqualIgnoringCase(const char16_t* a, const char16_t* b) {
  for (;; ++a, ++b) {
    if (towupper(*a) != towupper(*b)) return false;
    if (*a == 0) return true;
  }
}

bool Matches(const char16_t* text, WORD id, const ResourceKey& key) {
  if (!key.valid) return false;
  if (key.text) return text && EqualIgnoringCase(text, key.text);
  return !text && id == key.id;
}

bool Contains(const ResourceTable* table, const ResourceEntry* entry) {
  const std::less<const ResourceEntry*> before;
  return !before(entry, table->entries) && before(entry, table->entries + table->count);
}

}  // namespace

void RegisterResourceTable(HMODULE module, const ResourceTable* table) {
  Registry& registry = Resources();
  std::lock_guard guard(registry.lock);
  registry.tables[Resolve(module)].push_back(table);
}

bool RegisterExecutableResources(const ResourceTable* table) {
  RegisterResourceTable(GetModuleHandleW(nullptr), table);
  return true;
}

const ResourceEntry* LookupResource(HMODULE module, HRSRC resource) {
  const auto* entry = reinterpret_cast<const ResourceEntry*>(resource);
  Registry& registry = Resources();
  std::lock_guard guard(registry.lock);
  auto it = registry.tables.find(Resolve(module));
  if (it == registry.tables.end()) return nullptr;
  for (const ResourceTable* table : it->second) {
    if (Contains(table, entry)) return entry;
  }
  return nullptr;
}

}  // namespace umbra::kernel

using umbra::kernel::ResourceEntry;
using umbra::kernel::ResourceTable;

HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
  const auto name = umbra::kernel::ParseKey(lpName);
  const auto type = umbra::kernel::ParseKey(lpType);
  auto& registry = umbra::kernel::Resources();
  std::lock_guard guard(registry.lock);
  auto it = registry.tables.find(umbra::kernel::Resolve(hModule));
  if (it == registry.tables.end()) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);  // a module without resources
    return nullptr;
  }
  bool typeFound = false;
  for (const ResourceTable* table : it->second) {
    for (DWORD i = 0; i < table->count; ++i) {
      const ResourceEntry& entry = table->entries[i];
      if (!umbra::kernel::Matches(entry.typeName, entry.typeId, type)) continue;
      typeFound = true;
      if (umbra::kernel::Matches(entry.name, entry.nameId, name)) {
        return reinterpret_cast<HRSRC>(const_cast<ResourceEntry*>(&entry));
      }
    }
  }
  SetLastError(typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
  return nullptr;
}

// The resource's memory is part of the binary: "loading" hands out its address, which
// LockResource returns as it is, and there is nothing to free.
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) {
  const ResourceEntry* entry = umbra::kernel::LookupResource(hModule, hResInfo);
  if (!entry) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return const_cast<unsigned char*>(entry->data);
}

DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) {
  const ResourceEntry* entry = umbra::kernel::LookupResource(hModule, hResInfo);
  if (!entry) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return entry->size;
}

LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

BOOL WINAPI FreeResource(HGLOBAL hResData) { return FALSE; }
