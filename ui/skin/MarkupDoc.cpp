#include "ui/skin/MarkupDoc.h"

#include <tchar.h>

#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define UMBRA_MARKUP_SSE2 1
#endif

#if defined(__clang__) || defined(__GNUC__)
#define UMBRA_NO_ADDRESS_CHECK __attribute__((no_sanitize_address))
#else
#define UMBRA_NO_ADDRESS_CHECK
#endif

// Sections: character classes and scanning helpers; reading the input; parsing; errors;
// element handles.

namespace Umbra {

namespace {

// Recursion follows nesting, so hostile files must not nest without bound.
constexpr int kMaxDepth = 1000;
// Positions in the node table are 32-bit; the terminator must be addressable too.
constexpr size_t kMaxTextLength = INT_MAX - 1;

// The document's text is followed by this many readable units after its terminator, so that
// scans may read a block of eight units from any position up to the terminator.
constexpr size_t kTextPadding = 8;

const WCHAR kEmpty[] = _T("");

// ---- Character classes and scanning helpers ------------------------------------------------
// The scans below stop at the terminator: it is neither a blank nor a name character, and it
// ends every search. Names and the blanks inside tags are short, and there a plain loop beats
// block scans, whose every step waits on the previous one; values, text and comments are
// longer and are searched eight units at a time.

constexpr bool IsBlank(WCHAR c) { return c >= 1 && c <= 32; }

// ASCII name characters by table: names are scanned for every element and attribute.
struct AsciiNameTable {
  bool isName[128] = {};
  constexpr AsciiNameTable() {
    for (int c = '0'; c <= '9'; ++c) isName[c] = true;
    for (int c = 'A'; c <= 'Z'; ++c) isName[c] = true;
    for (int c = 'a'; c <= 'z'; ++c) isName[c] = true;
    isName[int{'_'}] = true;
    isName[int{':'}] = true;
  }
};
constexpr AsciiNameTable kAsciiNames;

inline bool IsNameChar(WCHAR c) { return c < 128 ? kAsciiNames.isName[c] : iswalnum(c) != 0; }

inline bool IsHighSurrogate(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }

inline WCHAR* SkipBlanks(WCHAR* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

// Name characters are never surrogates, so stepping by unit equals stepping by character.
inline WCHAR* SkipName(WCHAR* p) {
  while (IsNameChar(*p)) ++p;
  return p;
}

#ifdef UMBRA_MARKUP_SSE2
// Bits 2i and 2i+1 of the mask are set when unit i of the eight at p matches.
template <typename Match>
inline uint32_t BlockMask(const WCHAR* p, Match match) {
  return static_cast<uint32_t>(
      _mm_movemask_epi8(match(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)))));
}

inline __m128i Equals(__m128i units, WCHAR c) {
  return _mm_cmpeq_epi16(units, _mm_set1_epi16(static_cast<short>(c)));
}

inline WCHAR* AtLowestBit(WCHAR* p, uint32_t mask) {
#if defined(__GNUC__) || defined(__clang__)
  return p + __builtin_ctz(mask) / 2;
#else
  return p + std::countr_zero(mask) / 2;
#endif
}
#endif

// The first unit at or after p that is a NUL, the delimiter or '&'.
inline WCHAR* FindDataStop(WCHAR* p, WCHAR delimiter) {
#ifdef UMBRA_MARKUP_SSE2
  for (;; p += 8) {
    const uint32_t stops = BlockMask(p, [delimiter](__m128i units) {
      return _mm_or_si128(_mm_or_si128(Equals(units, 0), Equals(units, delimiter)), Equals(units, '&'));
    });
    if (stops != 0) return AtLowestBit(p, stops);
  }
#else
  while (*p != 0 && *p != delimiter && *p != '&') ++p;
  return p;
#endif
}

// Skips "<!...->" or "<?...?>" from the '!' or '?': just past the closing pair, or at the end.
WCHAR* SkipDeclaration(WCHAR* p) {
  const WCHAR closer = (*p == '!') ? '-' : '?';
#ifdef UMBRA_MARKUP_SSE2
  // No unit of the pair is part of a surrogate pair, so a unit-wise search finds the same place.
  for (;;) {
    const uint32_t stops = BlockMask(
        p, [closer](__m128i units) { return _mm_or_si128(Equals(units, 0), Equals(units, closer)); });
    if (stops == 0) {
      p += 8;
      continue;
    }
    p = AtLowestBit(p, stops);
    if (*p == 0) return p;
    if (p[1] == '>') return p + 2;
    ++p;
  }
#else
  while (*p != 0) {
    if (p[0] == closer && p[1] == '>') return p + 2;
    p = IsHighSurrogate(*p) ? CharNextW(p) : p + 1;
  }
  return p;
#endif
}

// wcslen for the caller's string, which has no padding. Aligned 16-byte reads never cross a
// page, so reading past the terminator within one block is safe; the address checker cannot
// know that, hence the exemption.
UMBRA_NO_ADDRESS_CHECK size_t TextLength(const WCHAR* s) {
#ifdef UMBRA_MARKUP_SSE2
  const WCHAR* p = s;
  if (reinterpret_cast<uintptr_t>(p) % sizeof(WCHAR) != 0) return wcslen(s);
  for (; reinterpret_cast<uintptr_t>(p) % 16 != 0; ++p) {
    if (*p == 0) return static_cast<size_t>(p - s);
  }
  for (;; p += 8) {
    const __m128i units = _mm_load_si128(reinterpret_cast<const __m128i*>(p));
    const uint32_t nuls = static_cast<uint32_t>(_mm_movemask_epi8(Equals(units, 0)));
    if (nuls != 0) return static_cast<size_t>(p - s) + std::countr_zero(nuls) / 2;
  }
#else
  return wcslen(s);
#endif
}

// Decodes the named entity at p (which is at '&') into out; returns its length, 0 if none.
// Comparison stops at the first mismatch, so it never reads past the terminator.
inline int DecodeEntity(const WCHAR* p, WCHAR& out) {
  struct Entity {
    const char* text;
    int length;
    WCHAR value;
  };
  static constexpr Entity kEntities[] = {
      {"&amp;", 5, '&'}, {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&quot;", 6, '"'}, {"&apos;", 6, '\''},
  };
  for (const Entity& entity : kEntities) {
    int i = 1;
    while (i < entity.length && p[i] == static_cast<WCHAR>(entity.text[i])) ++i;
    if (i == entity.length) {
      out = entity.value;
      return entity.length;
    }
  }
  return 0;
}

// Where ParseData stopped reading (at the delimiter or the terminator) and where its decoded
// text ends.
struct DataEnd {
  WCHAR* stop;
  WCHAR* end;
};

// Reads text or a quoted value up to delimiter, decoding entities in place. Positions that
// decoding freed turn into blanks, except the first one (the decoded end), which the caller
// terminates.
inline DataEnd ParseData(WCHAR* p, WCHAR delimiter) {
  // Until the first entity nothing moves, so only scanning is needed.
  WCHAR* read = FindDataStop(p, delimiter);
  WCHAR* write = read;
  while (*read == '&') {
    WCHAR decoded;
    const int length = DecodeEntity(read, decoded);
    if (length != 0) {
      *write++ = decoded;
      read += length;
    } else {
      *write++ = *read++;
    }
    // Move the run up to the next entity, delimiter or terminator in one piece.
    const WCHAR* run = read;
    read = FindDataStop(read, delimiter);
    const size_t runLength = static_cast<size_t>(read - run);
    std::memmove(write, run, runLength * sizeof(WCHAR));
    write += runLength;
  }
  for (WCHAR* fill = write + 1; fill < read; ++fill) *fill = ' ';
  return {read, write};
}

// Copies up to cchMax units of src and a terminator, never splitting a surrogate pair.
void CopyBounded(WCHAR* dst, const WCHAR* src, size_t cchMax) {
  size_t n = 0;
  WCHAR last = 0;
  for (; n < cchMax && src[n] != 0; ++n) last = src[n];
  if (n == cchMax && IsHighSurrogate(last)) --n;
  std::memcpy(dst, src, n * sizeof(WCHAR));
  dst[n] = 0;
}

}  // namespace

