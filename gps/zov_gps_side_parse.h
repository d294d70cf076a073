#pragma once
// Shared pieces of the side-file parsers (internal to gps/): line cutting,
// field cutting and number reading over string views, and one parser per
// layout. Every function reads only inside the views it is given.
#include <charconv>
#include <cstdint>
#include <string_view>

#include "gps/zov_gps_side.h"

namespace zovside {

// Calls line(view) for every line of text (LF or CRLF or a lone CR ends a
// line; the terminator is not part of the view). Lines longer than kMaxLine
// are passed as empty views so that callers skip them. Stops when line
// returns false.
template <typename Fn>
void ForEachLine(std::string_view text, Fn&& line) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = start;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
    std::string_view l = text.substr(start, end - start);
    if (l.size() > kMaxLine) l = {};
    if (!line(l)) return;
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
}

// The next field of `rest` up to `sep` (rest moves past it).
inline std::string_view NextField(std::string_view& rest, char sep) {
  const size_t p = rest.find(sep);
  std::string_view f = rest.substr(0, p);
  rest = p == std::string_view::npos ? std::string_view() : rest.substr(p + 1);
  return f;
}

inline std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A whole field as a number (surrounding blanks allowed, nothing else).
inline bool ToDouble(std::string_view s, double& v) {
  s = Trim(s);
  if (s.empty()) return false;
  if (s.front() == '+') s.remove_prefix(1);
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && v == v;
}

// The number at the start of s (after blanks); `used` gets the characters
// read including the blanks. False when none.
inline bool LeadingDouble(std::string_view s, double& v, size_t* used = nullptr) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  size_t j = i;
  if (j < s.size() && s[j] == '+') ++j;
  const auto r = std::from_chars(s.data() + j, s.data() + s.size(), v);
  if (r.ec != std::errc() || v != v) return false;
  if (used) *used = size_t(r.ptr - s.data());
  return true;
}

// n decimal digits at s[at...] as an integer; -1 when not all digits.
inline int Digits(std::string_view s, size_t at, size_t n) {
  if (at > s.size() || s.size() - at < n) return -1;
  int v = 0;
  for (size_t i = 0; i < n; ++i) {
    const char c = s[at + i];
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

// Milliseconds since 1970 of a date and time read as UTC; false when a field
// is out of range.
bool CivilMs(int year, int month, int day, int hour, int minute, int second, int ms, int64_t& out);

// Appends a fix unless the track is full; false when it is.
inline bool Add(ZovSideTrack& t, const ZovSideFix& f) {
  if (t.fixes.size() >= kMaxFixes) return false;
  t.fixes.push_back(f);
  return true;
}

// A position inside the world's ranges and not the receiver's 0,0 "no fix".
inline bool PlausiblePosition(double lat, double lon) {
  return lat >= -90 && lat <= 90 && lon >= -180 && lon <= 180 && (lat != 0 || lon != 0);
}

void ParseNmea(std::string_view text, bool stamped, ZovSideTrack& track);
void ParseDayLog(std::string_view text, ZovSideTrack& track);
void ParseSubtitle(std::string_view text, ZovSideTrack& track);
void ParseGpx(std::string_view text, ZovSideTrack& track);

}  // namespace zovside
