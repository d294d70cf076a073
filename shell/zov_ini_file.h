#pragma once
// Thin reader and writer over one ini file (see platform/zov_profile.h for
// the file semantics). Each use opens and closes the file.
#include <string>

class CZovIniFile {
 public:
  // Longest file name and longest string read, in UTF-16 units.
  static constexpr int kMaxChars = 255;

  CZovIniFile() = default;
  virtual ~CZovIniFile() = default;

  // Takes the full path of the ini file. A path longer than kMaxChars is
  // refused (false): cutting it would name another file. Reads then give
  // their defaults and writes fail.
  bool SetFile(const std::string& path);
  bool HasFile() const { return hasFile_; }
  const std::string& FileName() const { return fileName_; }

  int ReadInt(const std::string& section, const std::string& key, int defaultValue) const;
  // Decimal value of the string read (the default printed with "%f" when
  // absent): leading number as the C library reads it, 0 when none.
  float ReadFloat(const std::string& section, const std::string& key, float defaultValue);
  // At most kMaxChars characters of the value into the read buffer; the
  // result stays valid until the next string read.
  const std::string& ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue);
  // True when the last string read was longer than kMaxChars and was cut.
  bool LastReadWasCut() const { return lastCut_; }

  bool WriteInt(const std::string& section, const std::string& key, int value) const;
  bool WriteString(const std::string& section, const std::string& key, const std::string& text) const;

 private:
  bool hasFile_ = false;
  std::string fileName_;
  std::string readBuffer_;
  bool lastCut_ = false;
};

// Number of UTF-16 units of a UTF-8 text (malformed bytes count one each).
int ZovUtf16Length(const std::string& utf8);
// The longest prefix of `utf8` of at most `maxUnits` UTF-16 units, never
// splitting a character.
std::string ZovCutUtf16(const std::string& utf8, int maxUnits);
