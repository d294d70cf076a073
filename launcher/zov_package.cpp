#include "launcher/zov_package.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>

namespace fs = std::filesystem;

namespace {

// Copy pieces of at most this many bytes, as the launcher always did.
constexpr size_t kCopyChunk = 1024;
// Attempts of the folder-creation walk.
constexpr int kFolderAttempts = 32;
// Longest field 4 of the hand-over file.
constexpr size_t kMaxStateChars = 31;
// Bytes of the hand-over file that are read.
constexpr size_t kHandoverReadLimit = 128;

int32_t ReadLe32(const uint8_t* p) {
  uint32_t v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
               (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  return static_cast<int32_t>(v);
}

void WriteLe32(uint8_t* p, int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

std::string FieldText(const uint8_t* p, size_t field, bool* terminated) {
  const void* zero = std::memchr(p, 0, field);
  *terminated = zero != nullptr;
  size_t n = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - p) : field;
  return std::string(reinterpret_cast<const char*>(p), n);
}

// The package file, read through a plain descriptor.
class FilePackSource : public ZovPackSource {
 public:
  explicit FilePackSource(const fs::path& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
      ::close(fd_);
      fd_ = -1;
    }
    if (fd_ >= 0) length_ = st.st_size;
  }
  ~FilePackSource() override {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Ok() const { return fd_ >= 0; }
  int64_t Length() const override { return length_; }
  int64_t ReadAt(int64_t pos, uint8_t* buf, size_t n) override {
    size_t got = 0;
    while (got < n) {
      ssize_t r = ::pread(fd_, buf + got, n - got, pos + static_cast<int64_t>(got));
      if (r < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      if (r == 0) break;
      got += static_cast<size_t>(r);
    }
    return static_cast<int64_t>(got);
  }

 private:
  int fd_ = -1;
  int64_t length_ = 0;
};

bool LooksExecutable(const uint8_t* magic, int64_t size) {
  if (magic[0] == '#' && magic[1] == '!') return true;
  return size >= 4 && magic[0] == 0x7f && magic[1] == 'E' && magic[2] == 'L' && magic[3] == 'F';
}

bool IsInside(const fs::path& inner, const fs::path& outer) {
  auto o = outer.begin();
  auto i = inner.begin();
  for (; o != outer.end(); ++o, ++i) {
    if (o->empty()) continue;  // a trailing separator
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

}  // namespace

bool ZovDecodePackHeader(const uint8_t* bytes, size_t length, ZovPackHeader* out) {
  if (!bytes || length < kZovPackHeaderSize) return false;
  out->name = FieldText(bytes + kZovPackNameOffset, kZovPackNameField, &out->nameTerminated);
  out->subFolder =
      FieldText(bytes + kZovPackSubFolderOffset, kZovPackSubFolderField, &out->subFolderTerminated);
  out->dataSize = ReadLe32(bytes + kZovPackSizeOffset);
  out->dataOffset = ReadLe32(bytes + kZovPackDataOffset);
  return true;
}

bool ZovEncodePackHeader(const std::string& name, const std::string& subFolder, int32_t dataSize,
                         int32_t dataOffset, uint8_t out[kZovPackHeaderSize]) {
  if (name.size() >= kZovPackNameField || subFolder.size() >= kZovPackSubFolderField) return false;
  if (name.find('\0') != std::string::npos || subFolder.find('\0') != std::string::npos) return false;
  std::memset(out, 0, kZovPackHeaderSize);
  std::memcpy(out + kZovPackNameOffset, name.data(), name.size());
  std::memcpy(out + kZovPackSubFolderOffset, subFolder.data(), subFolder.size());
  WriteLe32(out + kZovPackSizeOffset, dataSize);
  WriteLe32(out + kZovPackDataOffset, dataOffset);
  return true;
}

std::string ZovSlashes(std::string_view stored) {
  std::string s(stored);
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}

bool ZovIsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string_view::npos && name.find('\\') == std::string_view::npos;
}

bool ZovIsContainedSubFolder(std::string_view stored) {
  std::string s = ZovSlashes(stored);
  if (s.empty()) return true;
  if (s.front() == '/') return false;
  // A drive letter ("C:") made the path absolute where packages come from.
  if (s.size() >= 2 && s[1] == ':') return false;
  size_t start = 0;
  while (start <= s.size()) {
    size_t end = s.find('/', start);
    if (end == std::string::npos) end = s.size();
    if (s.compare(start, end - start, "..") == 0 && end - start == 2) return false;
    start = end + 1;
  }
  return true;
}

size_t ZovUtf16Units(std::string_view utf8) {
  size_t units = 0;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
    if (i + len > utf8.size()) len = 1;
    units += len == 4 ? 2 : 1;
    i += len;
  }
  return units;
}

int64_t ZovMemoryPackSource::ReadAt(int64_t pos, uint8_t* buf, size_t n) {
  if (pos < 0) return -1;
  if (static_cast<uint64_t>(pos) >= size_) return 0;
  size_t avail = size_ - static_cast<size_t>(pos);
  size_t take = std::min(avail, n);
  std::memcpy(buf, data_ + pos, take);
  return static_cast<int64_t>(take);
}

ZovWalkEnd ZovWalkPackage(ZovPackSource& source,
                          const std::function<bool(const ZovPackRecord&)>& onRecord) {
  const int64_t length = source.Length();
  int64_t pos = 0;
  uint8_t raw[kZovPackHeaderSize];
  for (;;) {
    int64_t got = source.ReadAt(pos, raw, sizeof raw);
    if (got < 0) return ZovWalkEnd::kReadError;
    if (got < static_cast<int64_t>(kZovPackHeaderSize)) return ZovWalkEnd::kShortHeader;

    ZovPackRecord rec;
    rec.headerPos = pos;
    ZovDecodePackHeader(raw, sizeof raw, &rec.header);
    const int64_t size = rec.header.dataSize;
    const int64_t offset = rec.header.dataOffset;
    if (size < 0) return ZovWalkEnd::kBadSize;
    if (offset < 0 || offset > length) return ZovWalkEnd::kBadOffset;
    if (offset + size > length) return ZovWalkEnd::kPastEnd;
    const int64_t next = offset + size;
    // The next header must lie beyond this one, or a record pointing back
    // would make the walk go round forever.
    if (next < length && next <= pos) return ZovWalkEnd::kBadOffset;

    if (!rec.header.nameTerminated || !ZovIsPlainFileName(rec.header.name)) {
      rec.verdict = ZovRecordVerdict::kRefusedName;
    } else if (!rec.header.subFolderTerminated || !ZovIsContainedSubFolder(rec.header.subFolder)) {
      rec.verdict = ZovRecordVerdict::kRefusedFolder;
    } else {
      rec.subFolder = ZovSlashes(rec.header.subFolder);
    }
    if (!onRecord(rec)) return ZovWalkEnd::kStoppedByWriter;
    if (next >= length) return ZovWalkEnd::kEndOfPackage;
    pos = next;
  }
}

bool ZovCreateFolderChain(const fs::path& folder) {
  std::vector<fs::path> chain;  // folder, its parent, ... up to the root
  for (fs::path p = folder.lexically_normal(); !p.empty(); p = p.parent_path()) {
    if (!chain.empty() && chain.back() == p) break;  // the root is its own parent
    if (p.filename().empty() && p.has_parent_path() && p != p.root_path()) {
      p = p.parent_path();  // drop a trailing separator
    }
    chain.push_back(p);
  }
  if (chain.empty()) return false;
  size_t level = 0;  // index into chain of the path tried now
  for (int attempt = 0; attempt < kFolderAttempts; ++attempt) {
    const fs::path& p = chain[level];
    bool made = ::mkdir(p.c_str(), 0755) == 0;
    if (!made && errno == EEXIST) {
      std::error_code ec;
      made = fs::is_directory(p, ec);
      if (!made) return false;  // a file stands in the way
    }
    if (made) {
      if (level == 0) return true;
      --level;
    } else if (errno == ENOENT && level + 1 < chain.size()) {
      ++level;
    } else {
      return false;
    }
  }
  std::error_code ec;
  return fs::is_directory(folder, ec);
}

ZovUnpackResult ZovUnpackPackage(const fs::path& package, const fs::path& folder) {
  ZovUnpackResult result;
  FilePackSource source(package);
  if (!source.Ok()) return result;
  result.opened = true;

  const fs::path root = folder.lexically_normal();
  std::vector<char> chunk(kCopyChunk);
  result.end = ZovWalkPackage(source, [&](const ZovPackRecord& rec) {
    if (rec.verdict != ZovRecordVerdict::kWrite) {
      result.refused.push_back(rec.header.name);
      return true;
    }
    fs::path dir = rec.subFolder.empty() ? root : (root / rec.subFolder).lexically_normal();
    fs::path file = dir / rec.header.name;
    if (!IsInside(file, root) || ZovUtf16Units(file.string()) > kZovMaxPathUnits) {
      result.refused.push_back(rec.header.name);
      return true;
    }
    if (!fs::is_directory(dir) && !ZovCreateFolderChain(dir)) return false;
    // A folder reached through a link that points elsewhere is not written to.
    std::error_code ec;
    fs::path realRoot = fs::canonical(root, ec);
    fs::path realDir = ec ? fs::path() : fs::canonical(dir, ec);
    if (ec || !IsInside(realDir, realRoot)) {
      result.refused.push_back(rec.header.name);
      return true;
    }
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return false;
    int64_t left = rec.header.dataSize;
    int64_t at = rec.header.dataOffset;
    bool ok = true;
    // The format keeps no permissions: programs and scripts are recognised by
    // their first bytes and made executable, so an installed player can start.
    uint8_t magic[4] = {};
    if (left >= 2 && source.ReadAt(at, magic, sizeof magic) >= 2 && LooksExecutable(magic, left)) {
      ::fchmod(fd, 0755);
    }
    while (left > 0 && ok) {
      size_t n = static_cast<size_t>(std::min<int64_t>(left, kCopyChunk));
      int64_t got = source.ReadAt(at, reinterpret_cast<uint8_t*>(chunk.data()), n);
      if (got <= 0) break;
      size_t done = 0;
      while (done < static_cast<size_t>(got)) {
        ssize_t w = ::write(fd, chunk.data() + done, static_cast<size_t>(got) - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
          ok = false;
          break;
        }
        done += static_cast<size_t>(w);
      }
      left -= got;
      at += got;
    }
    ::close(fd);
    if (!ok) return false;  // the disk is full or the file went away: stop here
    result.written.push_back(file.lexically_relative(root).string());
    return true;
  });
  return result;
}

bool ZovWritePackage(const fs::path& folder, const fs::path& package, std::string* error,
                     std::vector<std::string>* warnings) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return fail(folder.string() + ": not a folder");

  std::vector<fs::path> files;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::directory_entry& e = *it;
    if (e.is_symlink(ec)) {
      if (warnings) warnings->push_back(e.path().string() + ": link skipped");
      if (e.is_directory(ec)) it.disable_recursion_pending();
      continue;
    }
    if (e.is_directory(ec)) continue;
    if (!e.is_regular_file(ec)) {
      if (warnings) warnings->push_back(e.path().string() + ": not a plain file, skipped");
      continue;
    }
    files.push_back(e.path());
  }
  if (ec) return fail(folder.string() + ": " + ec.message());
  std::sort(files.begin(), files.end());

