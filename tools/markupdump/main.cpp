// markupdump: parses a skin markup file and prints its element tree with every attribute,
// or the parser's error message and context. Useful to check a skin by hand.
#include "ui/skin/MarkupDoc.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string ToUtf8(LPCWSTR text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.pop_back();  // the terminator
  return out;
}

void PrintElement(const Umbra::CMarkupElement& element, int depth) {
  for (Umbra::CMarkupElement e = element; e.IsValid(); e = e.GetNextSibling()) {
    std::printf("%*s<%s>", depth * 2, "", ToUtf8(e.GetTagName()).c_str());
    for (int i = 0; i < e.GetAttributeCount(); ++i) {
      std::printf(" %s=\"%s\"", ToUtf8(e.GetAttributeName(i)).c_str(), ToUtf8(e.GetAttributeValue(i)).c_str());
    }
    std::printf("\n");
    if (e.HasChildren()) PrintElement(e.GetFirstChild(), depth + 1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: markupdump FILE\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "markupdump: cannot open %s\n", argv[1]);
    return 1;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A UTF-16 file announces itself with its byte-order mark; everything else is read as UTF-8.
  const bool utf16 = bytes.size() >= 2 && ((static_cast<unsigned char>(bytes[0]) == 0xFF &&
                                            static_cast<unsigned char>(bytes[1]) == 0xFE) ||
                                           (static_cast<unsigned char>(bytes[0]) == 0xFE &&
                                            static_cast<unsigned char>(bytes[1]) == 0xFF));
  Umbra::CMarkupDoc doc;
  if (!doc.ParseBuffer(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                       utf16 ? Umbra::MarkupEncoding::Utf16 : Umbra::MarkupEncoding::Utf8)) {
    std::fprintf(stderr, "%s: %s at \"%s\"\n", argv[1], ToUtf8(doc.GetErrorMessage()).c_str(),
                 ToUtf8(doc.GetErrorContext()).c_str());
    return 1;
  }
  if (!doc.GetRoot().IsValid()) {
    std::printf("(no elements)\n");
    return 0;
  }
  PrintElement(doc.GetRoot(), 0);
  return 0;
}
