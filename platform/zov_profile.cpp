#include "platform/zov_profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

// Largest ini file read; a bigger one is treated as unreadable rather than
// pulled into memory whole.
constexpr off_t kMaxProfileBytes = 16 * 1024 * 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// One line of the file, its end-of-line bytes kept so that a rewrite keeps
// every untouched line exactly.
struct Line {
  std::string text;  // without the line end
  std::string eol;   // "\n", "\r\n" or "" for a last line without end
};

enum class Kind { kOther, kSection, kKey };

struct Parsed {
  Kind kind = Kind::kOther;
  std::string_view name;   // section or key name
  std::string_view value;  // key value (raw, trimmed)
};

Parsed ParseLine(const std::string& text) {
  Parsed p;
  std::string_view s = Trim(text);
  if (s.empty() || s.front() == ';') return p;
  if (s.front() == '[') {
    size_t close = s.find(']');
    p.kind = Kind::kSection;
    p.name = Trim(s.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    return p;
  }
  size_t eq = s.find('=');
  if (eq == std::string_view::npos) return p;
  p.kind = Kind::kKey;
  p.name = Trim(s.substr(0, eq));
  p.value = Trim(s.substr(eq + 1));
  return p;
}

std::string Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  return std::string(v);
}

// Reads the whole file. Empty optional when it cannot be opened or is too big.
std::optional<std::string> ReadAll(const std::string& file) {
  FILE* f = std::fopen(file.c_str(), "rb");
  if (!f) return std::nullopt;
  struct stat st {};
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxProfileBytes) {
    std::fclose(f);
    return std::nullopt;
  }
  std::string data;
  char buf[8192];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    data.append(buf, n);
    if (data.size() > static_cast<size_t>(kMaxProfileBytes)) {
      std::fclose(f);
      return std::nullopt;
    }
  }
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return std::nullopt;
  return data;
}

std::vector<Line> SplitLines(const std::string& data, std::string* bom) {
  std::vector<Line> lines;
  size_t pos = 0;
  if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    if (bom) *bom = data.substr(0, 3);
    pos = 3;
  }
  while (pos < data.size()) {
    size_t nl = data.find('\n', pos);
    Line line;
    if (nl == std::string::npos) {
      line.text = data.substr(pos);
      pos = data.size();
    } else {
      size_t end = nl;
      if (end > pos && data[end - 1] == '\r') {
        --end;
        line.eol = "\r\n";
      } else {
        line.eol = "\n";
      }
      line.text = data.substr(pos, end - pos);
      pos = nl + 1;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

// Index of the first header of `section`, or -1.
long FindSection(const std::vector<Line>& lines, const std::string& section) {
  for (size_t i = 0; i < lines.size(); ++i) {
    Parsed p = ParseLine(lines[i].text);
    if (p.kind == Kind::kSection && SameName(p.name, Trim(section))) return static_cast<long>(i);
  }
  return -1;
}

// One past the last line of the section whose header is at `header`.
size_t SectionEnd(const std::vector<Line>& lines, size_t header) {
  size_t i = header + 1;
  while (i < lines.size() && ParseLine(lines[i].text).kind != Kind::kSection) ++i;
  return i;
}

// Writes the bytes to `file`: through a temporary file and a rename when the
// folder allows it, so a failed write never leaves half a file; in place
// otherwise (a writable file in a read-only folder).
bool WriteAll(const std::string& path, const std::string& data) {
  // A link is written through: the file it names is replaced, not the link.
  std::string file = path;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    file = real;
    std::free(real);
  }
  struct stat st {};
  bool exists = ::stat(file.c_str(), &st) == 0;
  if (exists && (!S_ISREG(st.st_mode) || ::access(file.c_str(), W_OK) != 0)) return false;

  std::string tmp = file + ".zovtmp-XXXXXX";
  std::vector<char> name(tmp.begin(), tmp.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd >= 0) {
    bool ok = true;
    size_t done = 0;
    while (ok && done < data.size()) {
      ssize_t w = ::write(fd, data.data() + done, data.size() - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) ok = false;
      else done += static_cast<size_t>(w);
    }
    mode_t mode = exists ? (st.st_mode & 07777) : 0644;
    if (ok) ok = ::fchmod(fd, mode) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok && ::rename(name.data(), file.c_str()) == 0) return true;
    ::unlink(name.data());
    if (ok) return false;  // the rename failed for a reason other than space
  }
  // No temporary file possible (read-only folder): write the file itself.
  if (!exists) return false;
  FILE* f = std::fopen(file.c_str(), "r+b");
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  ok = (std::fflush(f) == 0) && ok;
  if (ok) ok = ::ftruncate(fileno(f), static_cast<off_t>(data.size())) == 0;
  if (std::fclose(f) != 0) ok = false;
  return ok;
}

}  // namespace

