#pragma once
// Bounded random-access reading of a recording for the container scan.
//
// Every read is clipped to the file: asking for bytes past the end returns
// fewer bytes (or none), never more. Offsets are 64-bit throughout, so files
// above 2 GiB and 4 GiB work. CZovGpsWindow adds a small read-ahead window
// for walks that look at many nearby headers (the tail index walks byte by
// byte), so peak memory stays at the window size whatever the file size.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CZovGpsFile {
 public:
  CZovGpsFile() = default;
  ~CZovGpsFile();
  CZovGpsFile(const CZovGpsFile&) = delete;
  CZovGpsFile& operator=(const CZovGpsFile&) = delete;

  // Opens the file for reading; false when it cannot be opened or is not a
  // regular file.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }
  uint64_t Size() const { return size_; }

  // Reads up to n bytes at offset into out; returns the number of bytes
  // read (short at the end of the file or on an error).
  size_t ReadAt(uint64_t offset, void* out, size_t n) const;
  // Reads exactly n bytes or fails.
  bool ReadExact(uint64_t offset, void* out, size_t n) const {
    return ReadAt(offset, out, n) == n;
  }
  // The first offset at or after `offset` that may hold data other than a
  // hole of a sparse file (offset itself where holes are not reported).
  uint64_t NextData(uint64_t offset) const;
  // Reads up to n bytes into a vector sized to what was read.
  std::vector<uint8_t> ReadVector(uint64_t offset, size_t n) const;
  int Descriptor() const { return fd_; }

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  std::string path_;
};

// A read-ahead window over a CZovGpsFile.
class CZovGpsWindow {
 public:
  static constexpr size_t kDefaultWindow = 256 * 1024;
  explicit CZovGpsWindow(const CZovGpsFile& file, size_t window = kDefaultWindow);

  // Pointer to n bytes at offset, valid until the next call, or nullptr when
  // fewer than n bytes lie inside the file. n must not exceed the window.
  // `held` (optional) receives how many bytes from offset on the pointer
  // covers (n or more).
  const uint8_t* Get(uint64_t offset, size_t n, size_t* held = nullptr);

 private:
  const CZovGpsFile& file_;
  std::vector<uint8_t> buf_;
  uint64_t start_ = 0;
  size_t filled_ = 0;
};

// Big- and little-endian loads from a byte buffer (the caller has checked
// that the bytes are there).
inline uint32_t ZovBe32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline uint16_t ZovBe16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint64_t ZovBe64(const uint8_t* p) {
  return (uint64_t(ZovBe32(p)) << 32) | ZovBe32(p + 4);
}
inline uint32_t ZovLe32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
