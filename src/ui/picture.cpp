#include "ui/picture.h"

#include <algorithm>

namespace ui {

TPicture TPicture::FromJpeg(const unsigned char* data, std::size_t size) {
  TPicture p;
  p.kind_ = Kind::Jpeg;
  p.data_ = std::make_shared<const std::vector<std::uint8_t>>(data, data + size);
  // Walk the markers to the first start-of-frame header, which holds the size.
  std::size_t i = 2;
  while (i + 9 < size) {
    if (data[i] != 0xFF) break;
    unsigned char marker = data[i + 1];
    if (marker == 0xFF) {
      ++i;
      continue;
    }
    std::size_t len = (data[i + 2] << 8) | data[i + 3];
    bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (sof) {
      p.height_ = (data[i + 5] << 8) | data[i + 6];
      p.width_ = (data[i + 7] << 8) | data[i + 8];
      break;
    }
    i += 2 + len;
  }
  return p;
}

TPicture TPicture::FromRgb(int width, int height, std::vector<std::uint8_t> rgb) {
  TPicture p;
  if (width <= 0 || height <= 0 || rgb.size() < static_cast<std::size_t>(width) * height * 3) return p;
  p.kind_ = Kind::Bitmap;
  p.width_ = width;
  p.height_ = height;
  p.data_ = std::make_shared<const std::vector<std::uint8_t>>(std::move(rgb));
  return p;
}

Rgb TPicture::Pixel(int x, int y) const {
  if (kind_ != Kind::Bitmap || x < 0 || y < 0 || x >= width_ || y >= height_) return {0, 0, 0};
  const auto& d = *data_;
  std::size_t i = (static_cast<std::size_t>(y) * width_ + x) * 3;
  return {d[i], d[i + 1], d[i + 2]};
}

TPicture TPicture::Crop(int x, int w) const {
  if (kind_ != Kind::Bitmap) return {};
  x = std::clamp(x, 0, width_);
  w = std::clamp(w, 0, width_ - x);
  std::vector<std::uint8_t> rgb;
  rgb.reserve(static_cast<std::size_t>(w) * height_ * 3);
  for (int y = 0; y < height_; ++y)
    for (int i = 0; i < w; ++i) {
      Rgb c = Pixel(x + i, y);
      rgb.insert(rgb.end(), {c.r, c.g, c.b});
    }
  return FromRgb(w, height_, std::move(rgb));
}

RgbaImage ToRgba(const TPicture& bitmap, bool transparent) {
  RgbaImage out;
  if (bitmap.kind() != TPicture::Kind::Bitmap) return out;
  out.width = bitmap.Width();
  out.height = bitmap.Height();
  out.rgba.reserve(static_cast<std::size_t>(out.width) * out.height * 4);
  Rgb key = bitmap.TransparentColor();
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) {
      Rgb c = bitmap.Pixel(x, y);
      std::uint8_t a = transparent && c == key ? 0 : 255;
      out.rgba.insert(out.rgba.end(), {c.r, c.g, c.b, a});
    }
  return out;
}

GlyphImages MakeGlyphImages(const TPicture& strip, int num_glyphs) {
  GlyphImages g;
  if (strip.kind() != TPicture::Kind::Bitmap) return g;
  num_glyphs = std::max(1, num_glyphs);
  int w = strip.Width() / num_glyphs;
  TPicture first = strip.Crop(0, w);
  Rgb key = first.TransparentColor();
  auto keyed = [&](const TPicture& p) {
    RgbaImage img;
    img.width = p.Width();
    img.height = p.Height();
    for (int y = 0; y < img.height; ++y)
      for (int x = 0; x < img.width; ++x) {
        Rgb c = p.Pixel(x, y);
        img.rgba.insert(img.rgba.end(), {c.r, c.g, c.b, static_cast<std::uint8_t>(c == key ? 0 : 255)});
      }
    return img;
  };
  g.enabled = keyed(first);
  if (num_glyphs >= 2) {
    g.disabled = keyed(strip.Crop(w, w));
    return g;
  }
  // Derived disabled look: an etching of the picture's dark pixels.
  RgbaImage& d = g.disabled;
  d.width = first.Width();
  d.height = first.Height();
  d.rgba.assign(static_cast<std::size_t>(d.width) * d.height * 4, 0);
  auto ink = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= d.width || y >= d.height) return false;
    Rgb c = first.Pixel(x, y);
    if (c == key) return false;
    int luma = (c.r * 30 + c.g * 59 + c.b * 11) / 100;
    return luma < 192;
  };
  auto put = [&](int x, int y, std::uint8_t v) {
    std::size_t i = (static_cast<std::size_t>(y) * d.width + x) * 4;
    d.rgba[i] = d.rgba[i + 1] = d.rgba[i + 2] = v;
    d.rgba[i + 3] = 255;
  };
  for (int y = 0; y < d.height; ++y)
    for (int x = 0; x < d.width; ++x) {
      if (ink(x, y)) put(x, y, 0x80);
      else if (ink(x - 1, y - 1)) put(x, y, 0xFF);
    }
  return g;
}

void FitProportional(int pw, int ph, int bw, int bh, int* w, int* h) {
  *w = pw;
  *h = ph;
  if (pw <= 0 || ph <= 0) return;
  if (pw <= bw && ph <= bh) return;
  // Scale by the smaller of the two ratios, in integers to avoid rounding past the box.
  if (static_cast<long long>(bw) * ph <= static_cast<long long>(bh) * pw) {
    *w = bw;
    *h = static_cast<int>(static_cast<long long>(ph) * bw / pw);
  } else {
    *h = bh;
    *w = static_cast<int>(static_cast<long long>(pw) * bh / ph);
  }
}

}  // namespace ui
