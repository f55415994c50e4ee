// Small system services of the program: the clock and the regional time format, the
// program's own path, the current directory, saving a text file, opening a web address.
#pragma once

#include <string>

#include "platform/exceptions.h"

namespace platform {

struct TDateTime {
  int year, month, day, hour, minute, second;
};

// The long time format of the user's regional settings.
struct LongTimeFormat {
  bool leading_zero = true;    // "hh" rather than "h"
  bool twelve_hour = false;    // 12-hour clock with a marker
  bool marker_before = false;  // the marker precedes the time
  std::string am = "am";
  std::string pm = "pm";
  std::string separator = ":";  // only its first character is used
};

// "9:05:07", "09:05:07 PM", "PM 9:05:07" and so on.
std::string FormatLongTime(const LongTimeFormat& format, int hour, int minute, int second);
// Reads a C-library time pattern (such as "%H:%M:%S" or "%I:%M:%S %p") into a format.
LongTimeFormat ParseTimePattern(const std::string& pattern, const std::string& am, const std::string& pm);

// "dd_mm_yy hh.nn.ss": the saved file's stamp, the same under every regional setting.
std::string FormatFileStamp(const TDateTime& t);

// The message of an I/O error by its code: "File not found", ..., "I/O error %d".
std::string InOutErrorMessage(int code);
// A system error text without trailing blanks, line breaks and full stops.
std::string TrimErrorText(std::string text);

// Everything up to and including the last folder separator of `path`.
std::string ExtractFilePath(const std::string& path);

class SystemServices {
 public:
  virtual ~SystemServices() = default;
  virtual TDateTime Now();
  // The full path of the running program.
  virtual std::string ExeName();
  virtual LongTimeFormat TimeFormat();
  // Asks the system to open the address; the result is not examined.
  virtual void OpenUrl(const std::string& url);
};
SystemServices& DefaultSystemServices();

// Takes the user's regional time settings (the clock's format) from the environment.
void UseUserTimeSettings();

// Makes `folder` the current directory; raises EInOutError on failure.
void SetCurrentDirectory(const std::string& folder);
std::string GetCurrentDirectory();

// Writes `bytes` to a new file "<stamp>.txt" in the current directory. An existing file is
// never replaced: "<stamp> (2).txt", "<stamp> (3).txt" and so on are taken instead. Returns
// the name written. Raises EFCreateError ("Cannot create file "<full path>". <reason>") when
// no file can be created, EWriteError ("Stream write error") when not every byte is written.
std::string WriteNewStampedFile(const std::string& stamp, const std::string& bytes);

}  // namespace platform
