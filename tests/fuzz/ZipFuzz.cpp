// Opens arbitrary bytes as a skin archive in memory and reads every entry by its index, then
// looks names up, walking the whole central directory as the resource locator does.
#include <tchar.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ui/skin/ZipSource.h"

namespace {

using Umbra::CZipSource;
using Umbra::ZipEntryInfo;

// Enough to reach every inflate path; a bigger entry is read in part, as a smaller buffer does.
constexpr DWORD kBufferSize = 1 << 20;
constexpr int kMaxEntries = 256;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  auto zip = CZipSource::OpenFromMemory(data, static_cast<DWORD>(size));
  if (!zip) return 0;
  static std::vector<BYTE> buffer(kBufferSize);
  for (int index = 0; index < kMaxEntries; ++index) {
    if (zip->ExtractToMemory(index, buffer.data(), kBufferSize) == Umbra::kZipNotFound) break;
  }
  ZipEntryInfo info;
  for (LPCWSTR name : {_T("login\\MainFrame.xml"), _T("A.TXT"), _T("")}) {
    if (zip->FindEntry(name, true, info) == Umbra::kZipOk) {
      const DWORD want = info.uncompressedSize < kBufferSize ? info.uncompressedSize : kBufferSize;
      zip->ExtractToMemory(info.index, buffer.data(), want);
    }
  }
  zip->Close();
  return 0;
}