int ZovProfileParseInt(const std::string& text) {
  std::string_view s = text;
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  uint32_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    value = value * 10u + static_cast<uint32_t>(c - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<int>(value);
}

std::string ZovGetPrivateProfileString(const std::string& section, const std::string& key,
                                       const std::string& defaultValue, const std::string& file) {
  std::optional<std::string> data = ReadAll(file);
  if (!data) return defaultValue;
  std::vector<Line> lines = SplitLines(*data, nullptr);
  long header = FindSection(lines, section);
  if (header < 0) return defaultValue;
  size_t end = SectionEnd(lines, static_cast<size_t>(header));
  std::string_view wanted = Trim(key);
  for (size_t i = static_cast<size_t>(header) + 1; i < end; ++i) {
    Parsed p = ParseLine(lines[i].text);
    if (p.kind == Kind::kKey && SameName(p.name, wanted)) return Unquote(p.value);
  }
  return defaultValue;
}

int ZovGetPrivateProfileInt(const std::string& section, const std::string& key, int defaultValue,
                            const std::string& file) {
  // An absent key and an empty value both give the default.
  static const std::string kAbsent("\x01zov-absent\x01");
  std::string v = ZovGetPrivateProfileString(section, key, kAbsent, file);
  if (v == kAbsent || v.empty()) return defaultValue;
  return ZovProfileParseInt(v);
}

bool ZovWritePrivateProfileString(const std::string& section, const std::optional<std::string>& key,
                                  const std::optional<std::string>& value, const std::string& file) {
  if (Trim(section).empty()) return false;
  if (key && Trim(*key).empty()) return false;
  // Names and values are single lines; a line break would split the entry.
  auto hasBreak = [](const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; };
  if (hasBreak(section) || (key && hasBreak(*key)) || (value && hasBreak(*value))) return false;

  std::string bom;
  std::vector<Line> lines;
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0) {
    std::optional<std::string> data = ReadAll(file);
    if (!data) return false;
    lines = SplitLines(*data, &bom);
  }
  // New lines take the file's own line end.
  std::string eol = "\n";
  for (const Line& l : lines) {
    if (!l.eol.empty()) {
      eol = l.eol;
      break;
    }
  }

  long header = FindSection(lines, section);
  if (header < 0) {
    if (!key || !value) return true;  // nothing to remove
    if (!lines.empty() && lines.back().eol.empty()) lines.back().eol = eol;
    lines.push_back({"[" + std::string(Trim(section)) + "]", eol});
    lines.push_back({std::string(Trim(*key)) + "=" + *value, eol});
  } else {
    size_t h = static_cast<size_t>(header);
    size_t end = SectionEnd(lines, h);
    if (!key) {
      lines.erase(lines.begin() + static_cast<long>(h), lines.begin() + static_cast<long>(end));
    } else {
      std::string_view wanted = Trim(*key);
      size_t found = end;
      size_t lastEntry = h;  // last non-blank, non-comment line of the section
      for (size_t i = h + 1; i < end; ++i) {
        Parsed p = ParseLine(lines[i].text);
        if (p.kind == Kind::kKey && SameName(p.name, wanted)) {
          found = i;
          break;
        }
        if (!Trim(lines[i].text).empty() && Trim(lines[i].text).front() != ';') lastEntry = i;
      }
      if (found < end) {
        if (!value) {
          lines.erase(lines.begin() + static_cast<long>(found));
        } else {
          // Keep the key's own spelling and the text before '='.
          std::string& text = lines[found].text;
          text = text.substr(0, text.find('=') + 1) + *value;
        }
      } else if (value) {
        size_t at = lastEntry + 1;
        if (lines[lastEntry].eol.empty()) lines[lastEntry].eol = eol;
        lines.insert(lines.begin() + static_cast<long>(at), Line{std::string(wanted) + "=" + *value, eol});
      }
    }
  }

  std::string out = bom;
  for (const Line& l : lines) {
    out += l.text;
    out += l.eol;
  }
  return WriteAll(file, out);
}
