// Message throughput: a sent message, and a posted message fetched and dispatched.
#include <benchmark/benchmark.h>
#include <windows.h>

#include <cstdlib>

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

}  // namespace

BENCHMARK_MAIN();
