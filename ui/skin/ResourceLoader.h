#pragma once

#include <windows.h>

#include <memory>

namespace Umbra {

// Markup larger than this is refused; images have no limit.
constexpr DWORD kMaxMarkupFileSize = 0x400000;

// What ReadSkinResource and ReadModuleResource produce: the whole content, owned by the caller.
struct SkinResourceData {
  std::unique_ptr<BYTE[]> bytes;
  DWORD size = 0;
};

// Which kind of skin file is read: markup has a size limit and no fallback; an image that is
// not found in the skin is tried once more as a plain file path.
enum class SkinResourceKind { Markup, Image };

// The step at which reading failed.
enum class SkinReadResult {
  Ok,
  OpenFileFailed,     // folder: the file cannot be opened
  FileEmpty,          // folder: size 0; archive: the entry's size is 0
  FileTooLarge,       // markup above kMaxMarkupFileSize
  ReadFailed,         // folder: fewer bytes read than the file's size
  OpenArchiveFailed,  // archive: no archive available
  EntryNotFound,      // archive: no entry of that name
  UnzipFailed,        // archive: the entry's data is incomplete or corrupt
  OutOfMemory,
};

// Reads a skin-relative name from where the process-wide settings say skins live: the skin
// folder when no archive is set, else the kept-open archive or one opened for this read.
SkinReadResult ReadSkinResource(LPCWSTR name, SkinResourceKind kind, SkinResourceData& out);

// Copies a resource of the resource module (an integer identifier through MAKEINTRESOURCE,
// or a name) of the given type, such as "xml".
bool ReadModuleResource(LPCWSTR name, LPCWSTR type, SkinResourceData& out);

}  // namespace Umbra
