// Decodes arbitrary bytes as a skin image and as animation frames, with a mask colour so that
// every conversion path runs.
#include <stb_image.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "ui/render/GifHandler.h"
#include "ui/render/RenderKit.h"

namespace {

// Large images are the loader's to refuse, not the fuzzer's to allocate: headers above these
// sizes are skipped so the run stays within its memory limit. Animations hold a canvas per
// frame, hence the smaller canvas.
constexpr long long kMaxPixels = 1 << 22;
constexpr long long kMaxCanvasPixels = 1 << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > static_cast<size_t>(INT_MAX)) return 0;
  int width = 0, height = 0, channels = 0;
  if (stbi_info_from_memory(data, static_cast<int>(size), &width, &height, &channels)) {
    const long long pixels = static_cast<long long>(width) * height;
    if (pixels > kMaxPixels) return 0;
    if (pixels > kMaxCanvasPixels && size >= 3 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F')
      return 0;
  }
  const DWORD mask = 0xFF000000;  // opaque black
  Umbra::FreeImageEntry(Umbra::CRenderKit::DecodeSkinImage(data, size, mask));
  std::unique_ptr<Umbra::CGifHandler> frames(Umbra::CRenderKit::DecodeAnimationFrames(data, size, mask));
  return 0;
}