// ---- Reading the input -----------------------------------------------------------------------

CMarkupDoc::CMarkupDoc(LPCWSTR pstrXML) {
  if (pstrXML != nullptr) ParseText(pstrXML);
}

CMarkupDoc::~CMarkupDoc() { Clear(); }

void CMarkupDoc::Clear() {
  m_text.reset();
  m_textLength = 0;
  m_nodes.reset();
  m_nodeCount = 0;
  m_nodeCapacity = 0;
}

bool CMarkupDoc::ParseText(LPCWSTR pstrXML) {
  Clear();
  ResetError();
  if (pstrXML == nullptr) return FailInput(_T("No text to parse"));
  const size_t length = TextLength(pstrXML);
  if (!AllocateText(length)) return false;
  std::memcpy(m_text.get(), pstrXML, length * sizeof(WCHAR));
  FinishText(length);
  return Parse();
}

bool CMarkupDoc::ParseBuffer(const BYTE* pByte, DWORD dwSize, MarkupEncoding encoding) {
  Clear();
  ResetError();
  if (pByte == nullptr && dwSize != 0) return FailInput(_T("No text to parse"));
  bool read = false;
  switch (encoding) {
    case MarkupEncoding::Utf8:
      if (dwSize >= 3 && pByte[0] == 0xEF && pByte[1] == 0xBB && pByte[2] == 0xBF) {
        pByte += 3;
        dwSize -= 3;
      }
      read = ConvertCodePage(CP_UTF8, pByte, dwSize);
      break;
    case MarkupEncoding::Ansi:
      read = ConvertCodePage(CP_ACP, pByte, dwSize);
      break;
    default:
      read = CopyUtf16(pByte, dwSize);
      break;
  }
  return read && Parse();
}

