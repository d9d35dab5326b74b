#include "ui/skin/ResourceLoader.h"

#include <cstring>
#include <new>

#include "ui/core/UIHost.h"
#include "ui/core/UIString.h"
#include "ui/skin/ZipSource.h"

namespace Umbra {
namespace {

bool Allocate(DWORD size, SkinResourceData& out) {
  out.bytes.reset(new (std::nothrow) BYTE[size]);
  out.size = out.bytes ? size : 0;
  return out.bytes != nullptr;
}

// Closes the file on every way out.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : m_handle(handle) {}
  ~FileHandle() {
    if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE get() const { return m_handle; }

 private:
  HANDLE m_handle;
};

// One whole file in one read. A file of 4 GiB or more cannot be held in one buffer whose size
// is a DWORD, so it is refused rather than read in part.
SkinReadResult ReadWholeFile(LPCWSTR path, DWORD limit, SkinResourceData& out) {
  FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return SkinReadResult::OpenFileFailed;
  DWORD high = 0;
  const DWORD size = GetFileSize(file.get(), &high);
  if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return SkinReadResult::ReadFailed;
  if (high != 0 || size > limit) return SkinReadResult::FileTooLarge;
  if (size == 0) return SkinReadResult::FileEmpty;
  if (!Allocate(size, out)) return SkinReadResult::OutOfMemory;
  DWORD read = 0;
  if (!ReadFile(file.get(), out.bytes.get(), size, &read, nullptr) || read != size) {
    out = {};
    return SkinReadResult::ReadFailed;
  }
  return SkinReadResult::Ok;
}

SkinReadResult ReadEntry(CZipSource& archive, LPCWSTR name, DWORD limit, SkinResourceData& out) {
  ZipEntryInfo info;
  if (archive.FindEntry(name, true, info) != kZipOk) return SkinReadResult::EntryNotFound;
  if (info.uncompressedSize == 0) return SkinReadResult::FileEmpty;
  if (info.uncompressedSize > limit) return SkinReadResult::FileTooLarge;
  if (!Allocate(info.uncompressedSize, out)) return SkinReadResult::OutOfMemory;
  const DWORD result = archive.ExtractToMemory(info.index, out.bytes.get(), out.size);
  if (result != kZipOk && result != kZipMoreData) {
    out = {};
    return SkinReadResult::UnzipFailed;
  }
  return SkinReadResult::Ok;
}

// The kept-open archive, or one opened for this read alone and closed again on every path.
SkinReadResult ReadFromArchive(LPCWSTR name, DWORD limit, SkinResourceData& out) {
  if (CUIHost::IsSkinArchiveCached()) {
    CZipSource* kept = CUIHost::GetSkinArchiveHandle();
    return kept ? ReadEntry(*kept, name, limit, out) : SkinReadResult::OpenArchiveFailed;
  }
  std::unique_ptr<CZipSource> archive =
      CZipSource::OpenFromFile(CUIHost::GetSkinPath() + CUIHost::GetSkinArchiveName());
  return archive ? ReadEntry(*archive, name, limit, out) : SkinReadResult::OpenArchiveFailed;
}

}  // namespace

SkinReadResult ReadSkinResource(LPCWSTR name, SkinResourceKind kind, SkinResourceData& out) {
  out = {};
  if (!name) return SkinReadResult::OpenFileFailed;
  const DWORD limit = kind == SkinResourceKind::Markup ? kMaxMarkupFileSize : 0xFFFFFFFF;
  const SkinReadResult result = CUIHost::GetSkinArchiveName().IsEmpty()
                                    ? ReadWholeFile(CUIHost::GetSkinPath() + name, limit, out)
                                    : ReadFromArchive(name, limit, out);
  if (result == SkinReadResult::Ok || kind == SkinResourceKind::Markup) return result;
  // An image may also be named by a path of its own, absolute or from the current folder.
  return ReadWholeFile(name, limit, out) == SkinReadResult::Ok ? SkinReadResult::Ok : result;
}

bool ReadModuleResource(LPCWSTR name, LPCWSTR type, SkinResourceData& out) {
  out = {};
  HMODULE module = CUIHost::GetResourceModule();
  HRSRC resource = FindResourceW(module, name, type);
  if (!resource) return false;
  HGLOBAL loaded = LoadResource(module, resource);
  if (!loaded) return false;
  const DWORD size = SizeofResource(module, resource);
  const void* data = LockResource(loaded);
  const bool copied = data && Allocate(size, out);
  if (copied && size) std::memcpy(out.bytes.get(), data, size);
  FreeResource(loaded);
  return copied;
}

}  // namespace Umbra
