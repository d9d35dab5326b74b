// Icons: decoding ICO and PNG data, the icon handle table, and LoadIconW, LoadImageW and
// DestroyIcon over module resources (RT_GROUP_ICON entries hold the icon file) or files.
//
// Sections: decoding - handle table - entry points.
#include "user/icon.h"

#include <stb_image.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <unordered_map>

namespace umbra::user {
namespace {

// ---- Decoding --------------------------------------------------------------------------------

// Anything larger is not an icon; refusing it keeps a bad header from asking for gigabytes.
constexpr int kMaxSide = 4096;

constexpr BYTE kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

uint32_t ReadU32(const BYTE* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t ReadU16(const BYTE* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

bool IsPng(const BYTE* data, size_t size) {
  return size >= sizeof kPngSignature && std::memcmp(data, kPngSignature, sizeof kPngSignature) == 0;
}

bool DecodePng(const BYTE* data, size_t size, IconImage& image) {
  if (size > static_cast<size_t>(INT32_MAX)) return false;
  int width = 0, height = 0, channels = 0;
  const int length = static_cast<int>(size);
  if (!stbi_info_from_memory(data, length, &width, &height, &channels)) return false;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
  stbi_uc* rgba = stbi_load_from_memory(data, length, &width, &height, &channels, 4);
  if (!rgba) return false;
  image.width = width;
  image.height = height;
  image.pixels.resize(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < image.pixels.size(); ++i) {
    const stbi_uc* p = rgba + i * 4;
    image.pixels[i] = (static_cast<uint32_t>(p[3]) << 24) | (p[0] << 16) | (p[1] << 8) | p[2];
  }
  stbi_image_free(rgba);
  return true;
}

// A 32-bit DIB as icons store it: BITMAPINFOHEADER, bottom-up colour rows of twice the icon's
// height (colour image, then the 1-bit AND mask). Old icons leave the alpha channel empty and
// rely on the mask alone.
bool DecodeDib(const BYTE* data, size_t size, IconImage& image) {
  if (size < 40) return false;
  const uint32_t headerSize = ReadU32(data);
  const auto width = static_cast<int32_t>(ReadU32(data + 4));
  const auto doubledHeight = static_cast<int32_t>(ReadU32(data + 8));
  const uint16_t bitCount = ReadU16(data + 14);
  const uint32_t compression = ReadU32(data + 16);
  const uint32_t coloursUsed = ReadU32(data + 32);
  if (headerSize < 40 || headerSize > size || bitCount != 32 || compression != 0 || coloursUsed > 256)
    return false;
  const int height = doubledHeight / 2;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;

  const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
  const size_t colourOffset = headerSize + coloursUsed * 4;
  const size_t colourBytes = w * 4 * h;
  const size_t maskRow = (w + 31) / 32 * 4;
  if (colourOffset > size || colourBytes > size - colourOffset) return false;
  const BYTE* colours = data + colourOffset;
  const BYTE* mask = size - colourOffset - colourBytes >= maskRow * h ? colours + colourBytes : nullptr;

  image.width = width;
  image.height = height;
  image.pixels.resize(w * h);
  bool anyAlpha = false;
  for (size_t y = 0; y < h; ++y) {
    const BYTE* row = colours + (h - 1 - y) * w * 4;
    for (size_t x = 0; x < w; ++x) {
      image.pixels[y * w + x] = ReadU32(row + x * 4);
      anyAlpha = anyAlpha || row[x * 4 + 3] != 0;
    }
  }
  if (anyAlpha) return true;
  for (size_t y = 0; y < h; ++y) {
    const BYTE* row = mask ? mask + (h - 1 - y) * maskRow : nullptr;
    for (size_t x = 0; x < w; ++x) {
      const bool transparent = row && (row[x / 8] & (0x80 >> (x % 8)));
      uint32_t& pixel = image.pixels[y * w + x];
      pixel = transparent ? 0 : (pixel | 0xFF000000u);
    }
  }
  return true;
}

struct IcoEntry {
  int width;
  int height;
  const BYTE* data;
  size_t size;
};

std::vector<IcoEntry> ReadIcoDirectory(const BYTE* data, size_t size) {
  std::vector<IcoEntry> entries;
  if (size < 6 || ReadU16(data) != 0 || ReadU16(data + 2) != 1) return entries;
  const size_t count = ReadU16(data + 4);
  if (count * 16 > size - 6) return entries;
  for (size_t i = 0; i < count; ++i) {
    const BYTE* e = data + 6 + i * 16;
    const size_t bytes = ReadU32(e + 8), offset = ReadU32(e + 12);
    if (offset > size || bytes > size - offset) continue;
    entries.push_back({e[0] ? e[0] : 256, e[1] ? e[1] : 256, data + offset, bytes});
  }
  return entries;
}

// Best first: the largest when no size is asked for; else the smallest that covers the size,
// then the rest from the largest down.
void OrderByFit(std::vector<IcoEntry>& entries, int width, int height) {
  auto area = [](const IcoEntry& e) { return static_cast<long>(e.width) * e.height; };
  auto covers = [&](const IcoEntry& e) { return width > 0 && e.width >= width && e.height >= height; };
  std::stable_sort(entries.begin(), entries.end(), [&](const IcoEntry& a, const IcoEntry& b) {
    if (covers(a) != covers(b)) return covers(a);
    return covers(a) ? area(a) < area(b) : area(a) > area(b);
  });
}

bool DecodeImage(const BYTE* data, size_t size, IconImage& image) {
  return IsPng(data, size) ? DecodePng(data, size, image) : DecodeDib(data, size, image);
}

void ScaleTo(IconImage& image, int width, int height) {
  if (image.width == width && image.height == height) return;
  std::vector<uint32_t> scaled(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    const size_t sy = static_cast<size_t>(y) * image.height / height;
    for (int x = 0; x < width; ++x) {
      const size_t sx = static_cast<size_t>(x) * image.width / width;
      scaled[static_cast<size_t>(y) * width + x] = image.pixels[sy * image.width + sx];
    }
  }
  image.width = width;
  image.height = height;
  image.pixels = std::move(scaled);
}

}  // namespace

bool DecodeIcon(const BYTE* data, size_t size, int width, int height, IconImage& image) {
  if (!data || width < 0 || height < 0 || width > kMaxSide || height > kMaxSide) return false;
  bool decoded = false;
  if (IsPng(data, size)) {
    decoded = DecodePng(data, size, image);
  } else {
    std::vector<IcoEntry> entries = ReadIcoDirectory(data, size);
    OrderByFit(entries, width, height);
    for (const IcoEntry& entry : entries) {
      if ((decoded = DecodeImage(entry.data, entry.size, image))) break;
    }
  }
  if (decoded && width > 0 && height > 0) ScaleTo(image, width, height);
  return decoded;
}

// ---- Handle table ------------------------------------------------------------------------------

namespace {

struct IconObject {
  IconImage image;
  bool shared;  // handed out again on later loads; DestroyIcon leaves it alone
};

// Shared icons are found again by their source (resource bytes or stock identifier) and size.
using SharedKey = std::tuple<const void*, int, int>;

struct IconTable {
  std::mutex lock;
  std::unordered_map<HICON, std::unique_ptr<IconObject>> icons;
  std::map<SharedKey, HICON> shared;
  // A range apart from kernel and GDI handles, so that a handle of the wrong family is refused.
  uintptr_t next = 0x60000000;
};

IconTable& Icons() {
  static IconTable* table = new IconTable;  // never destroyed: icons may be destroyed at exit
  return *table;
}

HICON FindShared(const SharedKey& key) {
  IconTable& table = Icons();
  std::lock_guard guard(table.lock);
  auto it = table.shared.find(key);
  return it == table.shared.end() ? nullptr : it->second;
}

HICON Register(IconImage image, const SharedKey* sharedKey) {
  IconTable& table = Icons();
  std::lock_guard guard(table.lock);
  if (sharedKey) {
    auto it = table.shared.find(*sharedKey);
    if (it != table.shared.end()) return it->second;
  }
  HICON handle = reinterpret_cast<HICON>(table.next);
  table.next += 4;
  table.icons.emplace(handle,
                      std::make_unique<IconObject>(IconObject{std::move(image), sharedKey != nullptr}));
  if (sharedKey) table.shared.emplace(*sharedKey, handle);
  return handle;
}

HICON MakeIcon(const BYTE* data, size_t size, int width, int height, const void* sharedSource) {
  const SharedKey key{sharedSource, width, height};
  if (sharedSource) {
    if (HICON icon = FindShared(key)) return icon;
  }
  IconImage image;
  if (!DecodeIcon(data, size, width, height, image)) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  return Register(std::move(image), sharedSource ? &key : nullptr);
}

// The system's predefined icons (IDI_APPLICATION ...): shared, transparent, of the standard size.
HICON StockIcon(LPCWSTR name) {
  const auto id = reinterpret_cast<ULONG_PTR>(name);
  if (!IS_INTRESOURCE(name) || id < 32512 || id > 32518) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  static const char kStockSources[7] = {};
  const SharedKey key{&kStockSources[id - 32512], 32, 32};
  if (HICON icon = FindShared(key)) return icon;
  IconImage image;
  image.width = image.height = 32;
  image.pixels.assign(32 * 32, 0);
  return Register(std::move(image), &key);
}

HICON LoadFromResource(HINSTANCE instance, LPCWSTR name, int width, int height, bool shared) {
  HRSRC resource = FindResourceW(instance, name, RT_GROUP_ICON);
  if (!resource) return nullptr;
  const DWORD size = SizeofResource(instance, resource);
  const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(instance, resource)));
  if (!data) return nullptr;
  return MakeIcon(data, size, width, height, shared ? data : nullptr);
}

HICON LoadFromFile(LPCWSTR path, int width, int height) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  DWORD high = 0;
  const DWORD size = GetFileSize(file, &high);
  std::vector<BYTE> bytes;
  DWORD read = 0;
  bool ok = size != INVALID_FILE_SIZE && high == 0 && size <= 64u << 20;
  if (ok) {
    bytes.resize(size);
    ok = ReadFile(file, bytes.data(), size, &read, nullptr) && read == size;
  }
  CloseHandle(file);
  if (!ok) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  return MakeIcon(bytes.data(), bytes.size(), width, height, nullptr);
}

}  // namespace