bool CMarkupDoc::AllocateText(size_t length) {
  if (length > kMaxTextLength) return FailInput(_T("Text too large"));
  m_text.reset(new (std::nothrow) WCHAR[length + 1 + kTextPadding]);
  if (!m_text) return FailInput(_T("Out of memory"));
  std::memset(m_text.get() + length, 0, (1 + kTextPadding) * sizeof(WCHAR));
  return true;
}

// Every scan stops at a NUL, so a NUL inside the input ends it as the terminator would.
void CMarkupDoc::FinishText(size_t length) {
  m_text[length] = 0;
  m_textLength = static_cast<int>(length);
}

bool CMarkupDoc::ConvertCodePage(UINT codePage, const BYTE* bytes, DWORD size) {
  // MultiByteToWideChar takes an int size, and -1 would mean "up to a NUL".
  if (size > kMaxTextLength) return FailInput(_T("Text too large"));
  if (size == 0) {
    if (!AllocateText(0)) return false;
    FinishText(0);
    return true;
  }
  const auto source = reinterpret_cast<LPCSTR>(bytes);
  const int byteCount = static_cast<int>(size);
  // UTF-8 never gives more UTF-16 units than it has bytes, so converting into a buffer of that
  // size saves the size query, a second pass over the whole input.
  const int length =
      codePage == CP_UTF8 ? byteCount : MultiByteToWideChar(codePage, 0, source, byteCount, nullptr, 0);
  if (length <= 0) return FailInput(_T("Error converting text"));
  if (!AllocateText(static_cast<size_t>(length))) return false;
  const int written = MultiByteToWideChar(codePage, 0, source, byteCount, m_text.get(), length);
  if (written <= 0) return FailInput(_T("Error converting text"));
  FinishText(static_cast<size_t>(written));
  return true;
}

