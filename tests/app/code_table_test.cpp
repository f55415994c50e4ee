#include <gtest/gtest.h>

#include <string>

#include "app/Unit1.h"

namespace {

TEST(CodeTable, HasHeaderRuleOneRowPerByteAndAClosingBlank) {
  const auto& t = CodeTableLines();
  ASSERT_EQ(t.size(), 259u);
  EXPECT_EQ(t[0], " Dec Oct Hex  Binary   Value");
  EXPECT_EQ(t[1], " --- --- --- -------- --------------------------");
  EXPECT_EQ(t[258], " ");
}

TEST(CodeTable, RowsReadAsGiven) {
  const auto& t = CodeTableLines();
  struct Case {
    int value;
    const char* row;
  } cases[] = {
      {0, " 000 000 000 00000000 NUL (Null char.)"},
      {8, " 008 010 008 00001000 BS  (Backspace)"},
      {10, " 010 012 00A 00001010 LF  (Line Feed)"},
      {13, " 013 015 00D 00001101 CR  (Carriage Return)"},
      {33, " 033 041 021 00100001 !   (exclamation mark)"},
      {65, " 065 101 041 01000001 A"},
      {96, " 096 140 060 01100000 `"},
      {127, " 127 177 07F 01111111 DEL (delete)"},
      {130, " 130 202 082 10000010 \u201A"},
      {150, " 150 226 096 10010110 ––"},
      {151, " 151 227 097 10010111 ———"},
      {152, " 152 230 098 10011000   "},
      {160, " 160 240 0A0 10100000 \u00A0"},
      {200, " 200 310 0C8 11001000 И"},
      {255, " 255 377 0FF 11111111 я"},
  };
  for (const auto& c : cases) EXPECT_EQ(t[2 + c.value], c.row) << c.value;
}

// Every row: blank, 3 decimal digits, blank, 3 octal, blank, 3 hex (upper case, first 0),
// blank, 8 binary, blank, then the value column, which matches the class of the value.
TEST(CodeTable, EveryRowFollowsTheRowFormat) {
  const auto& t = CodeTableLines();
  for (int v = 0; v < 256; ++v) {
    const std::string& row = t[2 + v];
    char head[32];
    std::string bin;
    for (int b = 7; b >= 0; --b) bin += ((v >> b) & 1) ? '1' : '0';
    std::snprintf(head, sizeof head, " %03d %03o %03X %s ", v, v, v, bin.c_str());
    ASSERT_TRUE(row.starts_with(head)) << row;
    std::string value = row.substr(std::string(head).size());
    ASSERT_FALSE(value.empty()) << v;
    bool control = v <= 32 || v == 127;
    bool alnum = (v >= 48 && v <= 57) || (v >= 65 && v <= 90) || (v >= 96 && v <= 122);
    if (control) {
      EXPECT_EQ(value[3], ' ') << v;
      EXPECT_EQ(value[4], '(') << v;
      EXPECT_EQ(value.back(), ')') << v;
    } else if (alnum) {
      EXPECT_EQ(value, std::string(1, static_cast<char>(v)));
    } else if (v < 128) {
      EXPECT_EQ(value.substr(0, 5), std::string(1, static_cast<char>(v)) + "   (") << v;
      EXPECT_EQ(value.back(), ')') << v;
    } else if (v != 152) {
      EXPECT_NE(value.back(), ' ') << v;  // no trailing blanks
      EXPECT_GE(static_cast<unsigned char>(value[0]), 0xC2) << v;  // one non-ASCII character (or a dash run)
    }
  }
}

}  // namespace
