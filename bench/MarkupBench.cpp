// Parsing speed of CMarkupDoc on a large generated skin, from UTF-8 bytes and from UTF-16 text,
// beside pugixml on the same bytes. Every benchmark counts the skin's UTF-8 size as the bytes
// processed, so the MB/s figures compare directly; the ratios to pugixml are printed last.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "ui/skin/MarkupDoc.h"

namespace {

constexpr size_t kSkinBytes = 4u << 20;

// One page of a login-style skin: nested layouts, controls with typical attributes, comments.
std::string Page(int n) {
  const std::string id = std::to_string(n);
  std::string page;
  page += "  <VerticalLayout name=\"page" + id +
          "\" bkcolor=\"#FFF5F7FA\" inset=\"10,10,10,10\" childpadding=\"4\">\n";
  page += "    <!-- row " + id + ": account fields and actions -->\n";
  page +=
      "    <HorizontalLayout height=\"32\" childpadding=\"6\" bordersize=\"1\" bordercolor=\"#FFD0D4DA\">\n";
  page += "      <Label name=\"label" + id +
          "\" text=\"用户名 User name\" textcolor=\"#FF333333\" font=\"1\" pos=\"10,20,110,44\" "
          "align=\"left\"/>\n";
  page += "      <Edit name=\"edit" + id +
          "\" text=\"\" tooltip=\"请输入 &quot;name&quot;\" maxchar=\"64\" textpadding=\"4,2,4,2\" "
          "normalimage=\"file='edit.png' corner='3,3,3,3'\" hotimage=\"file='edit_hot.png' "
          "corner='3,3,3,3'\"/>\n";
  page += "    </HorizontalLayout>\n";
  page += "    <HorizontalLayout height=\"40\">\n";
  page += "      <Control/>\n";
  page += "      <Button name=\"login" + id +
          "\" text=\"登录 Login &amp; more\" pos=\"10,20,110,44\" float=\"false\" "
          "normalimage=\"file='btn.png' corner='4,4,4,4'\" hotimage=\"file='btn_hot.png' corner='4,4,4,4'\" "
          "pushedimage=\"file='btn_pushed.png' corner='4,4,4,4'\" textcolor=\"#FFFFFFFF\"/>\n";
  page +=
      "      <Button name=\"cancel" + id + "\" text=\"取消\" width=\"80\" tooltip=\"Close &lt;Esc&gt;\"/>\n";
  page += "    </HorizontalLayout>\n";
  page += "  </VerticalLayout>\n";
  return page;
}

const std::string& SkinUtf8() {
  static const std::string skin = [] {
    std::string s = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- generated benchmark skin -->\n";
    s += "<Window size=\"800,600\" caption=\"0,0,0,32\" roundcorner=\"4,4\" mininfo=\"400,300\">\n";
    s += "  <Font id=\"1\" name=\"微软雅黑\" size=\"12\" bold=\"false\"/>\n";
    for (int n = 0; s.size() < kSkinBytes; ++n) s += Page(n);
    s += "</Window>\n";
    return s;
  }();
  return skin;
}

const std::u16string& SkinUtf16() {
  static const std::u16string skin = [] {
    const std::string& utf8 = SkinUtf8();
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::u16string s(static_cast<size_t>(length), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), s.data(), length);
    return s;
  }();
  return skin;
}

void SetBytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(SkinUtf8().size()));
}

void BM_MarkupDocFromUtf8(benchmark::State& state) {
  const std::string& skin = SkinUtf8();
  Umbra::CMarkupDoc doc;
  for (auto _ : state) {
    const bool ok = doc.ParseBuffer(reinterpret_cast<const BYTE*>(skin.data()),
                                    static_cast<DWORD>(skin.size()), Umbra::MarkupEncoding::Utf8);
    if (!ok) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(doc.GetRoot());
  }
  SetBytes(state);
}

void BM_MarkupDocFromUtf16(benchmark::State& state) {
  const std::u16string& skin = SkinUtf16();
  Umbra::CMarkupDoc doc;
  for (auto _ : state) {
    if (!doc.ParseText(skin.c_str())) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(doc.GetRoot());
  }
  SetBytes(state);
}

void BM_Pugixml(benchmark::State& state) {
  const std::string& skin = SkinUtf8();
  pugi::xml_document doc;
  for (auto _ : state) {
    if (!doc.load_buffer(skin.data(), skin.size(), pugi::parse_default)) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(doc.first_child());
  }
  SetBytes(state);
}

BENCHMARK(BM_MarkupDocFromUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarkupDocFromUtf16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pugixml)->Unit(benchmark::kMillisecond);

// Prints each CMarkupDoc time as a multiple of pugixml's after the usual table, from the
// median CPU time of the repetitions (--benchmark_repetitions) of each benchmark.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        m_times[run.run_name.function_name].push_back(run.GetAdjustedCPUTime());
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    const double pugi = Median("BM_Pugixml");
    if (pugi <= 0) return;
    std::printf("Skin size: %zu bytes of UTF-8\n", SkinUtf8().size());
    for (const char* name : {"BM_MarkupDocFromUtf8", "BM_MarkupDocFromUtf16"}) {
      const double time = Median(name);
      if (time > 0) std::printf("%s / BM_Pugixml time: %.2f\n", name, time / pugi);
    }
  }

 private:
  double Median(const std::string& name) {
    std::vector<double>& times = m_times[name];
    if (times.empty()) return 0;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
  }

  std::map<std::string, std::vector<double>> m_times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
