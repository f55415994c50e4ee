#include "ui/text.h"

#include <array>

namespace ui {

std::string WithFullStop(std::string message) {
  // Every byte of a multi-byte UTF-8 character lies above 0x7F, so the last byte decides as
  // the last character would in a single-byte code page.
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') message += '.';
  return message;
}

namespace {
// The upper half of Windows-1251, as UTF-8.
constexpr std::array<std::string_view, 128> kUpper = {
    "Ђ", "Ѓ", "‚", "ѓ", "„", "…", "†", "‡", "€", "‰", "Љ", "‹", "Њ", "Ќ", "Ћ", "Џ",
    "ђ", "‘", "’", "“", "”", "•", "–", "—", "",  "™", "љ", "›", "њ", "ќ", "ћ", "џ",
    "\u00A0", "Ў", "ў", "Ј", "¤", "Ґ", "¦", "§", "Ё", "©", "Є", "«", "¬", "\u00AD", "®", "Ї",
    "°", "±", "І", "і", "ґ", "µ", "¶", "·", "ё", "№", "є", "»", "ј", "Ѕ", "ѕ", "ї",
    "А", "Б", "В", "Г", "Д", "Е", "Ж", "З", "И", "Й", "К", "Л", "М", "Н", "О", "П",
    "Р", "С", "Т", "У", "Ф", "Х", "Ц", "Ч", "Ш", "Щ", "Ъ", "Ы", "Ь", "Э", "Ю", "Я",
    "а", "б", "в", "г", "д", "е", "ж", "з", "и", "й", "к", "л", "м", "н", "о", "п",
    "р", "с", "т", "у", "ф", "х", "ц", "ч", "ш", "щ", "ъ", "ы", "ь", "э", "ю", "я",
};
constexpr std::array<char, 128> MakeAscii() {
  std::array<char, 128> a{};
  for (int i = 0; i < 128; ++i) a[i] = static_cast<char>(i);
  return a;
}
constexpr std::array<char, 128> kAscii = MakeAscii();
}  // namespace

std::string_view Cp1251ToUtf8(unsigned char byte) {
  if (byte < 0x80) return std::string_view(&kAscii[byte], 1);
  return kUpper[byte - 0x80];
}

std::string DecodeCp1251(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) out += Cp1251ToUtf8(b);
  return out;
}

char32_t FirstCodePoint(std::string_view s, std::size_t* length) {
  if (s.empty()) {
    if (length) *length = 0;
    return 0;
  }
  auto b = static_cast<unsigned char>(s[0]);
  std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
  if (n > s.size()) n = 1;
  char32_t c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
  for (std::size_t i = 1; i < n; ++i) c = (c << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
  if (length) *length = n;
  return c;
}

Accelerator ParseAccelerator(std::string_view caption) {
  Accelerator result;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] != '&') {
      result.text += caption[i];
      continue;
    }
    if (i + 1 < caption.size() && caption[i + 1] == '&') {
      result.text += '&';
      ++i;
      continue;
    }
    if (i + 1 < caption.size() && result.letter == 0) {
      result.offset = result.text.size();
      result.letter = FirstCodePoint(caption.substr(i + 1));
    }
  }
  return result;
}

char32_t FoldCase(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 32;
  if (c >= 0x0410 && c <= 0x042F) return c + 32;  // А..Я
  if (c >= 0x0400 && c <= 0x040F) return c + 80;  // Ѐ..Џ, Ё among them
  return c;
}

bool SameLetter(char32_t a, char32_t b) { return a != 0 && FoldCase(a) == FoldCase(b); }

}  // namespace ui
