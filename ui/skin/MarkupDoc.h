#pragma once

#include <windows.h>

#include <cstdlib>
#include <memory>

namespace Umbra {

// How ParseBuffer reads its bytes. Any value other than Utf8 and Ansi is read as UTF-16 and
// must begin with a byte-order mark.
enum class MarkupEncoding : int {
  Utf8 = 0,
  Utf16 = 1,
  Ansi = 2,  // the system ANSI code page
};

// One element of a parsed document. Positions index the document's text; node indices index
// its node table, where 0 means "no node".
struct MarkupNode {
  int namePos;
  int firstChild;
  int nextSibling;
  int parent;
  int dataPos;  // just after the start tag's '>', or at the '/' of an empty-element tag
};

class CMarkupDoc;

// A light handle to one element of a CMarkupDoc, copied freely. It stays usable while its
// document is neither re-parsed nor cleared. Attribute positions are found on first use and
// cached in the handle; only the first kMaxAttributes attributes are visible.
class CMarkupElement {
 public:
  static constexpr int kMaxAttributes = 64;

  CMarkupElement();

  bool IsValid() const;
  CMarkupElement GetNextSibling() const;
  CMarkupElement GetFirstChild() const;
  bool HasChildren() const;
  LPCWSTR GetTagName() const;

  int GetAttributeCount() const;
  bool HasAttributes() const;
  // An empty string for an index outside 0..count-1.
  LPCWSTR GetAttributeName(int index) const;
  LPCWSTR GetAttributeValue(int index) const;
  // Copies the value of the first attribute named exactly pstrName into pstrValue: at most
  // cchMax characters and a terminator, so the buffer must hold cchMax + 1 characters.
  bool FindAttribute(LPCWSTR pstrName, LPWSTR pstrValue, int cchMax) const;

 private:
  friend class CMarkupDoc;

  struct AttributePos {
    int name;
    int value;
  };

  CMarkupElement(const CMarkupDoc* doc, int node);
  const MarkupNode* Node() const;
  void MapAttributes() const;
  LPCWSTR TextAt(int pos) const;

  int m_node;
  mutable int m_attributeCount;  // 0: not scanned yet
  mutable AttributePos m_attributes[kMaxAttributes];
  const CMarkupDoc* m_doc;  // null: the handle is invalid
};

// Parses skin markup in place: the document keeps one UTF-16 copy of the input, writes
// terminators and decoded text into it, and hands out pointers into that copy.
class CMarkupDoc {
 public:
  explicit CMarkupDoc(LPCWSTR pstrXML = nullptr);
  ~CMarkupDoc();
  CMarkupDoc(const CMarkupDoc&) = delete;
  CMarkupDoc& operator=(const CMarkupDoc&) = delete;

  // The caller's string is copied, never modified.
  bool ParseText(LPCWSTR pstrXML);
  bool ParseBuffer(const BYTE* pByte, DWORD dwSize, MarkupEncoding encoding = MarkupEncoding::Utf8);
  // Reads a skin-relative markup file through the resource locator (skin folder or archive)
  // and parses it; on failure the error message says which step failed.
  bool ParseFile(LPCWSTR pstrFilename, MarkupEncoding encoding = MarkupEncoding::Utf8);
  void Clear();

  // Node 1 when the document holds an element, else an invalid handle.
  CMarkupElement GetRoot() const;
  LPCWSTR GetErrorMessage() const { return m_errorMessage; }
  LPCWSTR GetErrorContext() const { return m_errorContext; }

 private:
  friend class CMarkupElement;

  struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
  };

  bool AllocateText(size_t length);
  void FinishText(size_t length);
  bool ConvertCodePage(UINT codePage, const BYTE* bytes, DWORD size);
  bool CopyUtf16(const BYTE* bytes, DWORD size);

  bool Parse();
  WCHAR* ParseContent(WCHAR* p, int parent, int depth);
  WCHAR* ParseElement(WCHAR* p, int parent, int& previous, int depth);
  WCHAR* ParseAttributes(WCHAR* p);
  WCHAR* ParseElementBody(WCHAR* p, int node, int parent, const WCHAR* name, size_t nameLength, int depth);
  int AppendNode(int namePos, int parent);
  bool GrowNodes();

  void ResetError();
  // Record the error; the context is the text at the point of failure, or empty for errors
  // about the input as a whole.
  WCHAR* Fail(LPCWSTR message, const WCHAR* at);
  bool FailInput(LPCWSTR message);

  std::unique_ptr<WCHAR[]> m_text;
  int m_textLength = 0;  // units before the terminator
  std::unique_ptr<MarkupNode[], FreeDeleter> m_nodes;
  int m_nodeCount = 0;
  DWORD m_nodeCapacity = 0;
  WCHAR m_errorMessage[100] = {};
  WCHAR m_errorContext[50] = {};
};

}  // namespace Umbra
