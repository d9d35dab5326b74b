// Loading skin files from a 2,000-entry archive: the archive kept open for the process against
// the archive opened and closed again for every load. Each iteration is 200 loads of entries
// spread over the whole central directory, which every lookup walks from its start.
#include <benchmark/benchmark.h>
#include <tchar.h>

#include <string>
#include <vector>

#include "tests/platform/TempDir.h"
#include "tests/ui/skin/ZipWriter.h"
#include "ui/core/UIHost.h"
#include "ui/skin/ResourceLoader.h"

namespace {

constexpr int kEntries = 2000;
constexpr int kLoads = 200;

std::string EntryName(int i) { return "skin/part" + std::to_string(i) + ".xml"; }

// One archive for the whole run, in a folder removed at exit.
const TempDir& ArchiveFolder() {
  static TempDir* dir = [] {
    auto* folder = new TempDir;
    std::vector<ziptest::Item> items;
    for (int i = 0; i < kEntries; ++i) {
      items.push_back(
          {EntryName(i), "<Part id=\"" + std::to_string(i) + "\">" + std::string(1000, 'x') + "</Part>"});
    }
    ziptest::WriteZipFile(*folder / "skin.zip", items);
    return folder;
  }();
  return *dir;
}

std::vector<std::u16string> Names() {
  std::vector<std::u16string> names;
  for (int i = 0; i < kLoads; ++i) {
    const std::string name = EntryName(i * (kEntries / kLoads) + 7);
    names.emplace_back(name.begin(), name.end());
  }
  return names;
}

void LoadAll(benchmark::State& state, bool keepOpen) {
  Umbra::CUIHost::SetSkinArchive(_T(""), false);
  Umbra::CUIHost::SetSkinPath(ArchiveFolder().Win().c_str());
  Umbra::CUIHost::SetSkinArchive(_T("skin.zip"), keepOpen);
  const std::vector<std::u16string> names = Names();
  for (auto _ : state) {
    for (const std::u16string& name : names) {
      Umbra::SkinResourceData data;
      if (Umbra::ReadSkinResource(name.c_str(), Umbra::SkinResourceKind::Markup, data) !=
          Umbra::SkinReadResult::Ok) {
        state.SkipWithError("load failed");
        return;
      }
      benchmark::DoNotOptimize(data.bytes.get());
    }
  }
  state.SetItemsProcessed(state.iterations() * kLoads);
  Umbra::CUIHost::SetSkinArchive(_T(""), false);
}

void BM_200LoadsArchiveKeptOpen(benchmark::State& state) { LoadAll(state, true); }
void BM_200LoadsArchiveReopenedEachTime(benchmark::State& state) { LoadAll(state, false); }

BENCHMARK(BM_200LoadsArchiveKeptOpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_200LoadsArchiveReopenedEachTime)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
