// Text helpers of the control layer. Program texts are UTF-8; received data are bytes of the
// Windows-1251 code page and are decoded only for display.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ui {

// The error box's message: a "." is appended when the message is not empty and its last
// character lies above "." (letters of any alphabet, digits, ":" or "?"); a message ending in
// ".", "!", a blank, ")" or the like is left as it is.
std::string WithFullStop(std::string message);

// One Windows-1251 byte as UTF-8 (the unassigned 0x98 gives an empty string).
std::string_view Cp1251ToUtf8(unsigned char byte);
std::string DecodeCp1251(std::string_view bytes);

// A caption's "&" marks: the text to draw (with "&&" as a single "&" and the mark removed),
// the byte offset of the marked letter in that text (npos when none) and the letter itself
// as a code point (0 when none).
struct Accelerator {
  std::string text;
  std::size_t offset = std::string::npos;
  char32_t letter = 0;
};
Accelerator ParseAccelerator(std::string_view caption);

// Letters compared without regard to case: Latin and Cyrillic (Ё/ё included).
char32_t FoldCase(char32_t c);
bool SameLetter(char32_t a, char32_t b);

// The first code point of a UTF-8 text and its length in bytes (0 for an empty text).
char32_t FirstCodePoint(std::string_view utf8, std::size_t* length = nullptr);

}  // namespace ui
