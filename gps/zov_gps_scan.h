#pragma once
// Container scan: finds the places where dashboard cameras hide GPS data in a
// recording (MP4/MOV boxes, transport-stream packets, AVI JUNK chunks, a tail
// index at the end of the file) or takes a whole text side file, and hands
// each candidate buffer to a sink (the extractor, which runs the block
// decoder on it). All file I/O of the extractor happens here; the decoders
// only ever see buffers.
//
// Every read is bounded by the file: box sizes past the end, huge or wrapped
// AVI chunk sizes, a tail-index length larger than the file or a chunk-offset
// count larger than its box give fewer candidates, never a read outside the
// file or an endless walk. Offsets are 64-bit everywhere.
//
// Threads: everything runs on the caller's thread except the transport-stream
// scan, which cuts the file into chunks of 98,566,144 bytes and scans them on
// worker threads; each worker writes only its own chunk's result slots, and
// the sink is called on the caller's thread only, after every worker is done.
//
// Stopping: a scan may be given a stop check (ZovScanStop). It is asked
// between chunk windows, packets, candidates and boxes, on the caller's
// thread and on the stream workers at once; once it answers true the scan
// ends early with what it has found, so an owner that is going away waits
// at most one window read for it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gps/zov_gps_file.h"

// Where the scan delivers what it finds (called on the scanning thread).
class IZovGpsScanSink {
 public:
  virtual ~IZovGpsScanSink() = default;
  // A candidate buffer for the block parser; returns the parser's result.
  virtual int OnBlock(const uint8_t* data, size_t size) = 0;
  // A sample of a timed track (a text track of the recording) that starts at
  // `second` of the video: its fixes belong to that second whatever their
  // GPS time says.
  virtual int OnTimedBlock(const uint8_t* data, size_t size, int64_t second) { return OnBlock(data, size); }
  // One 44-byte binary GPS record; index is the candidate's ordinal.
  virtual void OnBinaryRecord(const uint8_t* record, uint32_t index) = 0;
  // One 128-byte `$G` text record read from an AMBA GPS track chunk.
  virtual void OnAmbaRecord(const uint8_t* data, size_t size) = 0;
  // Fixes accepted so far in this extraction (later steps run only while 0).
  virtual size_t FixCount() const = 0;
};

// kSideText: a side file of a public layout (zov_gps_side.h), read by the
// extractor itself rather than by the container scan.
enum class ZovGpsSourceKind { kNone, kTransportStream, kText, kAvi, kMp4, kSideText };

// True when the scan is to end early. Called from several threads at once
// (the stream workers), so it must be safe to call concurrently; empty: the
// scan runs to its end.
using ZovScanStop = std::function<bool()>;

// Kind of source by the file name's extension, compared exactly: "TS"/"ts",
// "txt" (not "TXT"), "avi"/"AVI", "mp4"/"MP4"/"mov"/"MOV", and the side
// layouts' extensions (ZovSideLayoutOfName) as kSideText.
ZovGpsSourceKind ZovGpsSourceKindOf(const std::string& path);

// Kind of source by the file's first bytes, for tools given files whose
// extension is missing or unknown (the player chooses by extension only):
// an MP4/MOV box type at offset 4, "RIFF....AVI ", transport-stream sync
// bytes every 188 bytes, a GPS block tag near the start of a side file, or
// the start of a side file of a public layout (kSideText).
ZovGpsSourceKind ZovGpsSourceKindOfContent(const CZovGpsFile& file);

struct ZovGpsCandidate {
  uint64_t offset = 0;
  uint64_t length = 0;
  bool operator==(const ZovGpsCandidate&) const = default;
};

