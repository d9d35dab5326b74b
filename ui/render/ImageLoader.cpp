// Image decoding: skin images and animation frames into 32-bit top-down DIB sections with
// pre-multiplied alpha.
//
// Sections: reading bytes - pixel conversion - GIF block walk - entry points.
#include <stb_image.h>

#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "ui/render/Dib32.h"
#include "ui/render/GifHandler.h"
#include "ui/render/RenderKit.h"
#include "ui/skin/ResourceLoader.h"

namespace Umbra {

void FreeImageEntry(UIImageEntry* entry) {
  if (!entry) return;
  if (entry->bitmap) DeleteObject(entry->bitmap);
  delete entry;
}

namespace {

struct StbFree {
  void operator()(void* p) const { stbi_image_free(p); }
};
using StbPixels = std::unique_ptr<stbi_uc, StbFree>;

// ---- Reading bytes ---------------------------------------------------------------------------

// The name as a file path, read whole; an empty file or a short read gives nothing.
bool ReadFilePath(LPCWSTR path, SkinResourceData& out) {
  out = {};
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD high = 0;
  const DWORD size = GetFileSize(file, &high);
  bool ok = high == 0 && size != 0 && size != INVALID_FILE_SIZE;
  if (ok) {
    out.bytes.reset(new (std::nothrow) BYTE[size]);
    DWORD read = 0;
    ok = out.bytes && ReadFile(file, out.bytes.get(), size, &read, nullptr) && read == size;
    out.size = ok ? size : 0;
  }
  CloseHandle(file);
  if (!ok) out = {};
  return ok;
}

// A module resource when a type is given, else the skin folder or archive (which also tries
// the name as a path); a string name is finally tried as a file path itself.
bool ReadImageBytes(LPCWSTR name, LPCWSTR type, SkinResourceData& out) {
  if (!name) return false;
  if (type) {
    if (ReadModuleResource(name, type, out) && out.size > 0) return true;
    return !IS_INTRESOURCE(name) && ReadFilePath(name, out);
  }
  if (IS_INTRESOURCE(name)) return false;
  return ReadSkinResource(name, SkinResourceKind::Image, out) == SkinReadResult::Ok;
}

// ---- Pixel conversion ------------------------------------------------------------------------

// Pixel bytes of frames, computed in 64 bits so that a hostile header cannot wrap the size.
bool FitsBudget(int width, int height, unsigned long long frames) {
  if (width <= 0 || height <= 0 || frames == 0) return false;
  const unsigned long long bytes = static_cast<unsigned long long>(width) * height * 4;
  return bytes <= CRenderKit::kMaxImageBytes && frames <= CRenderKit::kMaxImageBytes / bytes;
}

// RGBA into blue, green, red, alpha with the colours pre-multiplied; the mask colour, compared
// after pre-multiplication, becomes fully transparent. Returns whether any pixel is not opaque.
bool ConvertPixels(const stbi_uc* rgba, BYTE* bits, size_t count, DWORD mask) {
  bool hasAlpha = false;
  for (size_t i = 0; i < count; ++i, rgba += 4, bits += 4) {
    const unsigned a = rgba[3];
    unsigned r = rgba[0], g = rgba[1], b = rgba[2];
    if (a != 255) {
      hasAlpha = true;
      r = r * a / 255;
      g = g * a / 255;
      b = b * a / 255;
    }
    const DWORD value = (a << 24) | (r << 16) | (g << 8) | b;
    if (mask != 0 && value == mask) {
      std::memset(bits, 0, 4);
      hasAlpha = true;
      continue;
    }
    bits[0] = static_cast<BYTE>(b);
    bits[1] = static_cast<BYTE>(g);
    bits[2] = static_cast<BYTE>(r);
    bits[3] = static_cast<BYTE>(a);
  }
  return hasAlpha;
}

// A new entry holding a top-down 32-bit DIB section of the pixels; null when either fails.
UIImageEntry* MakeEntry(const stbi_uc* rgba, int width, int height, DWORD mask) {
  uint32_t* bits = nullptr;
  HBITMAP bitmap = CreateDib32(width, height, &bits);
  if (!bitmap) return nullptr;
  UIImageEntry* entry = new (std::nothrow) UIImageEntry;
  if (!entry) {
    DeleteObject(bitmap);
    return nullptr;
  }
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  entry->hasAlpha = ConvertPixels(rgba, reinterpret_cast<BYTE*>(bits), count, mask);
  entry->bitmap = bitmap;
  entry->width = width;
  entry->height = height;
  return entry;
}

// ---- GIF block walk --------------------------------------------------------------------------

bool IsGif(const BYTE* data, size_t size) {
  return size >= 6 && std::memcmp(data, "GIF8", 4) == 0 && (data[4] == '7' || data[4] == '9') &&
         data[5] == 'a';
}

// What the decoder does not report the way frames need it: the delay of each frame.
struct GifLayout {
  std::vector<int> delays;  // milliseconds, one per image in the file
};

// Skips a chain of data sub-blocks; false when the data ends first.
bool SkipSubBlocks(const BYTE* data, size_t size, size_t& pos) {
  while (pos < size) {
    const BYTE length = data[pos++];
    if (length == 0) return true;
    pos += length;
  }
  return false;
}

// Walks the blocks of a GIF, noting each image's delay: a control extension's delay field in
// hundredths of a second (0 meaning 100 ms) holds until the next one. It also rewrites
// "restore to previous" disposal as "restore to background": the decoder handles the former
// by reading outside its canvas buffer, while its background disposal already restores what
// was there before the frame.
GifLayout WalkGif(BYTE* data, size_t size) {
  GifLayout layout;
  if (size < 13) return layout;
  size_t pos = 13;
  if (data[10] & 0x80) pos += 3u * (2u << (data[10] & 7));
  int delay = 0;
  while (pos < size) {
    const BYTE code = data[pos++];
    if (code == 0x3B) break;
    if (code == 0x21) {
      if (pos >= size) break;
      const BYTE label = data[pos++];
      if (label == 0xF9) {
        // Read as the decoder reads it: a block of another length is skipped with no
        // sub-blocks after it.
        if (pos >= size) break;
        const BYTE length = data[pos++];
        if (length != 4) {
          pos += length;
          continue;
        }
        if (pos + 4 > size) break;
        BYTE& packed = data[pos];
        if (((packed >> 2) & 7) == 3) packed = static_cast<BYTE>((packed & ~0x1C) | (2 << 2));
        const int field = data[pos + 1] | (data[pos + 2] << 8);
        delay = field ? field * 10 : 100;
        pos += 4;
      }
      if (!SkipSubBlocks(data, size, pos)) break;
    } else if (code == 0x2C) {
      if (pos + 9 > size) break;
      const BYTE flags = data[pos + 8];
      pos += 9;
      if (flags & 0x80) pos += 3u * (2u << (flags & 7));
      pos += 1;  // LZW minimum code size
      if (pos > size) break;
      layout.delays.push_back(delay);
      if (!SkipSubBlocks(data, size, pos)) break;
    } else {
      break;
    }
  }
  return layout;
}

}  // namespace

// ---- Entry points ----------------------------------------------------------------------------

UIImageEntry* CRenderKit::DecodeSkinImage(const BYTE* data, size_t size, DWORD mask) {
  if (!data || size == 0 || size > static_cast<size_t>(INT_MAX)) return nullptr;
  const int length = static_cast<int>(size);
  int width = 0, height = 0, channels = 0;
  // The header is checked first so that an image too large is refused before any allocation.
  if (!stbi_info_from_memory(data, length, &width, &height, &channels)) return nullptr;
  if (!FitsBudget(width, height, 1)) return nullptr;
  StbPixels rgba(stbi_load_from_memory(data, length, &width, &height, &channels, 4));
  if (!rgba || !FitsBudget(width, height, 1)) return nullptr;
  return MakeEntry(rgba.get(), width, height, mask);
}

CGifHandler* CRenderKit::DecodeAnimationFrames(const BYTE* data, size_t size, DWORD mask) {
  CGifHandler* handler = new (std::nothrow) CGifHandler;
  if (!handler || !data || !IsGif(data, size) || size > static_cast<size_t>(INT_MAX)) return handler;
  std::unique_ptr<BYTE[]> copy(new (std::nothrow) BYTE[size]);
  if (!copy) return handler;
  std::memcpy(copy.get(), data, size);
  const GifLayout layout = WalkGif(copy.get(), size);

  const int length = static_cast<int>(size);
  int width = 0, height = 0, channels = 0, count = 0;
  if (!stbi_info_from_memory(copy.get(), length, &width, &height, &channels)) return handler;
  if (!FitsBudget(width, height, layout.delays.size())) return handler;
  int* delays = nullptr;
  StbPixels frames(
      stbi_load_gif_from_memory(copy.get(), length, &delays, &width, &height, &count, &channels, 4));
  stbi_image_free(delays);
  if (!frames || !FitsBudget(width, height, static_cast<unsigned long long>(count))) return handler;

  const size_t stride = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
  int delay = 0;
  for (int i = 0; i < count; ++i) {
    if (static_cast<size_t>(i) < layout.delays.size()) delay = layout.delays[i];
    UIImageEntry* entry = MakeEntry(frames.get() + stride * i, width, height, mask);
    if (!entry) continue;  // a frame without a bitmap is skipped
    entry->frameDelay = delay;
    handler->AddFrame(entry);
  }
  return handler;
}

UIImageEntry* CRenderKit::LoadSkinImage(LPCWSTR name, LPCWSTR type, DWORD mask) {
  SkinResourceData bytes;
  if (!ReadImageBytes(name, type, bytes)) return nullptr;
  return DecodeSkinImage(bytes.bytes.get(), bytes.size, mask);
}

CGifHandler* CRenderKit::LoadAnimationFrames(LPCWSTR name, LPCWSTR type, DWORD mask) {
  SkinResourceData bytes;
  if (!ReadImageBytes(name, type, bytes)) return nullptr;
  return DecodeAnimationFrames(bytes.bytes.get(), bytes.size, mask);
}

}  // namespace Umbra