const IconImage* LookupIcon(HICON icon) {
  IconTable& table = Icons();
  std::lock_guard guard(table.lock);
  auto it = table.icons.find(icon);
  return it == table.icons.end() ? nullptr : &it->second->image;
}

}  // namespace umbra::user

// ---- Entry points --------------------------------------------------------------------------------

// Icons from a module come at the size of their largest image, the best choice for a window
// icon on desktops that scale it themselves.
HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
  if (!hInstance) return umbra::user::StockIcon(lpIconName);
  return umbra::user::LoadFromResource(hInstance, lpIconName, 0, 0, true);
}

HANDLE WINAPI LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy, UINT fuLoad) {
  if (type != IMAGE_ICON) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  if (cx < 0 || cy < 0 || !name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  constexpr int kDefaultIconSize = 32;  // SM_CXICON
  if (fuLoad & LR_DEFAULTSIZE) {
    if (cx == 0) cx = kDefaultIconSize;
    if (cy == 0) cy = kDefaultIconSize;
  }
  if (cx == 0 || cy == 0) cx = cy = 0;  // one side alone: take the image's own size
  if (fuLoad & LR_LOADFROMFILE) return umbra::user::LoadFromFile(name, cx, cy);
  if (!hInst) return umbra::user::StockIcon(name);
  return umbra::user::LoadFromResource(hInst, name, cx, cy, (fuLoad & LR_SHARED) != 0);
}

BOOL WINAPI DestroyIcon(HICON hIcon) {
  auto& table = umbra::user::Icons();
  std::lock_guard guard(table.lock);
  auto it = table.icons.find(hIcon);
  if (it == table.icons.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!it->second->shared) table.icons.erase(it);
  return TRUE;
}
