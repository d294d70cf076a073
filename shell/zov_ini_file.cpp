#include "shell/zov_ini_file.h"

#include <charconv>
#include <cstdio>
#include <system_error>

#include "platform/zov_profile.h"

namespace {

// Length in bytes of the UTF-8 sequence that starts with `lead`, and its
// UTF-16 size; malformed leads count as one byte, one unit.
void SequenceSize(unsigned char lead, int* bytes, int* units) {
  if (lead < 0x80) { *bytes = 1; *units = 1; }
  else if ((lead & 0xE0) == 0xC0) { *bytes = 2; *units = 1; }
  else if ((lead & 0xF0) == 0xE0) { *bytes = 3; *units = 1; }
  else if ((lead & 0xF8) == 0xF0) { *bytes = 4; *units = 2; }
  else { *bytes = 1; *units = 1; }
}

}  // namespace

int ZovUtf16Length(const std::string& utf8) {
  int units = 0;
  size_t i = 0;
  while (i < utf8.size()) {
    int b, u;
    SequenceSize(static_cast<unsigned char>(utf8[i]), &b, &u);
    if (i + static_cast<size_t>(b) > utf8.size()) b = 1;
    i += static_cast<size_t>(b);
    units += u;
  }
  return units;
}

std::string ZovCutUtf16(const std::string& utf8, int maxUnits) {
  int units = 0;
  size_t i = 0;
  while (i < utf8.size()) {
    int b, u;
    SequenceSize(static_cast<unsigned char>(utf8[i]), &b, &u);
    if (i + static_cast<size_t>(b) > utf8.size()) b = 1;
    if (units + u > maxUnits) break;
    i += static_cast<size_t>(b);
    units += u;
  }
  return utf8.substr(0, i);
}

bool CZovIniFile::SetFile(const std::string& path) {
  fileName_.clear();
  hasFile_ = false;
  if (path.empty() || ZovUtf16Length(path) > kMaxChars) return false;
  fileName_ = path;
  hasFile_ = true;
  return true;
}

int CZovIniFile::ReadInt(const std::string& section, const std::string& key, int defaultValue) const {
  if (!hasFile_) return defaultValue;
  return ZovGetPrivateProfileInt(section, key, defaultValue, fileName_);
}

float CZovIniFile::ReadFloat(const std::string& section, const std::string& key, float defaultValue) {
  char dflt[64];
  std::snprintf(dflt, sizeof dflt, "%f", static_cast<double>(defaultValue));
  std::string text = ReadString(section, key, dflt);
  // Leading number in the "C" notation, whatever the process locale.
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  double value = 0.0;
  auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value);
  if (ec != std::errc() && ec != std::errc::result_out_of_range) return 0.0f;
  (void)end;
  return static_cast<float>(value);
}

const std::string& CZovIniFile::ReadString(const std::string& section, const std::string& key,
                                           const std::string& defaultValue) {
  std::string value = hasFile_ ? ZovGetPrivateProfileString(section, key, defaultValue, fileName_)
                               : defaultValue;
  lastCut_ = ZovUtf16Length(value) > kMaxChars;
  readBuffer_ = lastCut_ ? ZovCutUtf16(value, kMaxChars) : value;
  return readBuffer_;
}

bool CZovIniFile::WriteInt(const std::string& section, const std::string& key, int value) const {
  return WriteString(section, key, std::to_string(value));
}

bool CZovIniFile::WriteString(const std::string& section, const std::string& key,
                              const std::string& text) const {
  if (!hasFile_) return false;
  return ZovWritePrivateProfileString(section, key, text, fileName_);
}
