// The embedded resources: every picture is there under its name, byte for byte as stored,
// and each has the form the windows rely on (sizes, depths, transparent colour, lamp pixels).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/resources/maker.h"
#include "app/resources/resources.h"
#include "ui/bitmap.h"

namespace talvik {
namespace {

using Bytes = std::vector<unsigned char>;
using ui::Rgb;

Bytes ReadSourceFile(const std::string& name) {
  std::ifstream in(std::string(TALVIK_RESOURCE_DIR) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes Embedded(std::string_view name) {
  auto res = FindResource(name);
  if (!res) {
    ADD_FAILURE() << "no resource " << name;
    return {};
  }
  return Bytes(res->data, res->data + res->size);
}

std::uint32_t U16(const Bytes& b, std::size_t at) { return b[at] | b[at + 1] << 8; }
std::uint32_t U32(const Bytes& b, std::size_t at) {
  return U16(b, at) | static_cast<std::uint32_t>(U16(b, at + 2)) << 16;
}

ui::Bitmap DecodeResource(std::string_view name) {
  const Bytes b = Embedded(name);
  auto bmp = ui::DecodeBmp(b.data(), b.size());
  if (!bmp) {
    ADD_FAILURE() << name << " does not decode";
    return {};
  }
  return *bmp;
}

TEST(Resources, EveryNameHoldsItsFileByteForByte) {
  const std::pair<const char*, const char*> table[] = {
      {"LOGO", "logo.jpg"},
      {"GLYPH_HELP", "glyph_help.bmp"},
      {"GLYPH_CONNECT", "glyph_connect.bmp"},
      {"GLYPH_DISCONNECT", "glyph_disconnect.bmp"},
      {"GLYPH_SAVE", "glyph_save.bmp"},
      {"GLYPH_CLR", "glyph_clr.bmp"},
      {"ON", "on.bmp"},
      {"OFF", "off.bmp"},
      {"MAINICON", "talvik.ico"},
      {"ICON_PNG", "talvik.png"},
  };
  for (const auto& [name, file] : table) {
    const Bytes source = ReadSourceFile(file);
    ASSERT_FALSE(source.empty()) << file;
    EXPECT_EQ(Embedded(name), source) << name;
  }
}

TEST(Resources, NamesMatchWithoutRegardToCase) {
  const auto on = FindResource("ON");
  ASSERT_TRUE(on.has_value());
  for (const char* name : {"On", "on", "oN"}) {
    auto res = FindResource(name);
    ASSERT_TRUE(res.has_value()) << name;
    EXPECT_EQ(res->data, on->data) << name;
  }
  ASSERT_TRUE(FindResource("Off").has_value());
  EXPECT_NE(FindResource("Off")->data, on->data);
  EXPECT_TRUE(FindResource("glyph_help").has_value());
  EXPECT_TRUE(FindResource("MainIcon").has_value());

  for (const char* name : {"", "O", "ONN", "ON ", "LOGO.JPG", "GLYPH", "unknown"})
    EXPECT_FALSE(FindResource(name).has_value()) << '"' << name << '"';
}

// The lamps, pixel for pixel: O olive, G green, L lime, D grey, S silver, W white.
const char* const kLampOn[] = {
    "OGGGGGGGGGGGGGGO", "GGWWWWLLLLLLLLGG", "GWWLLLLLLLLLLLLG", "GWWLLLLLLLLLLLLG",
    "GWLLLLLLLLLLLLLG", "GWLLLLLLLLLLLLLG", "GLLLLLLLLLLLLLLG", "GLLLLLLLLLLLLLLG",
    "GGLLLLLLLLLLLLGG", "OGGGGGGGGGGGGGGO",
};
const char* const kLampOff[] = {
    "ODDDDDDDDDDDDDDO", "DDWWWWSSSSSSSSDD", "DWWSSSSSSSSSSSSD", "DWWSSSSSSSSSSSSD",
    "DWSSSSSSSSSSSSSD", "DWSSSSSSSSSSSSSD", "DSSSSSSSSSSSSSSD", "DSSSSSSSSSSSSSSD",
    "DDSSSSSSSSSSSSDD", "ODDDDDDDDDDDDDDO",
};

Rgb LampColour(char c) {
  switch (c) {
    case 'O': return {0x80, 0x80, 0x00};
    case 'G': return {0x00, 0x80, 0x00};
    case 'L': return {0x00, 0xFF, 0x00};
    case 'D': return {0x80, 0x80, 0x80};
    case 'S': return {0xC0, 0xC0, 0xC0};
    case 'W': return {0xFF, 0xFF, 0xFF};
  }
  ADD_FAILURE() << "colour " << c;
  return {};
}

TEST(Resources, LampPicturesArePixelForPixelTheLampTable) {
  for (const auto& [name, rows] : {std::pair{"On", kLampOn}, std::pair{"Off", kLampOff}}) {
    SCOPED_TRACE(name);
    const ui::Bitmap bmp = DecodeResource(name);
    ASSERT_EQ(bmp.width, 16);
    ASSERT_EQ(bmp.height, 10);
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 16; ++x)
        EXPECT_EQ(bmp.At(x, y), LampColour(rows[y][x])) << "x " << x << " y " << y;
    // the transparent colour is the bottom-left pixel's: olive, the four corners
    EXPECT_EQ(bmp.At(0, 9), LampColour('O'));
  }
}

TEST(Resources, LampFilesAreSixteenColourBitmapsStoredBottomUp) {
  const Rgb standard[16] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                            {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                            {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                            {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
  for (const char* name : {"ON", "OFF"}) {
    SCOPED_TRACE(name);
    const Bytes b = Embedded(name);
    ASSERT_GE(b.size(), 14u + 40 + 64 + 80);
    EXPECT_EQ(U32(b, 14), 40u);                        // header
    EXPECT_EQ(static_cast<std::int32_t>(U32(b, 22)), 10);  // positive height: bottom-up
    EXPECT_EQ(U16(b, 28), 4u);                         // bits per pixel
    EXPECT_EQ(U32(b, 30), 0u);                         // uncompressed
    EXPECT_EQ(U32(b, 38), 3780u);                      // pixels per metre
    EXPECT_EQ(U32(b, 42), 3780u);
    for (int i = 0; i < 16; ++i) {
      const std::size_t at = 54 + 4 * i;
      EXPECT_EQ((Rgb{b[at + 2], b[at + 1], b[at]}), standard[i]) << "palette " << i;
    }
    // the corners are palette index 3, olive
    const std::size_t bottom_row = U32(b, 10), top_row = bottom_row + 9 * 8;
    EXPECT_EQ(b[bottom_row] >> 4, 3);
    EXPECT_EQ(b[top_row + 7] & 0xF, 3);
  }
}

bool IsGrey(Rgb c) { return c.r == c.g && c.g == c.b; }
bool IsRed(Rgb c) { return c.r >= 0xC0 && c.g < 0x60 && c.b < 0x60; }
bool IsYellow(Rgb c) { return c.r >= 0xE0 && c.g >= 0xC0 && c.b < 0x60; }

TEST(Resources, GlyphsAreSixteenSquareWithTheBottomLeftColourTransparent) {
  struct Glyph {
    const char* name;
    int states;
    bool red, yellow;  // colours the enabled picture must show
  };
  const Glyph glyphs[] = {
      {"GLYPH_HELP", 2, true, true},        // a red question mark on a yellow disc
      {"GLYPH_CONNECT", 2, true, false},    // a red telephone
      {"GLYPH_DISCONNECT", 2, true, true},  // a red telephone among yellow rays
      {"GLYPH_SAVE", 2, false, false},
      {"GLYPH_CLR", 1, false, false},
  };
  for (const Glyph& g : glyphs) {
    SCOPED_TRACE(g.name);
    const Bytes b = Embedded(g.name);
    ASSERT_GE(b.size(), 30u);
    EXPECT_EQ(U16(b, 28), 24u);  // true colour
    const ui::Bitmap bmp = DecodeResource(g.name);
    ASSERT_EQ(bmp.width, 16 * g.states);
    ASSERT_EQ(bmp.height, 16);
    const Rgb transparent = bmp.At(0, 15);

    int drawn = 0;
    bool red = false, yellow = false;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const Rgb c = bmp.At(x, y);
        drawn += c != transparent;
        red = red || IsRed(c);
        yellow = yellow || IsYellow(c);
      }
    EXPECT_GT(drawn, 40);
    EXPECT_LT(drawn, 256);
    if (g.red) {
      EXPECT_TRUE(red);
    }
    if (g.yellow) {
      EXPECT_TRUE(yellow);
    }

    if (g.states == 2) {
      // the disabled picture: shares the transparent colour, drawn in greys only
      EXPECT_EQ(bmp.At(16, 15), transparent);
      int grey = 0;
      for (int y = 0; y < 16; ++y)
        for (int x = 16; x < 32; ++x) {
          const Rgb c = bmp.At(x, y);
          if (c == transparent) continue;
          EXPECT_TRUE(IsGrey(c)) << "x " << x << " y " << y;
          ++grey;
        }
      EXPECT_GT(grey, 20);
    }
  }
}

TEST(Resources, LogoIsAJpegOf384By260) {
  const Bytes b = Embedded("LOGO");
  ASSERT_GE(b.size(), 4u);
  ASSERT_EQ(b[0], 0xFF);
  ASSERT_EQ(b[1], 0xD8);
  // Walk the marker segments up to the frame header, which holds the size.
  std::size_t at = 2;
  int width = 0, height = 0;
  while (at + 9 < b.size()) {
    ASSERT_EQ(b[at], 0xFF) << "at " << at;
    const unsigned marker = b[at + 1];
    const std::size_t length = static_cast<std::size_t>(b[at + 2]) << 8 | b[at + 3];
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                       marker != 0xCC;
    if (frame) {
      height = b[at + 5] << 8 | b[at + 6];
      width = b[at + 7] << 8 | b[at + 8];
      break;
    }
    at += 2 + length;
  }
  EXPECT_EQ(width, 384);
  EXPECT_EQ(height, 260);
  EXPECT_EQ(b[b.size() - 2], 0xFF);
  EXPECT_EQ(b[b.size() - 1], 0xD9);
}

TEST(Resources, IconHoldsSixteenColourImagesOf16And32Pixels) {
  const Bytes b = Embedded("MAINICON");
  ASSERT_GE(b.size(), 6u);
  EXPECT_EQ(U16(b, 0), 0u);
  EXPECT_EQ(U16(b, 2), 1u);  // icon, not cursor
  ASSERT_EQ(U16(b, 4), 2u);
  std::vector<int> sizes;
  for (int i = 0; i < 2; ++i) {
    const std::size_t e = 6 + 16 * static_cast<std::size_t>(i);
    ASSERT_LE(e + 16, b.size());
    const int size = b[e];
    sizes.push_back(size);
    EXPECT_EQ(b[e + 1], size);
    EXPECT_EQ(b[e + 2], 16) << "colours";
    EXPECT_EQ(U16(b, e + 6), 4u) << "bits per pixel";
    const std::size_t length = U32(b, e + 8), offset = U32(b, e + 12);
    ASSERT_LE(offset + length, b.size());
    // the image: a 40-byte header of double height (colours and mask), 16 colours, both
    // planes of pixels
    EXPECT_EQ(U32(b, offset), 40u);
    EXPECT_EQ(U32(b, offset + 4), static_cast<std::uint32_t>(size));
    EXPECT_EQ(U32(b, offset + 8), static_cast<std::uint32_t>(2 * size));
    EXPECT_EQ(U16(b, offset + 14), 4u);
    const std::size_t mask_stride = (static_cast<std::size_t>(size) + 31) / 32 * 4;
    EXPECT_EQ(length, 40 + 64 + static_cast<std::size_t>(size * size / 2) + mask_stride * size);
  }
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, (std::vector<int>{16, 32}));

  const Bytes png = Embedded("ICON_PNG");
  ASSERT_GE(png.size(), 24u);
  const unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  EXPECT_TRUE(std::equal(png.begin(), png.begin() + 8, signature));
  EXPECT_EQ(png[19], 32);  // width, big-endian
  EXPECT_EQ(png[23], 32);  // height
}

// The resource script is in code page 1251; this turns its letters back into UTF-8.
std::string FromCp1251(const Bytes& b) {
  std::string out;
  auto put = [&out](unsigned code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | code >> 6);
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | code >> 12);
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  };
  for (unsigned char c : b) {
    if (c < 0x80) put(c);
    else if (c >= 0xC0) put(0x410 + (c - 0xC0));
    else if (c == 0xA8) put(0x401);  // Ё
    else if (c == 0xB8) put(0x451);  // ё
    else if (c == 0xA9) put(0xA9);   // ©
    else if (c == 0xAB) put(0xAB);   // «
    else if (c == 0xBB) put(0xBB);   // »
    else if (c == 0xB9) put(0x2116);  // №
    else if (c == 0x96) put(0x2013);
    else if (c == 0x97) put(0x2014);
    else ADD_FAILURE() << "unexpected byte " << static_cast<int>(c);
  }
  return out;
}

TEST(Resources, VersionRecordCarriesTheMakersDetails) {
  const std::string rc = FromCp1251(ReadSourceFile("talvik.rc"));
  const std::string company(maker::kCompanyName), legal(maker::kLegalCopyright);
  const std::string expected[] = {
      "#pragma code_page(1251)",
      "MAINICON ICON \"talvik.ico\"",
      "ON BITMAP \"on.bmp\"",
      "OFF BITMAP \"off.bmp\"",
      "FILEVERSION 2,0,0,0\r\n",
      "PRODUCTVERSION 2,0,0,0\r\n",
      "FILEOS 0x4L",   // 32-bit Windows
      "FILETYPE 0x1L",  // an application
      "BLOCK \"041904E3\"",
      "VALUE \"CompanyName\", \"" + company + "\"\r\n",
      "VALUE \"FileDescription\", \"Talvik\"\r\n",
      "VALUE \"FileVersion\", \"2.0.0.0\"\r\n",
      "VALUE \"InternalName\", \"Talvik\"\r\n",
      "VALUE \"LegalCopyright\", \"" + legal + "\"\r\n",
      "VALUE \"LegalTrademarks\", \"\"\r\n",
      "VALUE \"OriginalFilename\", \"Talvik\"\r\n",
      "VALUE \"ProductName\", \"\"\r\n",
      "VALUE \"ProductVersion\", \"1.0.0.0\"\r\n",
      "VALUE \"Comments\", \"\"\r\n",
      "VALUE \"Translation\", 0x419, 1251",
  };
  for (const std::string& line : expected) EXPECT_NE(rc.find(line), std::string::npos) << line;
}

TEST(Resources, MakersDetailsHaveTheirPromisedShape) {
  const std::string_view web = maker::kWebAddress;
  const bool reserved = web.ends_with(".example.com") || web.ends_with(".example.org") ||
                        web.ends_with(".example.net") || web.ends_with(".example");
  EXPECT_TRUE(reserved) << web;

  const std::string_view line7 = maker::kHelpLine7;
  EXPECT_TRUE(line7.starts_with("Данные передаются с приборов \"")) << line7;
  EXPECT_TRUE(line7.ends_with(" "));
  EXPECT_EQ(std::count(line7.begin(), line7.end(), '"'), 2);

  EXPECT_NE(maker::kRightsNotice.find(maker::kName), std::string_view::npos);
  EXPECT_NE(maker::kRightsNotice.find("2006"), std::string_view::npos);
  for (std::string_view line : maker::kAboutLines) EXPECT_FALSE(line.empty());
  EXPECT_NE(maker::kAboutLines[0].find(maker::kName), std::string_view::npos);
  EXPECT_NE(maker::kAboutLines[7].find("@"), std::string_view::npos);  // the e-mail address
}

TEST(Resources, DesktopEntryStartsTheProgramWithItsIcon) {
  const Bytes b = ReadSourceFile("talvik.desktop");
  const std::string entry(b.begin(), b.end());
  for (const char* line : {"[Desktop Entry]\n", "\nType=Application\n", "\nName=Talvik\n",
                           "\nExec=talvik\n", "\nIcon=talvik\n"})
    EXPECT_NE(entry.find(line), std::string::npos) << line;
}

}  // namespace
}  // namespace talvik
