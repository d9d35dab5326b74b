// Reads arbitrary bytes as UTF-16 image descriptors (a zero unit separates the descriptor from
// the modifier) and draws them onto a small canvas. Only two tiny images exist, "o.tga" (opaque)
// and "a.tga" (with alpha), loaded into the host up front: a descriptor naming only those goes
// through DrawDescriptor itself; any other is drawn with its names mapped onto them, so that
// wild sources, destinations and corners still reach BlitImage and no file is ever opened.
// Those images also go straight to SoftAlphaBlend with the descriptor's rectangles.
#include <stdlib.h>
#include <tchar.h>
#include <unistd.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ui/core/UIHost.h"
#include "ui/render/Dib32.h"
#include "ui/render/ImageDescriptor.h"
#include "ui/render/RenderKit.h"

using namespace Umbra;

namespace {

constexpr int kCanvas = 24;
constexpr size_t kMaxInput = 4096;
const RECT kItem{2, 2, 22, 22};
const RECT kPaint{5, 5, 19, 19};

// An uncompressed 32-bit TGA, rows top to bottom, pixels 0xAARRGGBB.
std::string Tga(int width, int height, uint32_t (*pixel)(int, int)) {
  std::string bytes(18, '\0');
  bytes[2] = 2;  // true colour
  bytes[12] = static_cast<char>(width);
  bytes[14] = static_cast<char>(height);
  bytes[16] = 32;
  bytes[17] = 0x28;  // 8 alpha bits, top-left origin
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixel(x, y);
      for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(p >> shift);
    }
  }
  return bytes;
}

uint32_t Opaque(int x, int y) {
  return 0xFF000000u | static_cast<uint32_t>(x * 40) << 16 | static_cast<uint32_t>(y * 40);
}
uint32_t Translucent(int x, int y) { return static_cast<uint32_t>(x * 50 + y * 5) << 24 | 0x00406080u; }

struct World {
  CUIHost host;
  std::unique_ptr<Umbra::CDib32Canvas> canvas;
  HDC dc = nullptr;
  uint32_t* bits = nullptr;
  HDC imageDC = nullptr;  // "a.tga" selected, as a source for SoftAlphaBlend

  World() {
    char folder[] = "/tmp/umbra-descriptor-fuzz-XXXXXX";
    if (!mkdtemp(folder)) abort();
    const std::string opaque = std::string(folder) + "/o.tga", translucent = std::string(folder) + "/a.tga";
    Write(opaque, Tga(6, 6, Opaque));
    Write(translucent, Tga(5, 7, Translucent));
    std::u16string skin;
    for (const char* p = folder; *p; ++p) skin += static_cast<char16_t>(*p);
    const CUIString oldSkin = CUIHost::GetSkinPath();
    CUIHost::SetSkinPath(skin.c_str());
    // Both must load, one with alpha and one without, or the run would test nothing.
    UIImageEntry* o = host.AddImage(_T("o.tga"));
    UIImageEntry* a = host.AddImage(_T("a.tga"));
    if (!o || !a || o->hasAlpha || !a->hasAlpha) abort();
    imageDC = CreateCompatibleDC(nullptr);
    SelectObject(imageDC, a->bitmap);
    CUIHost::SetSkinPath(oldSkin);
    unlink(opaque.c_str());
    unlink(translucent.c_str());
    rmdir(folder);
    MakeCanvas();
  }

  static void Write(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) abort();
    fclose(f);
  }

  void MakeCanvas() {
    canvas = std::make_unique<Umbra::CDib32Canvas>(kCanvas, kCanvas);
    if (!canvas->IsValid()) abort();
    dc = canvas->GetDC();
    bits = canvas->GetBits();
  }
};

World& TheWorld() {
  static World* world = new World;  // kept for the life of the process
  return *world;
}

bool IsLoadedName(const CUIString& name) { return name == _T("o.tga") || name == _T("a.tga"); }

void CheckName(const UIImageDescriptor& state, void* context) {
  if (!IsLoadedName(state.name)) *static_cast<bool*>(context) = false;
}

int Clamped(int64_t v) { return static_cast<int>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v); }

void DrawMapped(const UIImageDescriptor& state, void* context) {
  UIImageDescriptor mapped = state;
  mapped.name = state.name.GetLength() % 2 ? _T("o.tga") : _T("a.tga");
  World& world = *static_cast<World*>(context);
  CRenderKit::DrawDescriptorImage(world.dc, &world.host, kItem, kPaint, mapped);
  // The fallback blend with the same wild rectangles.
  const RECT& d = state.dest;
  const RECT& s = state.source;
  CRenderKit::SoftAlphaBlend(
      world.dc, d.left, d.top, Clamped(int64_t{d.right} - d.left), Clamped(int64_t{d.bottom} - d.top),
      world.imageDC, s.left, s.top, Clamped(int64_t{s.right} - s.left), Clamped(int64_t{s.bottom} - s.top),
      BLENDFUNCTION{AC_SRC_OVER, 0, state.fade, static_cast<BYTE>(state.hole ? 0 : AC_SRC_ALPHA)});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  World& world = TheWorld();
  std::u16string units;
  for (size_t i = 0; i + 1 < size; i += 2) units += static_cast<char16_t>(data[i] | data[i + 1] << 8);
  const size_t split = units.find(u'\0');
  const std::u16string descriptor = units.substr(0, split);
  const bool hasModifier = split != std::u16string::npos;
  const std::u16string modifier = hasModifier ? units.substr(split + 1) : std::u16string();
  LPCWSTR modifierText = hasModifier ? modifier.c_str() : nullptr;

  for (int i = 0; i < kCanvas * kCanvas; ++i) world.bits[i] = 0x80402010u;
  UIImageDescriptor state;
  state.name = descriptor.c_str();
  state.dest = kItem;
  bool onlyLoaded = true;
  ParseImageDescriptor(descriptor.c_str(), kItem, state, CheckName, &onlyLoaded);
  ParseImageDescriptor(modifierText, kItem, state, CheckName, &onlyLoaded);
  CheckName(state, &onlyLoaded);
  if (onlyLoaded) {
    CRenderKit::DrawDescriptor(world.dc, &world.host, kItem, kPaint, descriptor.c_str(), modifierText);
    return 0;
  }
  state = UIImageDescriptor();
  state.name = descriptor.c_str();
  state.dest = kItem;
  ParseImageDescriptor(descriptor.c_str(), kItem, state, DrawMapped, &world);
  ParseImageDescriptor(modifierText, kItem, state, DrawMapped, &world);
  DrawMapped(state, &world);
  return 0;
}
