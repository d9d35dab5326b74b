// Text drawing: DrawTextW of 2,000 characters of mixed Latin and Chinese text, word-wrapped into
// a 400-pixel column of a 32-bit DIB, and the same text measured with DT_CALCRECT.
#include <benchmark/benchmark.h>
#include <windows.h>

#include <string>

namespace {

std::u16string MixedText() {
  const std::u16string piece = u"Login to the Quorvel launcher 登录启动器并开始游戏，请输入账号和密码。 ";
  std::u16string text;
  while (text.size() < 2000) text += piece;
  text.resize(2000);
  return text;
}

struct Canvas {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = nullptr;
  HFONT font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"DejaVu Sans");
  Canvas() {
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = 400;
    bmi.bmiHeader.biHeight = -1000;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bitmap = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    SelectObject(dc, bitmap);
    SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
  }
  ~Canvas() {
    DeleteDC(dc);
    DeleteObject(bitmap);
    DeleteObject(font);
  }
};

void BM_DrawTextWrappedMixed(benchmark::State& state) {
  Canvas canvas;
  const std::u16string text = MixedText();
  for (auto _ : state) {
    RECT rect{0, 0, 400, 1000};
    benchmark::DoNotOptimize(
        DrawTextW(canvas.dc, text.data(), static_cast<int>(text.size()), &rect, DT_WORDBREAK));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_DrawTextWrappedMixed)->Unit(benchmark::kMicrosecond);

void BM_MeasureTextWrappedMixed(benchmark::State& state) {
  Canvas canvas;
  const std::u16string text = MixedText();
  for (auto _ : state) {
    RECT rect{0, 0, 400, 1000};
    benchmark::DoNotOptimize(
        DrawTextW(canvas.dc, text.data(), static_cast<int>(text.size()), &rect, DT_WORDBREAK | DT_CALCRECT));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_MeasureTextWrappedMixed)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
