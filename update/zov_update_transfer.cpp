#include "update/zov_update_transfer.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>

namespace {

// Only web addresses are fetched: a reply may not point the client at local
// files or other protocols.
constexpr const char* kAllowedProtocols = "http,https";
// The in-memory body starts with this capacity and doubles past the need.
constexpr size_t kBodyInitialCapacity = 1024;
// The check service answers a few hundred bytes over plain HTTP; a reply
// beyond this is abandoned instead of filling memory for its 3 seconds.
constexpr size_t kBodyMaxBytes = 1024 * 1024;

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
using CurlPtr = std::unique_ptr<CURL, CurlDeleter>;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

size_t AppendBody(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  const size_t n = size * count;
  if (body->size() + n > kBodyMaxBytes) return 0;  // ends the transfer with a write error
  if (body->size() + n > body->capacity()) body->reserve(2 * (body->size() + n));
  body->append(data, n);
  return n;
}

struct DownloadSink {
  std::FILE* file;
  ZovTransferRecord* record;
};

size_t WriteFile(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<DownloadSink*>(user);
  const size_t n = size * count;
  sink->record->received.fetch_add(static_cast<int64_t>(n));
  return std::fwrite(data, 1, n, sink->file);
}

struct ProgressState {
  ZovTransferRecord* record;  // may be null (GET into memory)
  const std::atomic<bool>* cancel;
  long stallTimeoutS = 0;
  // Bytes received at the last change, and when that was.
  curl_off_t lastNow = -1;
  std::chrono::steady_clock::time_point lastChange{};
};

// Called by the transfer at least once a second, also while no data flows.
int OnProgress(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t) {
  auto* p = static_cast<ProgressState*>(user);
  if (p->record) p->record->expected.store(static_cast<int64_t>(dltotal));
  if (p->cancel && p->cancel->load()) return 1;
  if (p->stallTimeoutS > 0) {
    const auto now = std::chrono::steady_clock::now();
    if (dlnow != p->lastNow) {
      p->lastNow = dlnow;
      p->lastChange = now;
    } else if (now - p->lastChange >= std::chrono::seconds(p->stallTimeoutS)) {
      return 1;  // the server stopped sending
    }
  }
  return 0;
}

CurlPtr MakeHandle(const std::string& url, const ZovTransferOptions& options, ProgressState* progress) {
  CurlPtr c(curl_easy_init());
  if (!c) return c;
  CURL* h = c.get();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_HEADER, 0L);
  curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!options.caBundle.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, options.caBundle.c_str());
  if (options.connectTimeoutMs > 0) curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
  if (options.totalTimeoutMs > 0) curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, options.totalTimeoutMs);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, progress);
  return c;
}

bool StatusOk(CURL* h) {
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  return status >= 200 && status < 300;
}

}  // namespace

void ZovTransferGlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool ZovHttpGet(const std::string& url, const ZovTransferOptions& options, std::string* body) {
  ZovTransferGlobalInit();
  body->clear();
  body->reserve(kBodyInitialCapacity);
  ProgressState progress{nullptr, options.cancel, options.stallTimeoutS};
  CurlPtr c = MakeHandle(url, options, &progress);
  if (!c) return false;
  curl_easy_setopt(c.get(), CURLOPT_WRITEFUNCTION, AppendBody);
  curl_easy_setopt(c.get(), CURLOPT_WRITEDATA, body);
  CURLcode rc = curl_easy_perform(c.get());
  if (rc != CURLE_OK || !StatusOk(c.get()) || body->empty()) {
    body->clear();
    return false;
  }
  return true;
}

bool ZovHttpDownload(const std::string& url, const std::string& path, ZovTransferRecord& record,
                     const ZovTransferOptions& options) {
  ZovTransferGlobalInit();
  record.expected.store(0);
  record.received.store(0);
  record.done.store(false);
  bool ok = false;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (file) {
    ProgressState progress{&record, options.cancel, options.stallTimeoutS};
    CurlPtr c = MakeHandle(url, options, &progress);
    if (c) {
      DownloadSink sink{file.get(), &record};
      curl_easy_setopt(c.get(), CURLOPT_WRITEFUNCTION, WriteFile);
      curl_easy_setopt(c.get(), CURLOPT_WRITEDATA, &sink);
      CURLcode rc = curl_easy_perform(c.get());
      ok = rc == CURLE_OK && StatusOk(c.get());
    }
    if (std::fflush(file.get()) != 0) ok = false;
    file.reset();
  }
  const int64_t expected = record.expected.load();
  ok = ok && expected != 0 && expected == record.received.load();
  record.done.store(true);
  return ok;
}
