// Module resources: the tables that the build embeds into a binary (cmake/UmbraResources.cmake
// generates a source that defines one and registers it at start-up), and the lookup that
// FindResourceW and the icon loader share.
#pragma once

#include <windows.h>

namespace umbra::kernel {

// One resource. A type or name is either a string (typeName / name non-null) or an integer
// identifier (typeId / nameId, used when the string is null). Strings are kept as written in
// the resource list and compared without regard to case.
struct ResourceEntry {
  const char16_t* typeName;
  WORD typeId;
  const char16_t* name;
  WORD nameId;
  const unsigned char* data;
  DWORD size;
};

struct ResourceTable {
  const ResourceEntry* entries;
  DWORD count;
};

// Adds a table to a module; a module may have several, searched in the order they were added.
// The table must stay valid for the life of the process (generated tables are constants).
void RegisterResourceTable(HMODULE module, const ResourceTable* table);

// The generated sources call this: the stand-in links the library statically, so every
// generated table belongs to the executable. Returns true so that it can initialise a constant.
bool RegisterExecutableResources(const ResourceTable* table);

// The entry behind an HRSRC given out by FindResourceW, if it belongs to that module (null:
// the executable); null otherwise.
const ResourceEntry* LookupResource(HMODULE module, HRSRC resource);

}  // namespace umbra::kernel
