#pragma once
// HTTP(S) transfers of the update client over libcurl's easy interface: a GET
// into memory for the check service and downloads to a file for everything
// else. Server certificates and host names are always verified; a test or a
// deployment with its own certificate authority names its bundle.
#include <atomic>
#include <cstdint>
#include <string>

struct ZovTransferOptions {
  // Certificate authority bundle (PEM) used instead of the system's; empty
  // for the system store.
  std::string caBundle;
  // Zero means no limit.
  long connectTimeoutMs = 0;
  long totalTimeoutMs = 0;
  // A transfer that receives nothing for this many seconds is given up
  // (a server that stops sending); zero means no limit.
  long stallTimeoutS = 0;
  // When set and true, a running transfer is abandoned (program shutdown).
  const std::atomic<bool>* cancel = nullptr;
};

// The transfer record shared by all downloads: written by the transfer's
// callbacks on the downloading thread, read by the progress thread.
struct ZovTransferRecord {
  std::atomic<int64_t> expected{0};  // total size the transfer announced
  std::atomic<int64_t> received{0};  // bytes written to the file so far
  std::atomic<bool> done{false};
};

// One-time library set-up; call before the first transfer on any thread.
void ZovTransferGlobalInit();

// GET url into *body. True when the transfer succeeded with a 2xx status and
// the body is not empty and at most 1 MiB; otherwise *body is cleared.
bool ZovHttpGet(const std::string& url, const ZovTransferOptions& options, std::string* body);

// Downloads url into the file at path (created or truncated). Resets the
// record first and sets done at the end. True only when the transfer ended
// without error, the status was 2xx and the announced size was received in
// full; a server that announces no size always fails. A partial file stays.
bool ZovHttpDownload(const std::string& url, const std::string& path, ZovTransferRecord& record,
                     const ZovTransferOptions& options);
