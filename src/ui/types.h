// Basic vocabulary of the control layer: colours, fonts, alignment, cursors, bevels.
#pragma once

#include <cstdint>
#include <string>

namespace ui {

// A colour: 0x00BBGGRR for plain colours; system colours carry the high bit and an index.
using TColor = std::uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clWhite = 0xFFFFFF;

constexpr TColor kSystemColor = 0x80000000u;
constexpr TColor clWindow = kSystemColor | 5;
constexpr TColor clWindowText = kSystemColor | 8;
constexpr TColor clBtnFace = kSystemColor | 15;
constexpr TColor clBtnShadow = kSystemColor | 16;
constexpr TColor clGrayText = kSystemColor | 17;
constexpr TColor clBtnText = kSystemColor | 18;
constexpr TColor clBtnHighlight = kSystemColor | 20;
constexpr TColor clInfoText = kSystemColor | 23;
constexpr TColor clInfoBk = kSystemColor | 24;
constexpr TColor clMenuBar = kSystemColor | 30;
// Marks "take the parent's colour" in a stored layout.
constexpr TColor clParent = 0x1FFFFFFF;

struct Rgb {
  std::uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};
// The red, green and blue of a colour; system colours resolve to the classic desktop scheme.
Rgb ColorToRgb(TColor color);

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// A font as stored: face name, height in pixels (negative: the height of the characters
// themselves), style bits, colour.
struct TFont {
  std::string Name = "MS Sans Serif";
  int Height = -11;
  unsigned Style = 0;
  TColor Color = clWindowText;
  bool operator==(const TFont&) const = default;
};

// The kind of face a stored face name asks for.
enum class FontFamily { Sans, Serif, Mono };
FontFamily FamilyOf(const std::string& face_name);

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

enum class TCursor { crDefault, crArrow, crIBeam, crHelp, crDrag, crHandPoint, crNoDrop };

enum class TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum class TBorderStyle { bsNone, bsSingle, bsSizeable };
enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum class TPosition { poDesigned, poScreenCenter, poMainFormCenter };

struct TRect {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool operator==(const TRect&) const = default;
};

}  // namespace ui
