// Parses arbitrary bytes in each encoding and walks the whole resulting tree, reading every
// name and value through the element handles as the skin builder does.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ui/skin/MarkupDoc.h"

namespace {

using Umbra::CMarkupDoc;
using Umbra::CMarkupElement;
using Umbra::MarkupEncoding;

volatile size_t g_sink;

size_t Touch(LPCWSTR text) { return text != nullptr ? wcslen(text) : 0; }

void Walk(const CMarkupDoc& doc) {
  std::vector<CMarkupElement> pending;
  if (doc.GetRoot().IsValid()) pending.push_back(doc.GetRoot());
  WCHAR value[500];
  size_t total = 0;
  while (!pending.empty()) {
    const CMarkupElement element = pending.back();
    pending.pop_back();
    total += Touch(element.GetTagName());
    const int count = element.GetAttributeCount();
    for (int i = -1; i <= count; ++i) {
      total += Touch(element.GetAttributeName(i)) + Touch(element.GetAttributeValue(i));
      value[0] = 0;
      if (element.FindAttribute(element.GetAttributeName(i), value, 499)) total += Touch(value);
    }
    if (element.GetNextSibling().IsValid()) pending.push_back(element.GetNextSibling());
    if (element.HasChildren()) pending.push_back(element.GetFirstChild());
  }
  g_sink = total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CMarkupDoc doc;
  for (MarkupEncoding encoding : {MarkupEncoding::Utf8, MarkupEncoding::Utf16, MarkupEncoding::Ansi}) {
    if (doc.ParseBuffer(data, static_cast<DWORD>(size), encoding)) {
      Walk(doc);
    } else {
      g_sink = Touch(doc.GetErrorMessage()) + Touch(doc.GetErrorContext());
    }
  }
  return 0;
}
