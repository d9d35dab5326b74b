// Image drawing: a nine-grid (corner='8,8,8,8') of a 64x64 image, opaque, with a translucent
// frame and translucent everywhere, over a 1920x1080 target, beside a plain memcpy of the same 1920x1080x4
// bytes for scale; and the host's image cache: the first load (decode) of a one-megapixel PNG against a cache
// hit. Drawing reports pixels per second as items and as the "Mpx/s" counter.
#include <benchmark/benchmark.h>
#include <stb_image_write.h>
#include <stdlib.h>
#include <tchar.h>
#include <unistd.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ui/core/UIHost.h"
#include "ui/render/Dib32.h"
#include "ui/render/RenderKit.h"

namespace {

constexpr int kTargetWidth = 1920;
constexpr int kTargetHeight = 1080;
constexpr int64_t kTargetPixels = int64_t{kTargetWidth} * kTargetHeight;

void ReportPixels(benchmark::State& state, int64_t pixelsPerIteration) {
  const double pixels = static_cast<double>(state.iterations()) * static_cast<double>(pixelsPerIteration);
  state.SetItemsProcessed(static_cast<int64_t>(pixels));
  state.counters["Mpx/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsRate);
}

// ---- Nine-grid drawing -------------------------------------------------------------------------

enum class Alpha { None, Frame, Everywhere };

// The image's alpha at (x, y): opaque; a typical skin image (translucent 8-pixel frame around an
// opaque body); or translucent everywhere, the worst case for blending.
uint32_t AlphaAt(Alpha kind, int x, int y) {
  switch (kind) {
    case Alpha::None:
      return 255;
    case Alpha::Frame:
      return x < 8 || y < 8 || x >= 56 || y >= 56 ? static_cast<uint32_t>(32 + 24 * std::min(x, y) % 200)
                                                  : 255;
    case Alpha::Everywhere:
      return static_cast<uint32_t>(64 + (y * 64 + x) % 192);
  }
  return 255;
}

void NineGrid(benchmark::State& state, Alpha kind) {
  uint32_t* imageBits = nullptr;
  HBITMAP image = Umbra::CreateDib32(64, 64, &imageBits);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      // Pre-multiplied: every colour channel at most the alpha.
      const uint32_t a = AlphaAt(kind, x, y);
      imageBits[y * 64 + x] = a << 24 | (a / 2) << 16 | (a / 3) << 8 | (a / 4);
    }
  }
  const bool alpha = kind != Alpha::None;
  Umbra::CDib32Canvas target(kTargetWidth, kTargetHeight);
  HDC dc = target.GetDC();
  const uint32_t* targetBits = target.GetBits();
  const RECT dest{0, 0, kTargetWidth, kTargetHeight}, source{0, 0, 64, 64}, corners{8, 8, 8, 8};
  for (auto _ : state) {
    Umbra::CRenderKit::BlitImage(dc, image, dest, dest, source, corners, alpha);
    benchmark::DoNotOptimize(targetBits[kTargetPixels / 2]);
  }
  ReportPixels(state, kTargetPixels);
  DeleteObject(image);
}

void BM_NineGridOpaque1080p(benchmark::State& state) { NineGrid(state, Alpha::None); }
void BM_NineGridAlphaFrame1080p(benchmark::State& state) { NineGrid(state, Alpha::Frame); }
void BM_NineGridAlphaEverywhere1080p(benchmark::State& state) { NineGrid(state, Alpha::Everywhere); }

// The floor any full-target drawing is measured against.
void BM_Memcpy1080p(benchmark::State& state) {
  std::vector<uint32_t> from(kTargetPixels, 0x80402010u), to(kTargetPixels);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size() * sizeof(uint32_t));
    benchmark::ClobberMemory();
  }
  ReportPixels(state, kTargetPixels);
  state.SetBytesProcessed(state.iterations() * kTargetPixels * 4);
}

BENCHMARK(BM_NineGridOpaque1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NineGridAlphaFrame1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NineGridAlphaEverywhere1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy1080p)->Unit(benchmark::kMillisecond);

// ---- Image cache -------------------------------------------------------------------------------

constexpr int kPngSide = 1024;

// A one-megapixel PNG with alpha in a temporary folder, removed at exit.
class PngOnDisk {
 public:
  PngOnDisk() {
    char folder[] = "/tmp/umbra-bench-XXXXXX";
    if (!mkdtemp(folder)) return;
    m_folder = folder;
    m_path = m_folder + "/card.png";
    std::vector<uint8_t> rgba(static_cast<size_t>(kPngSide) * kPngSide * 4);
    for (size_t i = 0; i < rgba.size(); i += 4) {
      const size_t pixel = i / 4, x = pixel % kPngSide, y = pixel / kPngSide;
      rgba[i] = static_cast<uint8_t>(x);
      rgba[i + 1] = static_cast<uint8_t>(y);
      rgba[i + 2] = static_cast<uint8_t>(x ^ y);
      rgba[i + 3] = static_cast<uint8_t>(255 - (x + y) / 8);
    }
    if (!stbi_write_png(m_path.c_str(), kPngSide, kPngSide, 4, rgba.data(), kPngSide * 4)) m_path.clear();
    for (char c : m_path) m_name += static_cast<WCHAR>(c);
  }
  ~PngOnDisk() {
    if (!m_path.empty()) unlink(m_path.c_str());
    if (!m_folder.empty()) rmdir(m_folder.c_str());
  }
  // The absolute path, as the image name.
  LPCWSTR name() const { return m_name.empty() ? nullptr : m_name.c_str(); }

 private:
  std::string m_folder, m_path;
  std::basic_string<WCHAR> m_name;
};

const PngOnDisk& Png() {
  static PngOnDisk png;
  return png;
}

void BM_ImageCacheFirstLoad(benchmark::State& state) {
  Umbra::CUIHost host;
  for (auto _ : state) {
    if (!host.GetOrLoadImage(Png().name())) state.SkipWithError("load failed");
    state.PauseTiming();
    host.ClearImages();
    state.ResumeTiming();
  }
  ReportPixels(state, int64_t{kPngSide} * kPngSide);
}

void BM_ImageCacheHit(benchmark::State& state) {
  Umbra::CUIHost host;
  if (!host.GetOrLoadImage(Png().name())) state.SkipWithError("load failed");
  for (auto _ : state) benchmark::DoNotOptimize(host.GetOrLoadImage(Png().name()));
}

BENCHMARK(BM_ImageCacheFirstLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageCacheHit);

}  // namespace