// Tuning and format constants of the scan.
namespace zovscan {
// Candidates of this length or more are skipped (no camera block is that big).
constexpr uint64_t kMaxCandidate = 64ull * 1024 * 1024;
// A text side file is read whole, up to this size.
constexpr uint64_t kMaxTextFile = 64ull * 1024 * 1024;
// Hostile files cannot grow the candidate list without bound.
constexpr size_t kMaxCandidates = 1u << 20;
// Transport stream: 188-byte packets, chunks of 524,288 packets per worker.
constexpr uint64_t kTsPacket = 188;
constexpr uint64_t kTsChunk = kTsPacket * 524288;  // 98,566,144
constexpr uint64_t kTsChunkRound = 98951167;       // chunk count = (S + this) / chunk
constexpr size_t kTsSlots = 1024;                   // recorded hits per chunk
constexpr size_t kTsTagWindow = 100;                // tag positions 1-99 of a packet
// Workers that run at once; chunks beyond this wait for a free worker.
constexpr unsigned kTsMaxWorkers = 32;
// Walks that step through many small items ask the stop check once per this
// many items (boxes, tail bytes, AVI chunks).
constexpr uint64_t kStopCheckEvery = 1024;
// AVI: cameras pad each second with a JUNK chunk of this size holding the block.
constexpr uint32_t kAviJunkSize = 34032;
constexpr uint64_t kAviJunkBlockOffset = 33528;
constexpr uint64_t kAviJunkBlockLength = 320;
// Tail index: the footer must leave room for at least this much before it.
constexpr uint64_t kTailMinRoom = 140;
// MP4 walks read box headers through a window of this size.
constexpr size_t kBoxHeaderWindow = 4096;
// ... and visit at most this many boxes (a real file has a few thousand; a
// crafted one of tiny boxes would otherwise keep the walk busy for minutes).
constexpr size_t kMaxBoxes = 1u << 20;
// MP4 chunk-offset candidates.
constexpr uint64_t kStcoBlockOffset = 4096;
constexpr uint64_t kStcoBlockLength = 1024;
constexpr uint64_t kStcoMaxBox = 10239;
constexpr uint64_t kFreeGpsProbe = 0x10000;
constexpr uint64_t kFreeGpsMaxLength = 256;
// Telemetry (`gpmd`) chunks of a track without a usable sample table.
constexpr uint64_t kGpmdBlockLength = 820;
constexpr size_t kAmbaRecord = 128;
constexpr size_t kSampleRead = 256;
constexpr uint64_t kSampleKaruProbe1 = 6400;
constexpr uint64_t kSampleKaruProbe2 = 0x20000;
constexpr uint32_t kSampleKaruMaxSize = 320;
constexpr size_t kBinaryRecord = 44;
}  // namespace zovscan

class CZovGpsScan {
 public:
  CZovGpsScan(const CZovGpsFile& file, IZovGpsScanSink& sink, ZovScanStop stop = {})
      : file_(file), sink_(sink), stop_(std::move(stop)) {}

  // Runs the steps of the kind in order, each only while no fix was accepted.
  void Run(ZovGpsSourceKind kind);

  // The single steps (public for tests and tools).
  void ScanTailIndex();
  void WalkBoxes();          // MP4 box walk: blocks in boxes, tables and chunks
  void WalkBinaryRecords();  // MP4 walk for 44-byte binary records
  void ScanSamples();        // MP4 sample scan: KARUGPS and text tracks
  void ScanTransportStream();
  void ScanAviChunks();
  void ScanText();

  // Candidates of the last step that collects them, in the order found.
  const std::vector<ZovGpsCandidate>& Candidates() const { return candidates_; }
  // Transport-stream hits (file offsets of the tags) of the last stream scan.
  const std::vector<uint64_t>& StreamHits() const { return streamHits_; }
  // The stop check answered true: the scan ended (or is ending) early.
  bool Stopped() const { return stop_ && stop_(); }

 private:
  struct Box;
  class BoxWalk;
  template <typename Visit>
  void Walk(Visit&& visit);
  std::vector<uint32_t> ReadChunkOffsets(const Box& box, uint64_t countLimit) const;
  // Every sample of a track as (offset, size), from its sample sizes
  // (`stsz`), sample-to-chunk runs (`stsc`) and chunk offsets (`stco`, or
  // `co64` when co64 is set). Bounded by the boxes, the file and
  // zovscan::kMaxCandidates; empty when a table is unusable.
  std::vector<ZovGpsCandidate> ReadSampleTable(const Box& stsz, const Box& stsc, const Box& chunks,
                                               bool co64) const;
  std::vector<int64_t> ChunkSeconds(const Box& stts, const Box& stsc, uint32_t timescale,
                                    size_t chunks) const;
  void AddCandidate(uint64_t offset, uint64_t length);
  void AddGpsTableCandidates(const Box& box);
  void ParseCandidates(bool clampToFile);
  void ScanTsChunk(uint64_t chunk, std::vector<uint64_t>& slots) const;

  const CZovGpsFile& file_;
  IZovGpsScanSink& sink_;
  ZovScanStop stop_;
  std::vector<ZovGpsCandidate> candidates_;
  std::vector<uint64_t> streamHits_;
};
