// Pictures held by images and buttons: JPEG data (decoded by the toolkit) or a decoded
// bitmap (RGB pixels, top row first).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "ui/types.h"

namespace ui {

class TPicture {
 public:
  enum class Kind { NoPicture, Jpeg, Bitmap };

  TPicture() = default;
  // JPEG data; the size is read from the data's frame header (0 by 0 when none is found).
  static TPicture FromJpeg(const unsigned char* data, std::size_t size);
  // RGB pixels, 3 bytes each, rows top first.
  static TPicture FromRgb(int width, int height, std::vector<std::uint8_t> rgb);

  Kind kind() const { return kind_; }
  bool Empty() const { return kind_ == Kind::NoPicture; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  const std::vector<std::uint8_t>& Data() const { return *data_; }  // JPEG bytes or RGB
  Rgb Pixel(int x, int y) const;  // bitmaps only
  // The transparent colour of a bitmap: its bottom-left pixel.
  Rgb TransparentColor() const { return Pixel(0, height_ - 1); }

  // The part [x, x + w) of a bitmap.
  TPicture Crop(int x, int w) const;

 private:
  Kind kind_ = Kind::NoPicture;
  int width_ = 0, height_ = 0;
  std::shared_ptr<const std::vector<std::uint8_t>> data_ =
      std::make_shared<const std::vector<std::uint8_t>>();
};

// RGBA pixels ready to draw.
struct RgbaImage {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgba;
  std::uint8_t Alpha(int x, int y) const { return rgba[(y * width + x) * 4 + 3]; }
};

// A bitmap with its transparent colour's pixels made fully transparent (or opaque as stored).
RgbaImage ToRgba(const TPicture& bitmap, bool transparent);

// The two looks of a button glyph. A strip of two stores both (enabled left, disabled right);
// a single picture gets its disabled look derived: its dark pixels become a grey etching with
// a white highlight one pixel down and right. The bottom-left pixel's colour is transparent
// throughout.
struct GlyphImages {
  RgbaImage enabled, disabled;
};
GlyphImages MakeGlyphImages(const TPicture& strip, int num_glyphs);

// The size a picture is drawn at in a box that scales down in proportion, never enlarging.
void FitProportional(int picture_w, int picture_h, int box_w, int box_h, int* w, int* h);

}  // namespace ui
