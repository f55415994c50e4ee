// The clock text, the file stamp, and writing a stamped file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/system.h"

using namespace platform;

TEST(TimeFormat, LongTimeFollowsTheRegionalSettings) {
  struct Case {
    LongTimeFormat f;
    int h, m, s;
    const char* text;
  } cases[] = {
      {{false, false, false, "am", "pm", ":"}, 9, 5, 7, "9:05:07"},
      {{false, false, false, "am", "pm", ":"}, 21, 5, 7, "21:05:07"},
      {{true, false, false, "am", "pm", ":"}, 9, 5, 7, "09:05:07"},
      {{true, true, false, "AM", "PM", ":"}, 21, 5, 7, "09:05:07 PM"},
      {{false, true, true, "AM", "PM", ":"}, 9, 5, 7, "AM 9:05:07"},
      {{false, true, false, "am", "pm", ":"}, 0, 0, 0, "12:00:00 am"},
      {{false, true, false, "am", "pm", ":"}, 12, 30, 0, "12:30:00 pm"},
      {{true, false, false, "am", "pm", ".-"}, 23, 59, 59, "23.59.59"},
  };
  for (auto& c : cases) EXPECT_EQ(FormatLongTime(c.f, c.h, c.m, c.s), c.text);
}

TEST(TimeFormat, CLibraryPatternsBecomeFormats) {
  struct Case {
    const char* pattern;
    bool leading_zero, twelve_hour, marker_before;
    const char* sep;
  } cases[] = {
      {"%H:%M:%S", true, false, false, ":"}, {"%T", true, false, false, ":"},
      {"%r", true, true, false, ":"},        {"%I:%M:%S %p", true, true, false, ":"},
      {"%p %l:%M:%S", false, true, true, ":"}, {"%-H.%M.%S", false, false, false, "."},
  };
  for (auto& c : cases) {
    LongTimeFormat f = ParseTimePattern(c.pattern, "", "");
    EXPECT_EQ(f.leading_zero, c.leading_zero) << c.pattern;
    EXPECT_EQ(f.twelve_hour, c.twelve_hour) << c.pattern;
    EXPECT_EQ(f.marker_before, c.marker_before) << c.pattern;
    EXPECT_EQ(f.separator, c.sep) << c.pattern;
    EXPECT_EQ(f.am, "am");
  }
}

TEST(FileStamp, HasLeadingZerosAndNoRegionalSeparators) {
  EXPECT_EQ(FormatFileStamp({2006, 6, 19, 9, 55, 3}), "19_06_06 09.55.03");
  EXPECT_EQ(FormatFileStamp({2010, 12, 1, 23, 0, 59}), "01_12_10 23.00.59");
  EXPECT_EQ(InOutErrorMessage(2), "File not found");
  EXPECT_EQ(InOutErrorMessage(5), "File access denied");
  EXPECT_EQ(InOutErrorMessage(32), "I/O error 32");
  EXPECT_EQ(TrimErrorText("Access is denied.\r\n  "), "Access is denied");
  EXPECT_EQ(ExtractFilePath("/opt/talvik/talvik"), "/opt/talvik/");
  EXPECT_EQ(ExtractFilePath("C:\\Talvik\\talvik.exe"), "C:\\Talvik\\");
}

TEST(StampedFile, NeverReplacesAnEarlierFile) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("talvik-save-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::string before = GetCurrentDirectory();
  SetCurrentDirectory(dir.string());
  EXPECT_EQ(WriteNewStampedFile("19_06_06 09.55.03", std::string("a\0b\r\n", 5)), "19_06_06 09.55.03.txt");
  EXPECT_EQ(WriteNewStampedFile("19_06_06 09.55.03", "second"), "19_06_06 09.55.03 (2).txt");
  EXPECT_EQ(WriteNewStampedFile("19_06_06 09.55.03", "third"), "19_06_06 09.55.03 (3).txt");
  auto read = [&](const char* name) {
    std::ifstream in(dir / name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  EXPECT_EQ(read("19_06_06 09.55.03.txt"), std::string("a\0b\r\n", 5));
  EXPECT_EQ(read("19_06_06 09.55.03 (2).txt"), "second");
  SetCurrentDirectory(before);
  fs::remove_all(dir);

  try {
    SetCurrentDirectory((dir / "gone").string());
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "File not found");
  }
  // A folder where nobody, root included, can create a file.
  SetCurrentDirectory("/proc");
  try {
    WriteNewStampedFile("19_06_06 09.55.03", "x");
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot create file \"/proc/19_06_06 09.55.03.txt\". ", 0), 0u) << e.Message();
    EXPECT_NE(e.Message().back(), '.');
  }
  SetCurrentDirectory(before);
}