  std::ofstream out(package, std::ios::binary | std::ios::trunc);
  if (!out) return fail(package.string() + ": cannot be created");
  int64_t pos = 0;
  std::vector<char> buf(64 * 1024);
  for (const fs::path& f : files) {
    fs::path rel = f.lexically_relative(folder);
    std::string name = rel.filename().string();
    std::string sub;
    for (const fs::path& part : rel.parent_path()) {
      if (!sub.empty()) sub += '\\';
      sub += part.string();
    }
    uintmax_t size = fs::file_size(f, ec);
    if (ec) return fail(f.string() + ": " + ec.message());
    const int64_t dataOffset = pos + static_cast<int64_t>(kZovPackHeaderSize);
    if (dataOffset + static_cast<int64_t>(size) > std::numeric_limits<int32_t>::max()) {
      return fail("package would pass 2 GiB at " + rel.string());
    }
    bool backslash = name.find('\\') != std::string::npos;
    for (const fs::path& part : rel.parent_path()) backslash |= part.string().find('\\') != std::string::npos;
    if (backslash) return fail(rel.string() + ": a name holds a backslash, which the launcher reads as a folder");
    uint8_t header[kZovPackHeaderSize];
    if (!ZovEncodePackHeader(name, sub, static_cast<int32_t>(size), static_cast<int32_t>(dataOffset),
                             header)) {
      return fail(rel.string() + ": name longer than 127 bytes or folder longer than 130 bytes");
    }
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    std::ifstream in(f, std::ios::binary);
    if (!in) return fail(f.string() + ": cannot be read");
    uintmax_t left = size;
    while (left > 0) {
      size_t n = static_cast<size_t>(std::min<uintmax_t>(left, buf.size()));
      in.read(buf.data(), static_cast<std::streamsize>(n));
      if (in.gcount() != static_cast<std::streamsize>(n)) return fail(f.string() + ": changed while read");
      out.write(buf.data(), static_cast<std::streamsize>(n));
      left -= n;
    }
    pos = dataOffset + static_cast<int64_t>(size);
  }
  out.flush();
  if (!out) return fail(package.string() + ": write failed");
  return true;
}

bool ZovHandover::Complete() const {
  return stateFits && state.find_first_of("Kk") != std::string::npos;
}

ZovHandover ZovParseHandover(std::string_view text) {
  ZovHandover h;
  text = text.substr(0, std::min(text.size(), kHandoverReadLimit));
  // The text ends at a zero byte, as the launcher read it into a C string.
  size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    h.fields.emplace_back(text.substr(start, comma == std::string_view::npos ? text.npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (!h.fields.empty()) {
    int kind = 0;
    h.kindRead = std::sscanf(h.fields[0].c_str(), "%d", &kind) == 1;
    if (h.kindRead) h.kind = kind;
  }
  if (h.fields.size() >= 4) {
    h.stateFits = h.fields[3].size() <= kMaxStateChars;
    if (h.stateFits) h.state = h.fields[3];
  }
  return h;
}
