#include "platform/system.h"

#include <cstdio>

namespace platform {

namespace {
std::string TwoDigits(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v % 100);
  return buf;
}
}  // namespace

std::string FormatLongTime(const LongTimeFormat& f, int hour, int minute, int second) {
  std::string sep = f.separator.empty() ? ":" : f.separator.substr(0, 1);
  int h = hour;
  if (f.twelve_hour) {
    h = hour % 12;
    if (h == 0) h = 12;
  }
  std::string time = (f.leading_zero ? TwoDigits(h) : std::to_string(h)) + sep + TwoDigits(minute) + sep +
                     TwoDigits(second);
  if (!f.twelve_hour) return time;
  const std::string& marker = hour < 12 ? f.am : f.pm;
  return f.marker_before ? marker + " " + time : time + " " + marker;
}

LongTimeFormat ParseTimePattern(const std::string& pattern, const std::string& am, const std::string& pm) {
  LongTimeFormat f;
  if (!am.empty()) f.am = am;
  if (!pm.empty()) f.pm = pm;
  std::string p = pattern;
  // Composite conversions
  for (auto [from, to] : {std::pair<std::string, std::string>{"%T", "%H:%M:%S"}, {"%r", "%I:%M:%S %p"},
                          {"%R", "%H:%M"}}) {
    for (std::size_t at; (at = p.find(from)) != std::string::npos;) p.replace(at, from.size(), to);
  }
  std::size_t hour_at = std::string::npos, marker_at = std::string::npos;
  for (std::size_t i = 0; i + 1 < p.size(); ++i) {
    if (p[i] != '%') continue;
    std::size_t j = i + 1;
    bool no_pad = false;
    if (p[j] == '-' || p[j] == '_') {
      no_pad = true;
      ++j;
    }
    if (j >= p.size()) break;
    char c = p[j];
    if ((c == 'H' || c == 'I' || c == 'k' || c == 'l') && hour_at == std::string::npos) {
      hour_at = i;
      f.twelve_hour = c == 'I' || c == 'l';
      f.leading_zero = !no_pad && (c == 'H' || c == 'I');
      if (j + 1 < p.size() && p[j + 1] != '%') f.separator = std::string(1, p[j + 1]);
    }
    if ((c == 'p' || c == 'P') && marker_at == std::string::npos) marker_at = i;
    i = j;
  }
  if (f.twelve_hour && marker_at != std::string::npos && hour_at != std::string::npos)
    f.marker_before = marker_at < hour_at;
  return f;
}

std::string FormatFileStamp(const TDateTime& t) {
  return TwoDigits(t.day) + "_" + TwoDigits(t.month) + "_" + TwoDigits(t.year) + " " + TwoDigits(t.hour) + "." +
         TwoDigits(t.minute) + "." + TwoDigits(t.second);
}

std::string InOutErrorMessage(int code) {
  switch (code) {
    case 2: return "File not found";
    case 3: return "Invalid filename";
    case 4: return "Too many open files";
    case 5: return "File access denied";
    case 100: return "Read beyond end of file";
    case 101: return "Disk full";
    case 106: return "Invalid numeric input";
    default: return "I/O error " + std::to_string(code);
  }
}

std::string TrimErrorText(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n' ||
                           text.back() == '.' || text.back() == '\t'))
    text.pop_back();
  return text;
}

std::string ExtractFilePath(const std::string& path) {
  std::size_t at = path.find_last_of("/\\:");
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

}  // namespace platform