// UTF-16 needs its byte-order mark: without one the byte order is unknown.
bool CMarkupDoc::CopyUtf16(const BYTE* bytes, DWORD size) {
  const bool littleEndian = size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
  const bool bigEndian = size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF;
  if (!littleEndian && !bigEndian) return FailInput(_T("Missing byte-order mark"));
  const size_t count = size / 2 - 1;  // an odd trailing byte is ignored
  if (!AllocateText(count)) return false;
  WCHAR* text = m_text.get();
  std::memcpy(text, bytes + 2, count * sizeof(WCHAR));
  if (bigEndian) {
    for (size_t i = 0; i < count; ++i) text[i] = static_cast<WCHAR>((text[i] << 8) | (text[i] >> 8));
  }
  FinishText(count);
  return true;
}

// ---- Parsing -----------------------------------------------------------------------------------

// The parsing steps take the read position and return the position after what they read, or
// null once Fail has recorded an error.
bool CMarkupDoc::Parse() {
  m_nodeCount = 0;
  ResetError();
  if (AppendNode(0, 0) != 0) return FailInput(_T("Out of memory"));
  if (ParseContent(m_text.get(), 0, 0) != nullptr) return true;
  Clear();
  return false;
}

// The content of the element at index parent (0: the top level), up to its end tag. The root
// (node 1) and its direct children may be left unclosed at the end of the input.
WCHAR* CMarkupDoc::ParseContent(WCHAR* p, int parent, int depth) {
  int previous = 0;
  for (;;) {
    p = SkipBlanks(p);
    if (*p == 0 && parent <= 1) return p;
    if (*p != '<') return Fail(_T("Expected start tag"), p);
    if (p[1] == '/') return p;  // the caller reads the end tag
    *p++ = 0;
    p = SkipBlanks(p);
    if (*p == '!' || *p == '?') {
      p = SkipDeclaration(p);
      continue;
    }
    p = ParseElement(p, parent, previous, depth);
    if (p == nullptr) return nullptr;
  }
}

WCHAR* CMarkupDoc::ParseElement(WCHAR* p, int parent, int& previous, int depth) {
  WCHAR* const text = m_text.get();
  const int node = AppendNode(static_cast<int>(p - text), parent);
  if (node < 0) return Fail(_T("Out of memory"), p);
  if (previous != 0) {
    m_nodes[previous].nextSibling = node;
  } else if (parent != 0) {
    m_nodes[parent].firstChild = node;
  }
  previous = node;

  WCHAR* const name = p;
  WCHAR* const nameEnd = SkipName(p);
  if (*nameEnd == 0) return Fail(_T("Error parsing element name"), nameEnd);
  p = ParseAttributes(nameEnd);
  if (p == nullptr) return nullptr;
  p = SkipBlanks(p);
  if (p[0] == '/' && p[1] == '>') {
    m_nodes[node].dataPos = static_cast<int>(p - text);
    *p = 0;
    p += 2;
  } else if (*p != '>') {
    return Fail(_T("Expected start-tag closing"), p);
  } else {
    ++p;
    m_nodes[node].dataPos = static_cast<int>(p - text);
    p = ParseElementBody(p, node, parent, name, static_cast<size_t>(nameEnd - name), depth);
    if (p == nullptr) return nullptr;
  }
  *nameEnd = 0;
  return p;
}

// The attributes of a start tag, from just after the element name. Each ends up as a
// NUL-terminated name and, after blanks, a quote and the NUL-terminated decoded value.
WCHAR* CMarkupDoc::ParseAttributes(WCHAR* p) {
  if (*p == '>' || *p == '/') return p;
  *p++ = 0;
  p = SkipBlanks(p);
  while (*p != 0 && *p != '>' && *p != '/') {
    WCHAR* const nameEnd = SkipName(p);
    p = SkipBlanks(nameEnd);
    if (*p != '=') return Fail(_T("Error while parsing attributes"), p);
    *p++ = ' ';
    *nameEnd = 0;
    p = SkipBlanks(p);
    if (*p != '"') return Fail(_T("Expected attribute value"), p);
    const DataEnd value = ParseData(p + 1, '"');
    p = value.stop;
    if (*p == 0) return Fail(_T("Error while parsing attribute string"), p);
    *value.end = 0;
    if (value.end != p) *p = ' ';  // keeps the value and the next attribute blank-separated
    p = SkipBlanks(p + 1);
  }
  return p;
}

