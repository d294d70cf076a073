#include "shell/zov_trace.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::atomic<CZovTraceLock*> g_traceLock{nullptr};
// Guards creation and deletion of the lock object itself.
std::mutex g_traceLockLife;

// Largest wide message; a format that needs more is cut.
constexpr size_t kMaxWideTraceChars = 64 * 1024;

bool TraceToStderr() {
  const char* v = std::getenv("ZOV_TRACE");
  return v && std::strcmp(v, "1") == 0;
}

void AppendUtf8(std::string& out, wchar_t wc) {
  auto c = static_cast<uint32_t>(wc);
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void Emit(const char* text, size_t length) {
  CZovTraceLock* tl = CZovTraceLock::GetInstance();
  std::lock_guard<std::mutex> g(tl->lock);
  std::string line(text, length);
  if (line.empty() || line.back() != '\n') line += '\n';
  ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
}

}  // namespace

CZovTraceLock* CZovTraceLock::GetInstance() {
  CZovTraceLock* tl = g_traceLock.load(std::memory_order_acquire);
  if (tl) return tl;
  std::lock_guard<std::mutex> g(g_traceLockLife);
  tl = g_traceLock.load(std::memory_order_acquire);
  if (!tl) {
    tl = new CZovTraceLock();
    g_traceLock.store(tl, std::memory_order_release);
  }
  return tl;
}

CZovTraceLock* CZovTraceLock::Peek() { return g_traceLock.load(std::memory_order_acquire); }

void CZovTraceLock::DeleteInstance() {
  std::lock_guard<std::mutex> g(g_traceLockLife);
  delete g_traceLock.exchange(nullptr, std::memory_order_acq_rel);
}

void DebugTrace(const char* format, ...) {
  CZovTraceLock::GetInstance();
  if (!format) return;
  char buffer[kZovTraceBufferBytes];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return;
  if (TraceToStderr()) Emit(buffer, std::strlen(buffer));
}

void DebugTraceW(const wchar_t* format, ...) {
  CZovTraceLock::GetInstance();
  if (!format) return;
  std::vector<wchar_t> buffer(256);
  for (;;) {
    va_list args;
    va_start(args, format);
    int n = std::vswprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    if (n >= 0) break;
    // vswprintf reports a too-small buffer and a bad format alike; grow up to
    // the limit, then keep what fits.
    if (buffer.size() >= kMaxWideTraceChars) {
      buffer.back() = L'\0';
      break;
    }
    buffer.assign(buffer.size() * 4, L'\0');
  }
  if (TraceToStderr()) {
    std::string utf8;
    for (const wchar_t* p = buffer.data(); *p; ++p) AppendUtf8(utf8, *p);
    Emit(utf8.data(), utf8.size());
  }
}
