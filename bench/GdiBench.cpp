// GDI throughput: AlphaBlend of a 512x512 image, and a 1920x1080 BitBlt against a plain memcpy
// of the same bytes.
#include <benchmark/benchmark.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// A memory DC holding a top-down 32-bit DIB filled with one pixel value.
struct Surface {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  uint32_t* bits = nullptr;

  Surface(int width, int height, uint32_t fill) {
    BITMAPINFO bmi{};
    bmi.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* p = nullptr;
    bitmap = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<uint32_t*>(p);
    for (int i = 0; i < width * height; ++i) bits[i] = fill;
    old = SelectObject(dc, bitmap);
  }
  ~Surface() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
};

constexpr int kFullW = 1920, kFullH = 1080;

void BM_AlphaBlend512(benchmark::State& state) {
  Surface src(512, 512, 0x80402010u), dst(512, 512, 0xFF808080u);
  BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(state.range(0)), AC_SRC_ALPHA};
  for (auto _ : state) {
    AlphaBlend(dst.dc, 0, 0, 512, 512, src.dc, 0, 0, 512, 512, blend);
    benchmark::DoNotOptimize(dst.bits[0]);
  }
  state.SetItemsProcessed(state.iterations() * 512 * 512);
}
BENCHMARK(BM_AlphaBlend512)->Arg(255)->Arg(128)->Unit(benchmark::kMicrosecond);

void BM_BitBlt1080p(benchmark::State& state) {
  Surface src(kFullW, kFullH, 0xFF336699u), dst(kFullW, kFullH, 0);
  for (auto _ : state) {
    BitBlt(dst.dc, 0, 0, kFullW, kFullH, src.dc, 0, 0, SRCCOPY);
    benchmark::DoNotOptimize(dst.bits[0]);
  }
  state.SetBytesProcessed(state.iterations() * kFullW * kFullH * 4);
}
BENCHMARK(BM_BitBlt1080p)->Unit(benchmark::kMicrosecond);

void BM_Memcpy1080p(benchmark::State& state) {
  std::vector<uint32_t> src(kFullW * kFullH, 0xFF336699u), dst(kFullW * kFullH);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), src.size() * 4);
    benchmark::DoNotOptimize(dst[0]);
  }
  state.SetBytesProcessed(state.iterations() * kFullW * kFullH * 4);
}
BENCHMARK(BM_Memcpy1080p)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
