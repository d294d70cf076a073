#pragma once
// Private-profile ("ini") file functions with the semantics the settings
// store was designed on:
//  - section and key names compare case-insensitively (ASCII letters);
//  - "[section]" headers, "key=value" lines; lines starting with ';' are
//    comments; blanks around names and values are ignored, and one pair of
//    matching quotes around a value is removed;
//  - the first occurrence of a section and of a key wins;
//  - a write replaces the value of the key in place and keeps every other line
//    and comment byte for byte; it adds the key at the end of its section, the
//    section at the end of the file, and creates the file when it is missing;
//  - an integer read takes the leading decimal number ("12abc" is 12, "abc"
//    is 0); a missing key or an empty value gives the default.
// Files are UTF-8 text; a leading byte-order mark is skipped. Every call opens
// and closes the file, so no handle is shared between threads.
#include <optional>
#include <string>

// The value of `key` in `section`, or `defaultValue` when the file, the
// section or the key is missing.
std::string ZovGetPrivateProfileString(const std::string& section, const std::string& key,
                                       const std::string& defaultValue, const std::string& file);

// The value as an integer (see above).
int ZovGetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                            const std::string& file);

// Writes `key`=`value` into `section`. With no value the key is removed; with
// no key the whole section is removed. False when the file cannot be read or
// written (a missing folder, a file without write permission).
bool ZovWritePrivateProfileString(const std::string& section, const std::optional<std::string>& key,
                                  const std::optional<std::string>& value, const std::string& file);

// Parses the leading decimal integer the way the integer read does: leading
// blanks, an optional sign, then digits; wraps like a 32-bit value.
int ZovProfileParseInt(const std::string& text);