// The element text, the children and the end tag of an element whose start tag ended with '>'.
WCHAR* CMarkupDoc::ParseElementBody(WCHAR* p, int node, int parent, const WCHAR* name, size_t nameLength,
                                    int depth) {
  const DataEnd text = ParseData(p, '<');
  p = text.stop;
  if (*p == 0 && parent <= 1) return p;
  if (*p != '<') return Fail(_T("Expected end-tag start"), p);
  if (p[1] != '/') {
    if (text.end != p) *text.end = 0;
    if (depth + 1 >= kMaxDepth) return Fail(_T("Nesting too deep"), p);
    p = ParseContent(p, node, depth + 1);
    if (p == nullptr || *p == 0) return p;  // failed, or the root left unclosed
  }
  *text.end = 0;
  *p = 0;
  p = SkipBlanks(p + 2);
  for (size_t i = 0; i < nameLength; ++i) {
    if (p[i] != name[i]) return Fail(_T("Unmatched closing tag"), p);
  }
  p = SkipBlanks(p + nameLength);
  if (*p != '>') return Fail(_T("Unmatched closing tag"), p);
  return p + 1;
}

int CMarkupDoc::AppendNode(int namePos, int parent) {
  if (static_cast<DWORD>(m_nodeCount) >= m_nodeCapacity && !GrowNodes()) return -1;
  m_nodes[m_nodeCount] = MarkupNode{namePos, 0, 0, parent, namePos};
  return m_nodeCount++;
}

// Grows to capacity + capacity / 2 + 500 records: 500, 1250, 2375, ...
bool CMarkupDoc::GrowNodes() {
  uint64_t capacity = uint64_t{m_nodeCapacity} + m_nodeCapacity / 2 + 500;
  if (capacity > INT_MAX) capacity = INT_MAX;
  if (capacity <= static_cast<uint64_t>(m_nodeCount)) return false;
  void* grown = std::realloc(m_nodes.get(), capacity * sizeof(MarkupNode));
  if (grown == nullptr) return false;
  (void)m_nodes.release();
  m_nodes.reset(static_cast<MarkupNode*>(grown));
  m_nodeCapacity = static_cast<DWORD>(capacity);
  return true;
}

// ---- Errors ------------------------------------------------------------------------------------

void CMarkupDoc::ResetError() {
  std::memset(m_errorMessage, 0, sizeof(m_errorMessage));
  std::memset(m_errorContext, 0, sizeof(m_errorContext));
}

// Keeps the message and, as context, the text from the point of failure up to the first NUL
// the parser has written; both bounded by their buffers.
WCHAR* CMarkupDoc::Fail(LPCWSTR message, const WCHAR* at) {
  CopyBounded(m_errorMessage, message, std::size(m_errorMessage) - 1);
  CopyBounded(m_errorContext, at, std::size(m_errorContext) - 1);
  return nullptr;
}

bool CMarkupDoc::FailInput(LPCWSTR message) {
  Fail(message, kEmpty);
  return false;
}

CMarkupElement CMarkupDoc::GetRoot() const {
  if (m_nodeCount > 1) return CMarkupElement(this, 1);
  return CMarkupElement();
}

// ---- Element handles ---------------------------------------------------------------------------

CMarkupElement::CMarkupElement() : m_node(0), m_attributeCount(0), m_attributes{}, m_doc(nullptr) {}

CMarkupElement::CMarkupElement(const CMarkupDoc* doc, int node)
    : m_node(node), m_attributeCount(0), m_attributes{}, m_doc(doc) {}

