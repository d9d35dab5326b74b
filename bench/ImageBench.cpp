// Decoding skin images into pre-multiplied DIB sections: a one-megapixel PNG with alpha and a
// one-megapixel JPEG, each decoded whole per iteration (what the host's image table pays once
// per image). Items processed are pixels, so the rate reads as pixels per second.
#include <benchmark/benchmark.h>
#include <stb_image_write.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/render/RenderKit.h"

namespace {

constexpr int kSide = 1024;

void Append(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

// A gradient with varying alpha, so pre-multiplication runs on most pixels.
std::vector<uint8_t> TestCard() {
  std::vector<uint8_t> rgba(static_cast<size_t>(kSide) * kSide * 4);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      uint8_t* p = &rgba[(static_cast<size_t>(y) * kSide + x) * 4];
      p[0] = static_cast<uint8_t>(x);
      p[1] = static_cast<uint8_t>(y);
      p[2] = static_cast<uint8_t>(x ^ y);
      p[3] = static_cast<uint8_t>(255 - (x + y) / 8);
    }
  }
  return rgba;
}

std::string Encode(bool jpeg) {
  const std::vector<uint8_t> rgba = TestCard();
  std::string out;
  if (jpeg) {
    stbi_write_jpg_to_func(Append, &out, kSide, kSide, 4, rgba.data(), 90);
  } else {
    stbi_write_png_to_func(Append, &out, kSide, kSide, 4, rgba.data(), kSide * 4);
  }
  return out;
}

void Decode(benchmark::State& state, bool jpeg) {
  const std::string bytes = Encode(jpeg);
  for (auto _ : state) {
    Umbra::UIImageEntry* entry =
        Umbra::CRenderKit::DecodeSkinImage(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size(), 0);
    if (!entry) state.SkipWithError("decode failed");
    Umbra::FreeImageEntry(entry);
  }
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

void BM_DecodePngMegapixel(benchmark::State& state) { Decode(state, false); }
void BM_DecodeJpegMegapixel(benchmark::State& state) { Decode(state, true); }

}  // namespace

BENCHMARK(BM_DecodePngMegapixel)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeJpegMegapixel)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
