#include "ui/bitmap.h"

#include <cstdint>

namespace talvik::ui {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kCoreHeaderSize = 12;  // the old header with 16-bit sizes
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::uint32_t kRgb = 0;        // uncompressed
constexpr std::uint32_t kBitFields = 3;  // uncompressed, with colour masks
// Large enough for any picture of a program, small enough that a corrupt header cannot ask
// for gigabytes.
constexpr std::int64_t kMaxSide = 1 << 14;
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 24;

std::uint32_t U16(const unsigned char* p) { return p[0] | static_cast<std::uint32_t>(p[1]) << 8; }

std::uint32_t U32(const unsigned char* p) {
  return p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
         static_cast<std::uint32_t>(p[3]) << 24;
}

std::int32_t S32(const unsigned char* p) { return static_cast<std::int32_t>(U32(p)); }

}  // namespace

std::optional<Bitmap> DecodeBmp(const unsigned char* data, std::size_t size) {
  if (data == nullptr || size < kFileHeaderSize + 4) return std::nullopt;
  if (data[0] != 'B' || data[1] != 'M') return std::nullopt;
  const std::uint64_t pixels_offset = U32(data + 10);
  const std::uint64_t header_size = U32(data + kFileHeaderSize);
  if (header_size < kCoreHeaderSize || kFileHeaderSize + header_size > size) return std::nullopt;
  const unsigned char* h = data + kFileHeaderSize;

  std::int64_t width = 0, height = 0;
  std::uint32_t planes = 0, bpp = 0, compression = kRgb, colours_used = 0;
  std::size_t palette_entry = 4;
  if (header_size == kCoreHeaderSize) {
    width = U16(h + 4);
    height = U16(h + 6);
    planes = U16(h + 8);
    bpp = U16(h + 10);
    palette_entry = 3;
  } else {
    if (header_size < kInfoHeaderSize) return std::nullopt;
    width = S32(h + 4);
    height = S32(h + 8);
    planes = U16(h + 12);
    bpp = U16(h + 14);
    compression = U32(h + 16);
    colours_used = U32(h + 32);
  }
  if (planes != 1) return std::nullopt;
  const bool top_down = height < 0;
  if (top_down) height = -height;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
      width * height > kMaxPixels)
    return std::nullopt;

  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return std::nullopt;
  if (compression == kBitFields) {
    // Only the ordinary layout of 32-bit pixels (blue, green, red, unused) is taken; the masks
    // follow a 40-byte header and are part of the larger headers.
    if (bpp != 32) return std::nullopt;
    const std::size_t masks_at = kFileHeaderSize + kInfoHeaderSize;
    if (masks_at + 12 > size) return std::nullopt;
    if (U32(data + masks_at) != 0x00FF0000u || U32(data + masks_at + 4) != 0x0000FF00u ||
        U32(data + masks_at + 8) != 0x000000FFu)
      return std::nullopt;
  } else if (compression != kRgb) {
    return std::nullopt;
  }

  // The palette follows the header (and the three masks after a 40-byte header).
  std::vector<Rgb> palette;
  if (bpp <= 8) {
    const std::uint64_t most = std::uint64_t{1} << bpp;
    const std::uint64_t palette_at = kFileHeaderSize + header_size;
    std::uint64_t count = colours_used == 0 ? most : colours_used;
    if (header_size == kCoreHeaderSize) {
      // The old header states no palette size: the palette fills the room before the pixels.
      count = pixels_offset > palette_at ? (pixels_offset - palette_at) / palette_entry : 0;
      if (count > most) count = most;
    }
    if (count > most) return std::nullopt;
    if (palette_at + count * palette_entry > size) return std::nullopt;
    palette.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) {
      const unsigned char* e = data + palette_at + i * palette_entry;
      palette.push_back(Rgb{e[2], e[1], e[0]});
    }
  }

  const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bpp + 31) / 32 * 4;
  if (pixels_offset > size || stride * static_cast<std::uint64_t>(height) > size - pixels_offset)
    return std::nullopt;

  Bitmap out;
  out.width = static_cast<int>(width);
  out.height = static_cast<int>(height);
  out.rgb.resize(static_cast<std::size_t>(width * height) * 3);
  for (std::int64_t y = 0; y < height; ++y) {
    const std::int64_t stored_row = top_down ? y : height - 1 - y;
    const unsigned char* row = data + pixels_offset + static_cast<std::uint64_t>(stored_row) * stride;
    unsigned char* dst = out.rgb.data() + static_cast<std::size_t>(y * width) * 3;
    for (std::int64_t x = 0; x < width; ++x, dst += 3) {
      Rgb c;
      if (bpp <= 8) {
        const std::uint64_t bit = static_cast<std::uint64_t>(x) * bpp;
        const unsigned shift = 8 - bpp - static_cast<unsigned>(bit % 8);
        const unsigned index = (row[bit / 8] >> shift) & ((1u << bpp) - 1);
        if (index >= palette.size()) return std::nullopt;
        c = palette[index];
      } else {
        const unsigned char* p = row + static_cast<std::uint64_t>(x) * (bpp / 8);
        c = Rgb{p[2], p[1], p[0]};
      }
      dst[0] = c.r;
      dst[1] = c.g;
      dst[2] = c.b;
    }
  }
  return out;
}

}  // namespace talvik::ui