// Null for an invalid handle, and for one whose document has since been cleared.
const MarkupNode* CMarkupElement::Node() const {
  if (m_doc == nullptr || m_node <= 0 || m_node >= m_doc->m_nodeCount) return nullptr;
  return &m_doc->m_nodes[m_node];
}

LPCWSTR CMarkupElement::TextAt(int pos) const { return m_doc->m_text.get() + pos; }

bool CMarkupElement::IsValid() const { return m_doc != nullptr; }

CMarkupElement CMarkupElement::GetNextSibling() const {
  const MarkupNode* node = Node();
  if (node == nullptr || node->nextSibling == 0) return CMarkupElement();
  return CMarkupElement(m_doc, node->nextSibling);
}

CMarkupElement CMarkupElement::GetFirstChild() const {
  const MarkupNode* node = Node();
  if (node == nullptr || node->firstChild == 0) return CMarkupElement();
  return CMarkupElement(m_doc, node->firstChild);
}

bool CMarkupElement::HasChildren() const {
  const MarkupNode* node = Node();
  return node != nullptr && node->firstChild != 0;
}

LPCWSTR CMarkupElement::GetTagName() const {
  const MarkupNode* node = Node();
  return node != nullptr ? TextAt(node->namePos) : nullptr;
}

int CMarkupElement::GetAttributeCount() const {
  if (m_attributeCount == 0) MapAttributes();
  return m_attributeCount;
}

bool CMarkupElement::HasAttributes() const { return GetAttributeCount() > 0; }

LPCWSTR CMarkupElement::GetAttributeName(int index) const {
  if (Node() == nullptr) return nullptr;
  if (index < 0 || index >= GetAttributeCount()) return kEmpty;
  return TextAt(m_attributes[index].name);
}

LPCWSTR CMarkupElement::GetAttributeValue(int index) const {
  if (Node() == nullptr) return nullptr;
  if (index < 0 || index >= GetAttributeCount()) return kEmpty;
  return TextAt(m_attributes[index].value);
}

bool CMarkupElement::FindAttribute(LPCWSTR pstrName, LPWSTR pstrValue, int cchMax) const {
  if (Node() == nullptr || pstrName == nullptr) return false;
  const int count = GetAttributeCount();
  for (int i = 0; i < count; ++i) {
    if (wcscmp(TextAt(m_attributes[i].name), pstrName) != 0) continue;
    if (pstrValue != nullptr) CopyBounded(pstrValue, TextAt(m_attributes[i].value), cchMax > 0 ? cchMax : 0);
    return true;
  }
  return false;
}

// Walks the rewritten start tag: after the name's NUL come blank-separated pairs of a
// NUL-terminated name, blanks, a quote and a NUL-terminated value. Every step is bounded by
// dataPos and the text's end, so a tag that ends the text is never read past.
void CMarkupElement::MapAttributes() const {
  m_attributeCount = 0;
  const MarkupNode* node = Node();
  if (node == nullptr) return;
  const WCHAR* const text = m_doc->m_text.get();
  const WCHAR* const end = text + (node->dataPos < m_doc->m_textLength ? node->dataPos : m_doc->m_textLength);
  auto skipPastNul = [end](const WCHAR* p) {
    while (p < end && *p != 0) ++p;
    return p < end ? p + 1 : end;
  };
  auto skipBlanks = [end](const WCHAR* p) {
    while (p < end && IsBlank(*p)) ++p;
    return p;
  };

  const WCHAR* p = skipPastNul(text + node->namePos);
  while (p < end && m_attributeCount < kMaxAttributes) {
    p = skipBlanks(p);
    const WCHAR* const name = p;
    p = skipBlanks(skipPastNul(p));
    if (p >= end || *p != '"') break;
    ++p;
    m_attributes[m_attributeCount++] = {static_cast<int>(name - text), static_cast<int>(p - text)};
    p = skipPastNul(p);
  }
}

}  // namespace Umbra
