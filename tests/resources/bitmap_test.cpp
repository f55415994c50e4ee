// The bitmap decoder: every stored depth and row order, and malformed files rejected without
// reading outside the given bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/bitmap.h"

namespace talvik::ui {
namespace {

using Bytes = std::vector<unsigned char>;

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<unsigned char>(v);
  b[at + 1] = static_cast<unsigned char>(v >> 8);
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

// A BMP file with a 40-byte header. rows are the stored pixel bytes of each row, top row
// first, without padding; they are written bottom-up unless top_down.
struct BmpFile {
  int width = 0;
  int height = 0;
  int bpp = 24;
  bool top_down = false;
  std::vector<Rgb> palette;
  std::vector<Bytes> rows;

  Bytes Build() const {
    const std::size_t stride = (static_cast<std::size_t>(width) * bpp + 31) / 32 * 4;
    const std::size_t offset = 14 + 40 + palette.size() * 4;
    Bytes b(offset + stride * rows.size(), 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    Put32(b, 10, static_cast<std::uint32_t>(offset));
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<std::uint32_t>(width));
    Put32(b, 22, static_cast<std::uint32_t>(top_down ? -height : height));
    Put16(b, 26, 1);
    Put16(b, 28, static_cast<std::uint32_t>(bpp));
    Put32(b, 46, static_cast<std::uint32_t>(palette.size()));
    for (std::size_t i = 0; i < palette.size(); ++i) {
      b[54 + i * 4] = palette[i].b;
      b[54 + i * 4 + 1] = palette[i].g;
      b[54 + i * 4 + 2] = palette[i].r;
    }
    for (std::size_t y = 0; y < rows.size(); ++y) {
      const std::size_t stored = top_down ? y : rows.size() - 1 - y;
      std::copy(rows[y].begin(), rows[y].end(), b.begin() + offset + stored * stride);
    }
    return b;
  }
};

std::optional<Bitmap> Decode(const Bytes& b) { return DecodeBmp(b.data(), b.size()); }

const Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255},
    kBlack{0, 0, 0}, kOlive{128, 128, 0};

// 3 by 2 pixels in 24 bits: rows of 9 bytes, padded to 12.
BmpFile ThreeByTwo() {
  BmpFile f;
  f.width = 3;
  f.height = 2;
  f.rows = {{0, 0, 255, 0, 255, 0, 255, 0, 0},   // red, green, blue (stored blue first)
            {255, 255, 255, 0, 0, 0, 0, 128, 128}};  // white, black, olive
  return f;
}

void ExpectThreeByTwo(const std::optional<Bitmap>& bmp) {
  ASSERT_TRUE(bmp.has_value());
  EXPECT_EQ(bmp->width, 3);
  EXPECT_EQ(bmp->height, 2);
  ASSERT_EQ(bmp->rgb.size(), 18u);
  EXPECT_EQ(bmp->At(0, 0), kRed);
  EXPECT_EQ(bmp->At(1, 0), kGreen);
  EXPECT_EQ(bmp->At(2, 0), kBlue);
  EXPECT_EQ(bmp->At(0, 1), kWhite);
  EXPECT_EQ(bmp->At(1, 1), kBlack);
  EXPECT_EQ(bmp->At(2, 1), kOlive);
}

TEST(DecodeBmp, TrueColourRowsComeOutTopFirstWhicheverWayTheyAreStored) {
  BmpFile f = ThreeByTwo();
  ExpectThreeByTwo(Decode(f.Build()));
  f.top_down = true;
  ExpectThreeByTwo(Decode(f.Build()));
}

TEST(DecodeBmp, ThirtyTwoBitPixelsIgnoreTheFourthByte) {
  BmpFile f;
  f.width = 2;
  f.height = 1;
  f.bpp = 32;
  f.rows = {{0, 0, 255, 0x7F, 255, 0, 0, 0xFF}};
  auto bmp = Decode(f.Build());
  ASSERT_TRUE(bmp.has_value());
  EXPECT_EQ(bmp->At(0, 0), kRed);
  EXPECT_EQ(bmp->At(1, 0), kBlue);
}

TEST(DecodeBmp, ThirtyTwoBitPixelsWithTheOrdinaryColourMasks) {
  // A 40-byte header, compression 3 and the three masks right after the header.
  Bytes b(14 + 40 + 12 + 4, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 10, 14 + 40 + 12);
  Put32(b, 14, 40);
  Put32(b, 18, 1);
  Put32(b, 22, 1);
  Put16(b, 26, 1);
  Put16(b, 28, 32);
  Put32(b, 30, 3);
  Put32(b, 54, 0x00FF0000);
  Put32(b, 58, 0x0000FF00);
  Put32(b, 62, 0x000000FF);
  b[66] = 0;  // blue
  b[67] = 255;
  b[68] = 0;
  auto bmp = Decode(b);
  ASSERT_TRUE(bmp.has_value());
  EXPECT_EQ(bmp->At(0, 0), kGreen);

  Put32(b, 54, 0x000000FF);  // red and blue swapped: not taken
  Put32(b, 62, 0x00FF0000);
  EXPECT_FALSE(Decode(b).has_value());
}

TEST(DecodeBmp, PaletteDepthsPickTheirPixelsFromTheHighBitsFirst) {
  const std::vector<Rgb> palette = {kBlack, kRed, kGreen, kBlue};
  struct Case {
    int bpp;
    int width;
    Bytes row;
    std::vector<int> indices;
  };
  const Case cases[] = {
      // 9 pixels cross a byte boundary
      {1, 9, {0b10110000, 0b10000000}, {1, 0, 1, 1, 0, 0, 0, 0, 1}},
      // an odd width leaves the last low nibble unused
      {4, 3, {0x12, 0x3F}, {1, 2, 3}},
      {8, 3, {3, 0, 2}, {3, 0, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("bits per pixel " + std::to_string(c.bpp));
    BmpFile f;
    f.width = c.width;
    f.height = 1;
    f.bpp = c.bpp;
    f.palette.assign(palette.begin(), palette.begin() + (c.bpp == 1 ? 2 : 4));
    f.rows = {c.row};
    auto bmp = Decode(f.Build());
    ASSERT_TRUE(bmp.has_value());
    ASSERT_EQ(bmp->width, c.width);
    for (int x = 0; x < c.width; ++x) EXPECT_EQ(bmp->At(x, 0), palette[c.indices[x]]) << x;
  }
}

TEST(DecodeBmp, AnUnstatedPaletteSizeMeansTheFullPalette) {
  BmpFile f;
  f.width = 2;
  f.height = 1;
  f.bpp = 4;
  f.palette.assign(16, kBlack);
  f.palette[15] = kWhite;
  f.rows = {{0xF0}};
  Bytes b = f.Build();
  Put32(b, 46, 0);  // colours used: 0
  auto bmp = Decode(b);
  ASSERT_TRUE(bmp.has_value());
  EXPECT_EQ(bmp->At(0, 0), kWhite);
  EXPECT_EQ(bmp->At(1, 0), kBlack);
}

TEST(DecodeBmp, OldTwelveByteHeaderWithThreeBytePaletteEntries) {
  Bytes b = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 14 + 12 + 6, 0, 0, 0,
             12, 0, 0, 0, 2, 0, 1, 0, 1, 0, 8, 0,
             0, 0, 255, /* red */ 255, 0, 0, /* blue */
             1, 0, 0, 0};
  auto bmp = Decode(b);
  ASSERT_TRUE(bmp.has_value());
  EXPECT_EQ(bmp->At(0, 0), kBlue);
  EXPECT_EQ(bmp->At(1, 0), kRed);
}

TEST(DecodeBmp, MalformedFilesGiveNothing) {
  const Bytes good = ThreeByTwo().Build();
  ASSERT_TRUE(Decode(good).has_value());

  struct Case {
    const char* what;
    std::size_t at;
    int width;  // 2 or 4 bytes
    std::uint32_t value;
  };
  const Case cases[] = {
      {"not a bitmap", 0, 2, 0x4D42 + 1},
      {"pixels start past the end", 10, 4, 1000},
      {"pixels start far past the end", 10, 4, 0xFFFFFFF0u},
      {"header smaller than any known", 14, 4, 20},
      {"header larger than the file", 14, 4, 4000},
      {"header size wraps around", 14, 4, 0xFFFFFFFFu},
      {"zero width", 18, 4, 0},
      {"negative width", 18, 4, static_cast<std::uint32_t>(-3)},
      {"zero height", 22, 4, 0},
      {"lowest height", 22, 4, 0x80000000u},
      {"width beyond the file", 18, 4, 1u << 20},
      {"height beyond the file", 22, 4, 1u << 20},
      {"huge picture", 18, 4, 0x7FFFFFFF},
      {"no planes", 26, 2, 0},
      {"16 bits per pixel", 28, 2, 16},
      {"2 bits per pixel", 28, 2, 2},
      {"run-length compressed", 30, 4, 1},
      {"unknown compression", 30, 4, 77},
  };
  for (const Case& c : cases) {
    Bytes b = good;
    if (c.width == 2)
      Put16(b, c.at, c.value);
    else
      Put32(b, c.at, c.value);
    EXPECT_FALSE(Decode(b).has_value()) << c.what;
  }
  EXPECT_FALSE(DecodeBmp(nullptr, 100).has_value());
}

TEST(DecodeBmp, APaletteThatDoesNotCoverThePixelsIsRejected) {
  BmpFile f;
  f.width = 2;
  f.height = 1;
  f.bpp = 4;
  f.palette = {kBlack, kWhite};
  f.rows = {{0x10}};
  Bytes b = f.Build();
  ASSERT_TRUE(Decode(b).has_value());

  Bytes index_outside = b;
  index_outside[b.size() - 4] = 0x12;  // pixel index 2 with two colours
  EXPECT_FALSE(Decode(index_outside).has_value());

  Bytes too_many = b;
  Put32(too_many, 46, 17);  // more colours than 4 bits can index
  EXPECT_FALSE(Decode(too_many).has_value());

  Bytes past_end = b;
  Put32(past_end, 46, 16);  // the palette would run past the end of the file
  EXPECT_FALSE(Decode(past_end).has_value());
}

TEST(DecodeBmp, EveryTruncationIsRejected) {
  for (const BmpFile& f : {ThreeByTwo(), [] {
                             BmpFile p;
                             p.width = 3;
                             p.height = 2;
                             p.bpp = 8;
                             p.palette = {kBlack, kRed};
                             p.rows = {{0, 1, 0}, {1, 1, 1}};
                             return p;
                           }()}) {
    const Bytes full = f.Build();
    ASSERT_TRUE(Decode(full).has_value());
    for (std::size_t n = 0; n < full.size(); ++n) {
      // a copy of exactly n bytes, so that a read past them is caught by the sanitizers
      const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
      EXPECT_FALSE(DecodeBmp(cut.data(), cut.size()).has_value()) << n << " bytes";
    }
  }
}

}  // namespace
}  // namespace talvik::ui
