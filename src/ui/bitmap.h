// Decoding of device-independent bitmaps (BMP files) into plain RGB pixels, independent of any
// toolkit: the lamp pictures and the button glyphs are stored this way.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace talvik::ui {

struct Rgb {
  unsigned char r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;  // 3 bytes a pixel, top row first

  Rgb At(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                           static_cast<std::size_t>(x)) * 3;
    return Rgb{rgb[i], rgb[i + 1], rgb[i + 2]};
  }
};

// Decodes a BMP file held in memory: uncompressed 1, 4 and 8 bits per pixel with a palette,
// 24 and 32 bits per pixel (the fourth byte is ignored), rows stored bottom-up or top-down.
// Anything else, and any file whose headers, palette or pixels do not fit its size, gives
// nothing.
std::optional<Bitmap> DecodeBmp(const unsigned char* data, std::size_t size);

}  // namespace talvik::ui
