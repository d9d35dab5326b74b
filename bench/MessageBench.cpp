// Message throughput: a sent message, a posted message fetched and dispatched, and a
// WM_COPYDATA round trip to a window of another process (the telephone-box peer).
#include <benchmark/benchmark.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "../tests/platform/user/PeerProcess.h"

namespace {

LRESULT CALLBACK CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER) return static_cast<LRESULT>(wParam + 1);
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND BenchWindow() {
  static HWND hwnd = [] {
    setenv("UMBRA_DISPLAY", "headless", 1);
    WNDCLASSW wc{};
    wc.lpfnWndProc = CountingProc;
    wc.lpszClassName = u"MessageBench";
    RegisterClassW(&wc);
    return CreateWindowExW(0, u"MessageBench", nullptr, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                           nullptr);
  }();
  return hwnd;
}

void BM_SendMessage(benchmark::State& state) {
  HWND hwnd = BenchWindow();
  WPARAM i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(SendMessageW(hwnd, WM_USER, i++, 0));
}
BENCHMARK(BM_SendMessage);

void BM_PostGetDispatch(benchmark::State& state) {
  HWND hwnd = BenchWindow();
  MSG msg;
  for (auto _ : state) {
    PostMessageW(hwnd, WM_USER, 1, 0);
    GetMessageW(&msg, nullptr, 0, 0);
    DispatchMessageW(&msg);
  }
}
BENCHMARK(BM_PostGetDispatch);

// The peer runs with a runtime folder of its own, so no other program's windows are involved.
void BM_CrossProcessCopyData(benchmark::State& state) {
  char folder[] = "/tmp/umbra-bench-XXXXXX";
  if (!mkdtemp(folder)) {
    state.SkipWithError("no temporary folder");
    return;
  }
  setenv("XDG_RUNTIME_DIR", folder, 1);
  setenv("UMBRA_DISPLAY", "headless", 1);
  {
    PeerProcess box(UMBRA_PHONEBOX, {"--title", "bench-box", "--log", "/dev/null"});
    HWND target = box.Ready() ? FindWindowW(nullptr, u"bench-box") : nullptr;
    if (!target) {
      state.SkipWithError("the telephone-box peer did not start");
    } else {
      static const char16_t text[] = u"mainprocloseubox1";
      COPYDATASTRUCT record{0, 18, const_cast<char16_t*>(text)};
      for (auto _ : state)
        benchmark::DoNotOptimize(SendMessageW(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record)));
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}
BENCHMARK(BM_CrossProcessCopyData)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
