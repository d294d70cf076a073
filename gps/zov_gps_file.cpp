#include "gps/zov_gps_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

CZovGpsFile::~CZovGpsFile() { Close(); }

bool CZovGpsFile::Open(const std::string& path) {
  Close();
  // Without O_NONBLOCK a named pipe would block here until a writer came;
  // the flag changes nothing for the regular files that are kept.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
  path_ = path;
  return true;
}

void CZovGpsFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
  path_.clear();
}

size_t CZovGpsFile::ReadAt(uint64_t offset, void* out, size_t n) const {
  if (fd_ < 0 || offset >= size_ || n == 0) return 0;
  n = static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
  size_t done = 0;
  auto* dst = static_cast<uint8_t*>(out);
  while (done < n) {
    ssize_t r = ::pread(fd_, dst + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += static_cast<size_t>(r);
  }
  return done;
}

uint64_t CZovGpsFile::NextData(uint64_t offset) const {
  if (fd_ < 0 || offset >= size_) return offset;
  const off_t d = ::lseek(fd_, static_cast<off_t>(offset), SEEK_DATA);
  if (d < 0) return errno == ENXIO ? size_ : offset;  // ENXIO: only a hole remains
  return static_cast<uint64_t>(d);
}

std::vector<uint8_t> CZovGpsFile::ReadVector(uint64_t offset, size_t n) const {
  std::vector<uint8_t> v;
  if (offset >= size_) return v;
  v.resize(static_cast<size_t>(std::min<uint64_t>(n, size_ - offset)));
  v.resize(ReadAt(offset, v.data(), v.size()));
  return v;
}

CZovGpsWindow::CZovGpsWindow(const CZovGpsFile& file, size_t window)
    : file_(file), buf_(window) {}

const uint8_t* CZovGpsWindow::Get(uint64_t offset, size_t n, size_t* held) {
  if (n > buf_.size()) return nullptr;
  if (!(offset >= start_ && offset - start_ + n <= filled_)) {
    if (offset >= file_.Size() || file_.Size() - offset < n) return nullptr;
    start_ = offset;
    filled_ = file_.ReadAt(offset, buf_.data(), buf_.size());
    if (filled_ < n) return nullptr;
  }
  if (held) *held = filled_ - static_cast<size_t>(offset - start_);
  return buf_.data() + (offset - start_);
}
