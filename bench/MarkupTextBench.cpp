// Markup text: about 2,000 characters of mixed Latin and Chinese text with bold, colour, link
// and font tags, word-wrapped in a 400-pixel-wide rectangle, drawn (two passes per line) and
// measured (DT_CALCRECT). Reports characters per second as items.
#include <benchmark/benchmark.h>
#include <tchar.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/core/UIHost.h"
#include "ui/core/UIString.h"
#include "ui/render/Dib32.h"
#include "ui/render/RenderKit.h"

namespace {

constexpr int kWidth = 400;

std::u16string MixedText() {
  const std::u16string pieces[] = {
      u"The launcher signs you in <b>quickly</b> and keeps your account safe. ",
      u"\u767b\u5f55\u5668\u4f1a\u8bb0\u4f4f\u60a8\u7684\u8d26\u53f7\uff0c\u5e76\u5728\u542f\u52a8\u65f6"
      u"\u81ea\u52a8\u586b\u5199\u3002",
      u"Read the {c #C03020}release notes{/c} or visit <a news>the news page</a> for more. ",
      u"{f 0}\u65b0\u7248\u672c\u5305\u542b\u8bb8\u591a\u6539\u8fdb{/f}\u548c<u>\u4fee\u590d</u>\u3002 ",
  };
  std::u16string text;
  for (int i = 0; text.size() < 2000; ++i) text += pieces[i % 4];
  return text;
}

// The text's height at the bench width, measured once to size the canvas.
int MeasuredHeight(Umbra::CUIHost& host, const std::u16string& text) {
  HDC dc = CreateCompatibleDC(nullptr);
  RECT measured = {0, 0, kWidth, 100};
  int links = 0;
  Umbra::CRenderKit::DrawMarkupText(dc, &host, measured, text.c_str(), 0xFF000000, nullptr, nullptr, links,
                                    DT_WORDBREAK | DT_CALCRECT);
  DeleteDC(dc);
  return measured.bottom;
}

Umbra::CUIHost& BenchHost() {
  static Umbra::CUIHost* host = [] {
    auto* made = new Umbra::CUIHost;
    made->SetDefaultFont(_T("DejaVu Sans"), 14, false, false, false);
    made->AddFont(_T("WenQuanYi Micro Hei"), 15, false, false, false);
    return made;
  }();
  return *host;
}

struct Target {
  Umbra::CUIHost& host = BenchHost();
  std::u16string text = MixedText();
  int height = MeasuredHeight(host, text);
  Umbra::CDib32Canvas canvas{kWidth, height};
  HDC dc = canvas.GetDC();
};

void Run(benchmark::State& state, UINT style) {
  Target target;
  RECT links[16];
  Umbra::CUIString texts[16];
  for (auto _ : state) {
    RECT rc = {0, 0, kWidth, target.height};
    int count = 16;
    Umbra::CRenderKit::DrawMarkupText(target.dc, &target.host, rc, target.text.c_str(), 0xFF000000, links,
                                      texts, count, style);
    benchmark::DoNotOptimize(rc);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(target.text.size()));
  state.counters["height_px"] = target.height;
}

void BM_MarkupTextDraw(benchmark::State& state) { Run(state, DT_WORDBREAK); }
void BM_MarkupTextMeasure(benchmark::State& state) { Run(state, DT_WORDBREAK | DT_CALCRECT); }

BENCHMARK(BM_MarkupTextDraw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarkupTextMeasure)->Unit(benchmark::kMillisecond);

}  // namespace
