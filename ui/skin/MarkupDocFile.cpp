// CMarkupDoc::ParseFile: markup read through the resource locator, with one message for
// each step that can fail.
#include <tchar.h>

#include "ui/skin/MarkupDoc.h"
#include "ui/skin/ResourceLoader.h"

namespace Umbra {
namespace {

LPCWSTR MessageFor(SkinReadResult result) {
  switch (result) {
    case SkinReadResult::OpenFileFailed:
      return _T("Error opening file");
    case SkinReadResult::FileEmpty:
      return _T("File is empty");
    case SkinReadResult::FileTooLarge:
      return _T("File too large");
    case SkinReadResult::ReadFailed:
      return _T("Could not read file");
    case SkinReadResult::OpenArchiveFailed:
      return _T("Error opening zip file");
    case SkinReadResult::EntryNotFound:
      return _T("Could not find ziped file");
    case SkinReadResult::UnzipFailed:
      return _T("Could not unzip file");
    case SkinReadResult::OutOfMemory:
    case SkinReadResult::Ok:
      break;
  }
  return _T("Out of memory");
}

}  // namespace

bool CMarkupDoc::ParseFile(LPCWSTR pstrFilename, MarkupEncoding encoding) {
  Clear();
  ResetError();
  SkinResourceData data;
  const SkinReadResult result = ReadSkinResource(pstrFilename, SkinResourceKind::Markup, data);
  if (result != SkinReadResult::Ok) return Fail(MessageFor(result), _T(""));
  return ParseBuffer(data.bytes.get(), data.size, encoding);
}

}  // namespace Umbra
