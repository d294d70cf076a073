#include "gps/zov_gps_scan.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>

#include "gps/zov_gps_side.h"

using namespace zovscan;

namespace {

std::string ExtensionOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

// True when the 4 characters of tag occur anywhere in the n header bytes:
// cameras' own readers match box types this way, so a type is recognised
// wherever its letters appear in the size and type fields.
bool HasTag(const uint8_t* hdr, size_t n, const char* tag) {
  for (size_t i = 0; i + 4 <= n; ++i)
    if (std::memcmp(hdr + i, tag, 4) == 0) return true;
  return false;
}

bool HasTag3(const uint8_t* hdr, size_t n, const char* tag) {
  for (size_t i = 0; i + 3 <= n; ++i)
    if (std::memcmp(hdr + i, tag, 3) == 0) return true;
  return false;
}

bool IsFreeGps(const uint8_t* p) { return std::memcmp(p + 4, "freeGPS", 7) == 0; }

}  // namespace

ZovGpsSourceKind ZovGpsSourceKindOf(const std::string& path) {
  const std::string ext = ExtensionOf(path);
  if (ext == "TS" || ext == "ts") return ZovGpsSourceKind::kTransportStream;
  if (ext == "txt") return ZovGpsSourceKind::kText;
  if (ext == "avi" || ext == "AVI") return ZovGpsSourceKind::kAvi;
  if (ext == "mp4" || ext == "MP4" || ext == "mov" || ext == "MOV") return ZovGpsSourceKind::kMp4;
  if (ZovSideLayoutOfName(path) != ZovSideLayout::kNone) return ZovGpsSourceKind::kSideText;
  return ZovGpsSourceKind::kNone;
}

ZovGpsSourceKind ZovGpsSourceKindOfContent(const CZovGpsFile& file) {
  constexpr size_t kHead = 64 * 1024;  // side files carry their tag near the start
  const std::vector<uint8_t> h = file.ReadVector(0, kHead);
  auto at = [&h](size_t i, const char* s) {
    return h.size() >= i + std::strlen(s) && std::memcmp(h.data() + i, s, std::strlen(s)) == 0;
  };
  for (const char* type : {"ftyp", "moov", "mdat", "free", "wide", "skip", "pnot"})
    if (at(4, type)) return ZovGpsSourceKind::kMp4;
  if (at(0, "RIFF") && at(8, "AVI ")) return ZovGpsSourceKind::kAvi;
  if (h.size() >= 2 * kTsPacket + 1 && h[0] == 0x47 && h[kTsPacket] == 0x47 && h[2 * kTsPacket] == 0x47)
    return ZovGpsSourceKind::kTransportStream;
  const std::string_view text(reinterpret_cast<const char*>(h.data()), h.size());
  if (text.find("KARUGPS") != std::string_view::npos || text.find("GPSINFO") != std::string_view::npos)
    return ZovGpsSourceKind::kText;
  if (ZovSideLayoutOfContent(h.data(), h.size()) != ZovSideLayout::kNone) return ZovGpsSourceKind::kSideText;
  return ZovGpsSourceKind::kNone;
}

void CZovGpsScan::Run(ZovGpsSourceKind kind) {
  auto none = [this] { return sink_.FixCount() == 0 && !Stopped(); };
  switch (kind) {
    case ZovGpsSourceKind::kTransportStream:
      ScanTailIndex();
      if (none()) ScanTransportStream();
      break;
    case ZovGpsSourceKind::kText:
      ScanText();
      break;
    case ZovGpsSourceKind::kAvi:
      ScanTailIndex();
      if (none()) ScanAviChunks();
      break;
    case ZovGpsSourceKind::kMp4:
      ScanSamples();
      if (none()) ScanTailIndex();
      if (none()) WalkBoxes();
      if (none()) WalkBinaryRecords();
      break;
    case ZovGpsSourceKind::kSideText:  // read by the extractor
    case ZovGpsSourceKind::kNone:
      break;
  }
}

void CZovGpsScan::AddCandidate(uint64_t offset, uint64_t length) {
  if (candidates_.size() < kMaxCandidates) candidates_.push_back({offset, length});
}

// Reads each candidate (below 64 MiB and starting inside the file) and gives
// it to the block parser. Reads are bounded by the file, so a candidate that
// runs past the end gives its part inside the file. Camera blocks do not
// overlap, so all of them together are no bigger than the file; a table whose
// entries all name the same large span (a crafted file) stops once the reads
// exceed the file size by a candidate's maximum.
void CZovGpsScan::ParseCandidates(bool clampToFile) {
  const uint64_t size = file_.Size();
  uint64_t budget = size + kMaxCandidate;
  std::vector<uint8_t> buf;
  for (const ZovGpsCandidate& c : candidates_) {
    if (Stopped()) return;
    if (c.offset >= size) continue;
    uint64_t len = c.length;
    if (clampToFile) len = std::min(len, size - c.offset);
    if (len >= kMaxCandidate || len == 0) continue;
    const uint64_t reads = std::min(len, size - c.offset);
    if (reads > budget) break;
    budget -= reads;
    buf = file_.ReadVector(c.offset, static_cast<size_t>(len));
    if (buf.empty()) continue;
    sink_.OnBlock(buf.data(), buf.size());
  }
}

// ---------------------------------------------------------------------------
// Tail index. The last 8 bytes are "&&&&" or "####" and a BE length L; the
// 32 bytes before the last L bytes may hold a second mark and length, which
// together give the size N of the indexed tail. Boxes `skip`, `SKIP` and
// `hgps` inside that tail are candidates.
void CZovGpsScan::ScanTailIndex() {
  candidates_.clear();
  const uint64_t size = file_.Size();
  uint8_t foot[8];
  if (size < 8 || !file_.ReadExact(size - 8, foot, 8)) return;
  if (!(foot[0] == foot[1] && foot[1] == foot[2] && foot[2] == foot[3] &&
        (foot[0] == '&' || foot[0] == '#')))
    return;
  const uint64_t l = ZovBe32(foot + 4);
  if (l + 32 > size) return;  // the length points before the file start

  // The index head is 32 bytes; read 8 more so that a length after a late mark is whole.
  uint8_t head[40] = {};
  const size_t got = file_.ReadAt(size - l - 32, head, sizeof(head));
  uint64_t n = l;
  for (size_t p = 0; p + 8 <= std::min<size_t>(got, sizeof(head)) && p < 32; ++p) {
    const uint8_t c = head[p];
    if ((c == '&' || c == '#' || c == '*') && head[p + 1] == c && head[p + 2] == c && head[p + 3] == c) {
      n = uint64_t(ZovBe32(head + p + 4)) + l;
      break;
    }
  }
  if (size < kTailMinRoom || n >= size - kTailMinRoom) return;

  CZovGpsWindow win(file_);
  uint64_t pos = size - n - 1;
  const uint64_t steps = n > 132 ? n - 132 : 0;
  for (uint64_t step = 0, visits = 0; step < steps && pos + kTailMinRoom <= size; ++visits) {
    if (visits % kStopCheckEvery == 0 && Stopped()) return;
    size_t held = 0;
    const uint8_t* h = win.Get(pos, 8, &held);
    if (!h) break;
    const uint32_t boxSize = ZovBe32(h);
    if (std::memcmp(h + 4, "skip", 4) == 0 || std::memcmp(h + 4, "SKIP", 4) == 0 ||
        std::memcmp(h + 4, "hgps", 4) == 0) {
      // A box smaller than its own header cannot be skipped over; treat it as
      // a stray match and move on by one byte (a size of 0 would never move).
      if (boxSize >= 8) {
        AddCandidate(pos, boxSize);
        pos += boxSize;
        ++step;
        continue;
      }
    }
    // One byte on, then on past every position of the window whose type
    // cannot start with 's', 'S' or 'h' (the same steps, taken without a
    // window look-up each: a long tail is walked at memory speed).
    const uint64_t at = pos;
    ++pos;
    ++step;
    while (step < steps && pos + kTailMinRoom <= size && pos - at + 8 <= held) {
      const uint8_t c = h[pos - at + 4];
      if (c == 's' || c == 'S' || c == 'h') break;
      ++pos;
      ++step;
    }
  }
  ParseCandidates(/*clampToFile=*/true);
}

// ---------------------------------------------------------------------------
// MP4 box walk shared by the three MP4 steps.

struct CZovGpsScan::Box {
  uint64_t offset = 0;
  uint64_t size = 0;   // whole box, header included
  uint8_t hdr[16] = {};
  size_t headerLen = 8;
  bool Has(const char* tag) const { return HasTag(hdr, 8, tag); }
};

// A `gps ` table: after its 16-byte header, (offset, length) pairs of
// 32-bit big-endian numbers, each naming one GPS block of the file. Empty
// entries and blocks past the end of the file are skipped.
void CZovGpsScan::AddGpsTableCandidates(const Box& box) {
  const uint64_t size = file_.Size();
  const uint64_t entries = std::min<uint64_t>((box.size - 16) / 8, kMaxCandidates);
  std::vector<uint8_t> raw = file_.ReadVector(box.offset + 16, static_cast<size_t>(entries * 8));
  for (size_t i = 0; i + 8 <= raw.size(); i += 8) {
    const uint64_t off = ZovBe32(raw.data() + i);
    const uint64_t len = ZovBe32(raw.data() + i + 4);
    if (off != 0 && len != 0 && off + len <= size) AddCandidate(off, len);
  }
}

namespace {
enum class WalkResult { kNext, kEnter, kStop };
}

// Walks boxes from offset 0. Containers are entered (the visitor answers
// kEnter); other boxes are skipped by their size. The walk ends at a size
// of 0, a 64-bit size below 16, a box that runs past the file, when fewer
// than 16 bytes remain, or after kMaxBoxes boxes.
template <typename Visit>
void CZovGpsScan::Walk(Visit&& visit) {
  const uint64_t size = file_.Size();
  uint64_t pos = 0;
  // Headers are read through a page-sized window: a run of tiny boxes (a
  // crafted file of 8-byte boxes) costs one read per page, not one per box.
  CZovGpsWindow win(file_, kBoxHeaderWindow);
  for (size_t boxes = 0; pos < size && size - pos >= 16 && boxes < kMaxBoxes; ++boxes) {
    if (boxes % kStopCheckEvery == 0 && Stopped()) return;
    Box box;
    box.offset = pos;
    const uint8_t* h = win.Get(pos, 16);
    if (!h) return;
    std::memcpy(box.hdr, h, 16);
    const uint32_t s32 = ZovBe32(box.hdr);
    if (s32 < 1) return;
    if (s32 == 1) {
      box.size = ZovBe64(box.hdr + 8);
      box.headerLen = 16;
      if (box.size < 16) return;
    } else {
      box.size = s32;
    }
    const WalkResult r = visit(box);
    if (r == WalkResult::kStop) return;
    if (r == WalkResult::kEnter) {
      pos += box.headerLen;
      continue;
    }
    if (box.size > size - pos) return;
    pos += box.size;
  }
}

namespace {
bool IsContainer(const uint8_t* hdr) {
  return HasTag(hdr, 8, "moov") || HasTag(hdr, 8, "MOOV") || HasTag(hdr, 8, "trak") ||
         HasTag(hdr, 8, "mdia") || HasTag(hdr, 8, "minf") || HasTag(hdr, 8, "stbl");
}
}  // namespace

// Chunk offsets of an `stco` box: BE count at +12, BE offsets from +16, no
// more than the box (and the file) holds.
std::vector<uint32_t> CZovGpsScan::ReadChunkOffsets(const Box& box, uint64_t countLimit) const {
  std::vector<uint32_t> out;
  if (box.size < 16) return out;
  const uint64_t fit = (box.size - 16) / 4;
  const uint64_t count = std::min<uint64_t>({countLimit, fit, kMaxCandidates});
  if (count == 0) return out;
  std::vector<uint8_t> raw = file_.ReadVector(box.offset + 16, static_cast<size_t>(count * 4));
  out.reserve(raw.size() / 4);
  for (size_t i = 0; i + 4 <= raw.size(); i += 4) out.push_back(ZovBe32(raw.data() + i));
  return out;
}

namespace {
// The first sample entry of an `stsd` box: its format at box + 20.
bool SampleEntryIs(const CZovGpsFile& file, uint64_t off, const char* fmt) {
  uint8_t f[4];
  return file.ReadExact(off + 20, f, 4) && std::memcmp(f, fmt, 4) == 0;
}
}  // namespace

// Every sample of a track from its tables. Sizes come from `stsz` (one size
// for all or one per sample), the number of samples in each chunk from the
// runs of `stsc` (first chunk, samples per chunk), and each chunk's offset
// from `stco` / `co64`; the samples of a chunk follow each other.
std::vector<ZovGpsCandidate> CZovGpsScan::ReadSampleTable(const Box& stsz, const Box& stsc,
                                                          const Box& chunks, bool co64) const {
  std::vector<ZovGpsCandidate> out;
  uint8_t h[8];
  // stsz: version/flags, one size (0: per sample), count, then the sizes.
  if (stsz.size < 20 || !file_.ReadExact(stsz.offset + 12, h, 8)) return out;
  const uint32_t fixedSize = ZovBe32(h);
  uint64_t samples = std::min<uint64_t>(ZovBe32(h + 4), kMaxCandidates);
  std::vector<uint8_t> sizes;
  if (fixedSize == 0) {
    samples = std::min<uint64_t>(samples, (stsz.size - 20) / 4);
    sizes = file_.ReadVector(stsz.offset + 20, static_cast<size_t>(samples * 4));
    samples = sizes.size() / 4;
  }
  // stsc: count, then (first chunk, samples per chunk, entry index) runs.
  if (stsc.size < 16 || !file_.ReadExact(stsc.offset + 12, h, 4)) return out;
  const uint64_t runCount = std::min<uint64_t>({ZovBe32(h), (stsc.size - 16) / 12, kMaxCandidates});
  const std::vector<uint8_t> runs = file_.ReadVector(stsc.offset + 16, static_cast<size_t>(runCount * 12));
  // Chunk offsets, 32 or 64 bits each.
  const uint64_t width = co64 ? 8 : 4;
  if (chunks.size < 16 || !file_.ReadExact(chunks.offset + 12, h, 4)) return out;
  const uint64_t chunkCount = std::min<uint64_t>({ZovBe32(h), (chunks.size - 16) / width, kMaxCandidates});
  const std::vector<uint8_t> offsets =
      file_.ReadVector(chunks.offset + 16, static_cast<size_t>(chunkCount * width));
  const uint64_t chunksRead = offsets.size() / width;

  uint64_t sample = 0;
  size_t run = 0;
  const size_t runsRead = runs.size() / 12;
  for (uint64_t chunk = 1; chunk <= chunksRead && sample < samples; ++chunk) {
    // The run that covers this chunk: runs start at increasing chunks; a run
    // that does not move forward ends the table (a crafted one could loop).
    while (run + 1 < runsRead && ZovBe32(runs.data() + (run + 1) * 12) <= chunk) {
      if (ZovBe32(runs.data() + (run + 1) * 12) <= ZovBe32(runs.data() + run * 12)) return out;
      ++run;
    }
    if (runsRead == 0 || ZovBe32(runs.data() + run * 12) > chunk) return out;
    const uint64_t perChunk = ZovBe32(runs.data() + run * 12 + 4);
    const uint8_t* o = offsets.data() + (chunk - 1) * width;
    uint64_t at = co64 ? ZovBe64(o) : ZovBe32(o);
    for (uint64_t k = 0; k < perChunk && sample < samples; ++k, ++sample) {
      const uint64_t len = fixedSize ? fixedSize : ZovBe32(sizes.data() + sample * 4);
      out.push_back({at, len});
      if (len > UINT64_MAX - at) return out;
      at += len;
    }
  }
  return out;
}

// The second of video at which each chunk's first sample starts, from the
// sample durations (`stts` runs of count, duration), the samples per chunk
// (`stsc` runs) and the track's timescale. Empty when a table is missing or
// unusable; shorter than `chunks` when the tables run out first. Bounded by
// the boxes and kMaxCandidates.
std::vector<int64_t> CZovGpsScan::ChunkSeconds(const Box& stts, const Box& stsc, uint32_t timescale,
                                               size_t chunks) const {
  std::vector<int64_t> out;
  uint8_t h[4];
  if (timescale == 0 || stts.size < 16 || stsc.size < 16) return out;
  if (!file_.ReadExact(stts.offset + 12, h, 4)) return out;
  const uint64_t timeRuns = std::min<uint64_t>({ZovBe32(h), (stts.size - 16) / 8, kMaxCandidates});
  const std::vector<uint8_t> times = file_.ReadVector(stts.offset + 16, static_cast<size_t>(timeRuns * 8));
  if (!file_.ReadExact(stsc.offset + 12, h, 4)) return out;
  const uint64_t chunkRuns = std::min<uint64_t>({ZovBe32(h), (stsc.size - 16) / 12, kMaxCandidates});
  const std::vector<uint8_t> runs = file_.ReadVector(stsc.offset + 16, static_cast<size_t>(chunkRuns * 12));
  const size_t runsRead = runs.size() / 12, timesRead = times.size() / 8;
  // Walks the samples in order: t is the start of the next sample.
  uint64_t t = 0;
  size_t timeRun = 0;
  uint64_t leftInTimeRun = timesRead ? ZovBe32(times.data()) : 0;
  auto skipSamples = [&](uint64_t n) {
    while (n > 0 && timeRun < timesRead) {
      const uint64_t take = std::min(n, leftInTimeRun);
      t += take * ZovBe32(times.data() + timeRun * 8 + 4);
      n -= take;
      leftInTimeRun -= take;
      if (leftInTimeRun == 0 && ++timeRun < timesRead) leftInTimeRun = ZovBe32(times.data() + timeRun * 8);
    }
    return n == 0;
  };
  size_t run = 0;
  for (uint64_t chunk = 1; chunk <= chunks; ++chunk) {
    while (run + 1 < runsRead && ZovBe32(runs.data() + (run + 1) * 12) <= chunk) {
      if (ZovBe32(runs.data() + (run + 1) * 12) <= ZovBe32(runs.data() + run * 12)) return out;
      ++run;
    }
    if (runsRead == 0 || ZovBe32(runs.data() + run * 12) > chunk) return out;
    if (timeRun >= timesRead) return out;
    out.push_back(int64_t(t / timescale));
    if (!skipSamples(ZovBe32(runs.data() + run * 12 + 4))) return out;
  }
  return out;
}

// ---------------------------------------------------------------------------
// The box walk for blocks in boxes, tables and chunks: a table of box
// handlers over one walk context (state that spans the file) and one track
// context (reset at each `trak`). The first handler whose box type matches
// takes the box; the order is the order in which the types are recognised.

namespace {
bool IsTrak(const uint8_t* hdr) { return HasTag(hdr, 8, "trak"); }
}  // namespace

class CZovGpsScan::BoxWalk {
 public:
  explicit BoxWalk(CZovGpsScan& scan) : scan_(scan), file_(scan.file_) {}

  WalkResult Visit(const Box& box);

  // After the walk: the last track's samples, then the freeGPS fallback.
  void Finish() {
    EndTrack();
    if (ambaDone_) {
      scan_.candidates_.clear();
      return;
    }
    if (scan_.candidates_.empty() && freeGpsKnown_ && soundP_ != 0) {
      uint8_t cnt[4];
      const uint64_t count = file_.ReadExact(freeGpsStco_.offset + 12, cnt, 4) ? ZovBe32(cnt) : 0;
      for (uint32_t off : scan_.ReadChunkOffsets(freeGpsStco_, count))
        scan_.AddCandidate(uint64_t(off) + soundP_, std::min<uint64_t>(soundP_, kFreeGpsMaxLength));
    }
  }

 private:
  struct Track {
    bool amba = false;  // the AMBA GPS track: its chunks are `$G` records
    bool gpmd = false;  // telemetry track: its samples are read whole
    bool hasSizes = false, hasRuns = false, hasChunks = false, co64 = false;
    Box sizes, runs, chunks;
  };
  struct Row {
    bool (*match)(const Box& box);
    WalkResult (BoxWalk::*handle)(const Box& box);
  };
  static const Row kRows[];

  static bool Container(const Box& b) { return IsContainer(b.hdr); }
  static bool Udta(const Box& b) { return b.Has("udta"); }
  static bool Tkhd(const Box& b) { return b.Has("tkhd"); }
  static bool Stsd(const Box& b) { return b.Has("stsd"); }
  static bool Sowt(const Box& b) { return b.Has("sowt"); }
  static bool Stco(const Box& b) { return b.Has("stco"); }
  static bool GpsTable(const Box& b) {
    return (HasTag3(b.hdr, 8, "gps") || HasTag3(b.hdr, 8, "GPS")) && b.size > 16;
  }
  static bool Skip(const Box& b) { return b.Has("skip") || b.Has("SKIP"); }
  static bool UserData(const Box& b) {
    return b.Has("udat") || b.Has("UDAT") || ((b.Has("mdat") || b.Has("MDAT")) && b.size < 255);
  }
  static bool Stsz(const Box& b) { return b.Has("stsz"); }
  static bool Stsc(const Box& b) { return b.Has("stsc"); }
  static bool Co64(const Box& b) { return b.Has("co64"); }

  WalkResult OnContainer(const Box& box) {
    if (IsTrak(box.hdr)) {
      EndTrack();
      ++tracks_;
      track_ = Track{};
    }
    return WalkResult::kEnter;
  }

  // A `udta` whose first child is AMBA marks the AMBA layout; one whose
  // first child starts with "GPS" holds a block.
  WalkResult OnUdta(const Box& box) {
    uint8_t child[4];
    if (file_.ReadExact(box.offset + 12, child, 4)) {
      if (std::memcmp(child, "AMBA", 4) == 0) amba_ = true;
      else if (std::memcmp(child, "GPS", 3) == 0) scan_.AddCandidate(box.offset, box.size);
    }
    return WalkResult::kNext;
  }

  // Track 3 of an AMBA file is its GPS track.
  WalkResult OnTkhd(const Box& box) {
    uint8_t id[4];
    if (file_.ReadExact(box.offset + 20, id, 4) && amba_ && ZovBe32(id) == 3) track_.amba = true;
    return WalkResult::kNext;
  }

  WalkResult OnStsd(const Box& box) {
    if (SampleEntryIs(file_, box.offset, "gpmd")) {
      track_.gpmd = true;
      soundP_ = 0;
    } else if (SampleEntryIs(file_, box.offset, "sowt")) {
      // The sound entry sits inside stsd, at box + 16.
      ReadSoundP(box.offset + 16);
    }
    return WalkResult::kNext;
  }

  WalkResult OnSowt(const Box& box) {
    ReadSoundP(box.offset);
    return WalkResult::kNext;
  }

  WalkResult OnStco(const Box& box) {
    if (track_.amba) return AmbaRecords(box);
    if (track_.gpmd) {
      track_.hasChunks = true;
      track_.co64 = false;
      track_.chunks = box;
      return WalkResult::kNext;
    }
    if (soundP_ != 0) return SoundChunks(box);
    if (tracks_ >= 3 && box.size > 16 && box.size <= kStcoMaxBox) ChunkBlocks(box);
    return WalkResult::kNext;
  }

  WalkResult OnGpsTable(const Box& box) {
    scan_.AddGpsTableCandidates(box);
    return WalkResult::kStop;
  }

  WalkResult OnSkip(const Box& box) {
    scan_.AddCandidate(box.offset, std::min(box.size, file_.Size() - box.offset));
    return WalkResult::kNext;
  }

  WalkResult OnUserData(const Box& box) {
    scan_.AddCandidate(box.offset, box.size);
    return WalkResult::kNext;
  }

  // The sample tables of a telemetry track, kept until the track ends.
  WalkResult OnStsz(const Box& box) {
    track_.hasSizes = true;
    track_.sizes = box;
    return WalkResult::kNext;
  }
  WalkResult OnStsc(const Box& box) {
    track_.hasRuns = true;
    track_.runs = box;
    return WalkResult::kNext;
  }
  WalkResult OnCo64(const Box& box) {
    if (track_.gpmd) {
      track_.hasChunks = true;
      track_.co64 = true;
      track_.chunks = box;
    }
    return WalkResult::kNext;
  }

  // ---- helpers of the handlers ----

  void ReadSoundP(uint64_t entry) {
    uint8_t p[4];
    if (file_.ReadExact(entry + 24, p, 4)) soundP_ = ZovBe32(p);
  }

  uint64_t ChunkCount(const Box& box) const {
    uint8_t cnt[4];
    // A box too small for one offset has no count worth reading.
    return box.size >= 20 && file_.ReadExact(box.offset + 12, cnt, 4) ? ZovBe32(cnt) : 0;
  }

  // The AMBA track's chunks hold `$G` records 2 bytes in; they end the walk.
  WalkResult AmbaRecords(const Box& box) {
    for (uint32_t off : scan_.ReadChunkOffsets(box, ChunkCount(box))) {
      std::vector<uint8_t> rec = file_.ReadVector(uint64_t(off) + 2, kAmbaRecord);
      if (!rec.empty()) scan_.sink_.OnAmbaRecord(rec.data(), rec.size());
    }
    ambaDone_ = true;
    return WalkResult::kStop;
  }

  // Sound chunks: freeGPS blocks 64 KiB after the first one mark the freeGPS
  // layout (read after the walk); otherwise blocks 4 KiB into each chunk.
  WalkResult SoundChunks(const Box& box) {
    std::vector<uint32_t> first = scan_.ReadChunkOffsets(box, 1);
    uint8_t probe[12];
    if (!first.empty() && file_.ReadExact(uint64_t(first[0]) + kFreeGpsProbe, probe, 12) &&
        IsFreeGps(probe)) {
      freeGpsKnown_ = true;
      freeGpsStco_ = box;
      return WalkResult::kNext;
    }
    if (tracks_ >= 2 && box.size <= kStcoMaxBox) ChunkBlocks(box);
    return WalkResult::kNext;
  }

  void ChunkBlocks(const Box& box) {
    for (uint32_t off : scan_.ReadChunkOffsets(box, ChunkCount(box)))
      scan_.AddCandidate(uint64_t(off) + kStcoBlockOffset, kStcoBlockLength);
  }

  // A telemetry track that ends gives its samples, each read whole, when
  // they are telemetry payloads (a DEVC record first). Cameras that write
  // text records into such a track, and tracks without a usable sample
  // table, give fixed-length candidates at their chunks.
  void EndTrack() {
    if (!track_.gpmd || !track_.hasChunks) return;
    std::vector<ZovGpsCandidate> samples;
    if (track_.hasSizes && track_.hasRuns)
      samples = scan_.ReadSampleTable(track_.sizes, track_.runs, track_.chunks, track_.co64);
    uint8_t head[5];
    const bool payloads = !samples.empty() && file_.ReadExact(samples[0].offset, head, 5) &&
                          std::memcmp(head, "DEVC", 4) == 0 && head[4] == 0;
    if (payloads) {
      for (const ZovGpsCandidate& c : samples) scan_.AddCandidate(c.offset, c.length);
    } else if (!track_.co64) {
      for (uint32_t off : scan_.ReadChunkOffsets(track_.chunks, ChunkCount(track_.chunks)))
        scan_.AddCandidate(off, kGpmdBlockLength);
    }
    track_.hasChunks = false;
  }

  CZovGpsScan& scan_;
  const CZovGpsFile& file_;
  int tracks_ = 0;
  bool amba_ = false;
  uint32_t soundP_ = 0;
  bool freeGpsKnown_ = false;
  Box freeGpsStco_;
  bool ambaDone_ = false;
  Track track_;
};

const CZovGpsScan::BoxWalk::Row CZovGpsScan::BoxWalk::kRows[] = {
    {Container, &BoxWalk::OnContainer}, {Udta, &BoxWalk::OnUdta},
    {Tkhd, &BoxWalk::OnTkhd},           {Stsd, &BoxWalk::OnStsd},
    {Sowt, &BoxWalk::OnSowt},           {Stco, &BoxWalk::OnStco},
    {GpsTable, &BoxWalk::OnGpsTable},   {Skip, &BoxWalk::OnSkip},
    {UserData, &BoxWalk::OnUserData},   {Stsz, &BoxWalk::OnStsz},
    {Stsc, &BoxWalk::OnStsc},           {Co64, &BoxWalk::OnCo64},
};

WalkResult CZovGpsScan::BoxWalk::Visit(const Box& box) {
  for (const Row& row : kRows)
    if (row.match(box)) return (this->*row.handle)(box);
  return WalkResult::kNext;
}

void CZovGpsScan::WalkBoxes() {
  candidates_.clear();
  BoxWalk walk(*this);
  Walk([&walk](const Box& box) { return walk.Visit(box); });
  walk.Finish();
  ParseCandidates(/*clampToFile=*/false);
}

// ---------------------------------------------------------------------------
// Binary-record walk: `gps ` tables and freeGPS blocks after sound chunks.
// Each candidate holds one 44-byte record:
//   +8 "GPS " and +12 a length word of 44-71   -> record at +16
//   byte 40 is the status letter 'A' or 'V'    -> record at +16
//   the length word is above 70 (76 is common) -> record at +48
void CZovGpsScan::WalkBinaryRecords() {
  candidates_.clear();
  uint64_t soundP = 0;
  bool freeGpsKnown = false;
  Box freeGpsStco;
  auto setP = [&](uint64_t entry) {
    uint8_t b[10];
    if (!file_.ReadExact(entry + 24, b, 10)) return;
    const uint64_t channels = ZovBe16(b), bits = ZovBe16(b + 2), rateHigh = ZovBe16(b + 8);
    const uint64_t bytes = channels * bits * rateHigh / 8;
    soundP = (bytes + 32767) / 32768 * 32768;
  };

  Walk([&](const Box& box) {
    if (IsContainer(box.hdr)) return WalkResult::kEnter;
    if (box.Has("stsd")) {
      if (SampleEntryIs(file_, box.offset, "sowt")) setP(box.offset + 16);
      return WalkResult::kNext;
    }
    if (box.Has("sowt")) {
      setP(box.offset);
      return WalkResult::kNext;
    }
    if (box.Has("stco")) {
      if (soundP != 0) {
        std::vector<uint32_t> first = ReadChunkOffsets(box, 1);
        uint8_t probe[12];
        if (!first.empty() && file_.ReadExact(uint64_t(first[0]) + kFreeGpsProbe, probe, 12) &&
            IsFreeGps(probe)) {
          freeGpsKnown = true;
          freeGpsStco = box;
        }
      }
      return WalkResult::kNext;
    }
    if ((HasTag3(box.hdr, 8, "gps") || HasTag3(box.hdr, 8, "GPS")) && box.size > 16) {
      AddGpsTableCandidates(box);
      return WalkResult::kStop;
    }
    return WalkResult::kNext;
  });

  if (candidates_.empty() && freeGpsKnown && soundP != 0) {
    uint8_t cnt[4];
    const uint64_t count = file_.ReadExact(freeGpsStco.offset + 12, cnt, 4) ? ZovBe32(cnt) : 0;
    for (uint32_t off : ReadChunkOffsets(freeGpsStco, count))
      AddCandidate(uint64_t(off) + soundP, std::min<uint64_t>(soundP, kFreeGpsMaxLength));
  }

  uint32_t ordinal = 0;
  for (const ZovGpsCandidate& c : candidates_) {
    if (Stopped()) return;
    const uint32_t index = ordinal++;
    uint8_t buf[48 + kBinaryRecord];
    const size_t want = static_cast<size_t>(std::min<uint64_t>(c.length, sizeof(buf)));
    const size_t got = file_.ReadAt(c.offset, buf, want);
    if (got < 16) continue;
    const uint32_t lengthWord = ZovLe32(buf + 12);
    size_t at = 0;
    if (std::memcmp(buf + 8, "GPS", 3) == 0 && lengthWord >= 44 && lengthWord <= 71) at = 16;
    else if (got > 40 && (buf[40] == 'A' || buf[40] == 'V')) at = 16;
    else if (int32_t(lengthWord) > 70) at = 48;
    else continue;
    if (got < at + kBinaryRecord) continue;  // the record would run past the block
    sink_.OnBinaryRecord(buf + at, index);
  }
}

// ---------------------------------------------------------------------------
// Sample scan: chunks of KARUGPS tracks (track kind 2) and of text tracks
// (kind 3 and above) are read directly.
void CZovGpsScan::ScanSamples() {
  candidates_.clear();
  uint32_t kind = 0;
  // Samples do not overlap, so their reads stay below the file size; a crafted
  // file whose chunk offsets all repeat one spot ends here instead.
  uint64_t budget = file_.Size() + kMaxCandidate;
  auto spend = [&budget](uint64_t n) {
    if (budget < n) return false;
    budget -= n;
    return true;
  };
  // The track's clock, to place each text sample on its second of video.
  uint32_t timescale = 0;
  Box stts, stsc;
  Walk([&](const Box& box) {
    if (IsContainer(box.hdr)) return WalkResult::kEnter;
    if (box.Has("tkhd")) {
      uint8_t b;
      if (file_.ReadExact(box.offset + 23, &b, 1)) kind = b;
      timescale = 0;
      stts = stsc = Box{};
      return WalkResult::kNext;
    }
    if (box.Has("mdhd")) {
      uint8_t v[4];
      // Version 0: times of 32 bits, version 1: of 64; the timescale follows.
      if (file_.ReadExact(box.offset + 8, v, 1) && file_.ReadExact(box.offset + (v[0] == 1 ? 28 : 20), v, 4))
        timescale = ZovBe32(v);
      return WalkResult::kNext;
    }
    if (box.Has("stts")) {
      stts = box;
      return WalkResult::kNext;
    }
    if (box.Has("stsc")) {
      stsc = box;
      return WalkResult::kNext;
    }
    if (box.Has("stsd")) {
      if (SampleEntryIs(file_, box.offset, "text")) kind = 3;
      // Telemetry samples are read whole by the box walk, not in fixed pieces.
      if (SampleEntryIs(file_, box.offset, "gpmd")) kind = 0;
      return WalkResult::kNext;
    }
    if (box.Has("stco") && box.size >= 20 && sink_.FixCount() == 0) {
      if (kind == 2) {
        // The box's own size serves as the byte count of the offset table;
        // it is bounded by the box here, so no bytes after it are taken.
        for (uint32_t off : ReadChunkOffsets(box, (box.size - 16) / 4)) {
          if (!spend(2 * kSampleRead) || Stopped()) return WalkResult::kStop;
          for (uint64_t probe : {kSampleKaruProbe1, kSampleKaruProbe2}) {
            std::vector<uint8_t> b = file_.ReadVector(uint64_t(off) + probe, kSampleRead);
            if (b.size() >= 12 && std::memcmp(b.data() + 8, "KARU", 4) == 0 &&
                ZovBe32(b.data()) <= kSampleKaruMaxSize)
              sink_.OnBlock(b.data(), b.size());
          }
        }
      } else if (kind >= 3) {
        uint8_t cnt[4];
        if (file_.ReadExact(box.offset + 12, cnt, 4) && !(cnt[0] & 0x80)) {
          const std::vector<uint32_t> offsets = ReadChunkOffsets(box, ZovBe32(cnt));
          const std::vector<int64_t> seconds = ChunkSeconds(stts, stsc, timescale, offsets.size());
          for (size_t c = 0; c < offsets.size(); ++c) {
            if (!spend(kSampleRead) || Stopped()) return WalkResult::kStop;
            std::vector<uint8_t> b = file_.ReadVector(offsets[c], kSampleRead);
            if (b.empty()) continue;
            if (c < seconds.size()) sink_.OnTimedBlock(b.data(), b.size(), seconds[c]);
            else sink_.OnBlock(b.data(), b.size());
          }
        }
      }
    }
    return WalkResult::kNext;
  });
}

// ---------------------------------------------------------------------------
// Transport stream: packets whose sync byte and PID bytes match one of the
// cameras' GPS PIDs are searched for "KARUGPS" at positions 1-99. The blocks
// found go on the second of video of their PES packet's time.

namespace {
bool IsGpsPacket(const uint8_t* p) {
  if (p[0] != 0x47) return false;
  static const uint8_t kPids[][2] = {{0x43, 0x00}, {0x01, 0xE4}, {0x00, 0x09}, {0x41, 0x02},
                                     {0x41, 0x01}, {0x4D, 0x2B}, {0x4E, 0x1B}};
  for (const auto& pid : kPids)
    if (p[1] == pid[0] && p[2] == pid[1]) return true;
  return false;
}
}  // namespace

namespace {
// Presentation times: 90 kHz, 33 bits.
constexpr int64_t kTsPtsPerSecond = 90000;
constexpr int64_t kTsPtsMask = (int64_t(1) << 33) - 1;
// Packets read from the start for the stream's first time (3 MB), and back
// from a block's packet for the start of the PES packet that carries it.
constexpr uint64_t kTsFirstPtsPackets = 16384;
constexpr uint64_t kTsPesLookBack = 32;

uint16_t TsPid(const uint8_t* p) { return static_cast<uint16_t>((p[1] & 0x1F) << 8 | p[2]); }

// The PTS of the PES packet that starts in this transport packet; -1 when
// none starts here or its header carries no PTS.
int64_t PesPts(const uint8_t* p) {
  if (p[0] != 0x47 || !(p[1] & 0x40)) return -1;  // no payload unit starts here
  const uint8_t control = (p[3] >> 4) & 3;
  if (!(control & 1)) return -1;  // no payload
  size_t at = 4;
  if (control & 2) at += 1 + size_t(p[4]);  // adaptation field
  if (at + 14 > kTsPacket) return -1;
  const uint8_t* h = p + at;
  if (h[0] != 0 || h[1] != 0 || h[2] != 1) return -1;
  // The optional header ('10' bits) with its PTS flag set.
  if ((h[6] & 0xC0) != 0x80 || !(h[7] & 0x80)) return -1;
  const uint8_t* t = h + 9;
  if (!(t[0] & 1) || !(t[2] & 1) || !(t[4] & 1)) return -1;  // marker bits
  return (int64_t((t[0] >> 1) & 7) << 30) | (int64_t(t[1]) << 22) | (int64_t(t[2] >> 1) << 15) |
         (int64_t(t[3]) << 7) | int64_t(t[4] >> 1);
}

// The first PTS of the stream (the first PES packet that carries one), -1
// when the start of the file holds none.
int64_t FirstTsPts(const CZovGpsFile& file) {
  constexpr uint64_t kRun = 1024;  // packets a read
  std::vector<uint8_t> buf(kRun * kTsPacket);
  for (uint64_t done = 0; done < kTsFirstPtsPackets; done += kRun) {
    const size_t got = file.ReadAt(done * kTsPacket, buf.data(), buf.size());
    for (size_t i = 0; i + kTsPacket <= got; i += kTsPacket)
      if (const int64_t pts = PesPts(buf.data() + i); pts >= 0) return pts;
    if (got < buf.size()) break;
  }
  return -1;
}

// The PTS of the PES packet the transport packet at `packet` belongs to: its
// own when a PES packet starts in it, else that of the last packet of the
// same PID before it that started one (a few packets back at most).
int64_t TsPtsOfPacketAt(const CZovGpsFile& file, uint64_t packet) {
  uint8_t p[kTsPacket];
  if (file.ReadAt(packet, p, kTsPacket) != kTsPacket || p[0] != 0x47) return -1;
  if (p[1] & 0x40) return PesPts(p);
  const uint16_t pid = TsPid(p);
  for (uint64_t back = 1; back <= kTsPesLookBack && back * kTsPacket <= packet; ++back) {
    uint8_t q[kTsPacket];
    if (file.ReadAt(packet - back * kTsPacket, q, kTsPacket) != kTsPacket || q[0] != 0x47) return -1;
    if (TsPid(q) == pid && (q[1] & 0x40)) return PesPts(q);
  }
  return -1;
}

// Looks for the tag at positions 1-99 of an accepted packet.
bool FindKaruTag(const uint8_t* p, size_t& at) {
  for (size_t t = 1; t < kTsTagWindow && t + 7 <= kTsPacket; ++t)
    if (p[t] == 'K' && std::memcmp(p + t, "KARUGPS", 7) == 0) {
      at = t;
      return true;
    }
  return false;
}
}  // namespace

// Walks one chunk in 188-byte steps. The chunk is read a window at a time
// (windows are whole pages and whole packets), so memory stays at the window
// size. Reads, not a memory map: a file cut short or a card pulled out while
// it is scanned gives a short read here, where a map would kill the process.
void CZovGpsScan::ScanTsChunk(uint64_t chunk, std::vector<uint64_t>& slots) const {
  const uint64_t size = file_.Size();
  const uint64_t begin = chunk * kTsChunk;
  const uint64_t end = std::min(begin + kTsChunk, size);
  constexpr uint64_t kWindow = kTsPacket * 16384;  // 3,080,192 bytes: whole pages and packets
  std::vector<uint8_t> buf;
  for (uint64_t pos = begin; pos < end;) {
    if (Stopped()) return;
    // Holes of a sparse file read as zeros and hold no packet: skip to the
    // window that holds the next data (windows stay page-aligned).
    const uint64_t data = file_.NextData(pos);
    if (data > pos) {
      if (data >= end) return;
      pos = std::max(pos, begin + (data - begin) / kWindow * kWindow);
    }
    const uint64_t runEnd = std::min(pos + kWindow, end);
    // The read reaches one packet past the run, so the last packet is whole.
    buf.resize(static_cast<size_t>(runEnd - pos + kTsPacket));
    const size_t avail = file_.ReadAt(pos, buf.data(), buf.size());
    const uint8_t* base = buf.data();
    const size_t run = static_cast<size_t>(runEnd - pos);
    for (size_t i = 0; i < run; i += kTsPacket) {
      if (i + 3 > avail) return;  // short read: the file ends here
      const uint8_t* p = base + i;
      if (!IsGpsPacket(p)) continue;
      if (i + kTsPacket > avail) return;
      size_t at = 0;
      if (FindKaruTag(p, at) && slots.size() < kTsSlots) slots.push_back(pos + i + at);
    }
    pos = runEnd;
  }
}

void CZovGpsScan::ScanTransportStream() {
  candidates_.clear();
  streamHits_.clear();
  const uint64_t size = file_.Size();
  const uint64_t chunks = (size + kTsChunkRound) / kTsChunk;
  std::vector<std::vector<uint64_t>> slots(chunks);

  std::mutex lock;
  std::condition_variable done;
  uint64_t finished = 0;  // guarded by lock
  std::atomic<uint64_t> next{0};
  const unsigned workers = static_cast<unsigned>(std::min<uint64_t>(chunks, kTsMaxWorkers));
  std::vector<std::thread> threads;
  threads.reserve(workers);
  auto work = [&] {
    for (uint64_t c; (c = next.fetch_add(1)) < chunks;) {
      ScanTsChunk(c, slots[c]);
      std::lock_guard<std::mutex> g(lock);
      ++finished;
      done.notify_all();
    }
  };
  for (unsigned w = 0; w < workers; ++w) {
    // A process out of threads gets fewer workers (they share the chunks);
    // with none at all the chunks are scanned on this thread.
    try {
      threads.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    }
  }
  if (threads.empty()) work();
  {
    // Waits on the completion counter instead of polling it once a second.
    std::unique_lock<std::mutex> g(lock);
    done.wait(g, [&] { return finished == chunks; });
  }
  for (std::thread& t : threads) t.join();

  for (const auto& chunk : slots) streamHits_.insert(streamHits_.end(), chunk.begin(), chunk.end());
  // Each block goes on the second of video its packet belongs to, when the
  // stream and every block's packet carry presentation times; otherwise
  // (packets without PES headers) the blocks keep their own clock.
  std::vector<int64_t> seconds;
  const int64_t first = streamHits_.empty() ? -1 : FirstTsPts(file_);
  if (first >= 0) {
    seconds.reserve(streamHits_.size());
    for (uint64_t off : streamHits_) {
      if (Stopped()) return;
      const int64_t pts = TsPtsOfPacketAt(file_, off - off % kTsPacket);
      if (pts < 0) break;
      // 33-bit times wrap (every 26.5 hours): the distance forward from the first.
      seconds.push_back(((pts - first) & kTsPtsMask) / kTsPtsPerSecond);
    }
    if (seconds.size() != streamHits_.size()) seconds.clear();
  }
  uint8_t pkt[kTsPacket];
  for (size_t i = 0; i < streamHits_.size(); ++i) {
    if (Stopped()) return;
    const size_t got = file_.ReadAt(streamHits_[i], pkt, kTsPacket);
    if (got == 0) continue;
    if (seconds.empty())
      sink_.OnBlock(pkt, got);
    else
      sink_.OnTimedBlock(pkt, got, seconds[i]);
  }
}

// ---------------------------------------------------------------------------
// AVI: RIFF header, header list, then the chunks of the second list. A JUNK
// chunk of 34,032 bytes carries a 320-byte GPS block at +33,528.
void CZovGpsScan::ScanAviChunks() {
  candidates_.clear();
  const uint64_t size = file_.Size();
  uint8_t head[32];
  if (!file_.ReadExact(0, head, 32)) return;
  const uint64_t end = std::min<uint64_t>(ZovLe32(head + 4), size);
  uint64_t pos = uint64_t(ZovLe32(head + 16)) + 20 + 12;
  CZovGpsWindow win(file_, 64 * 1024);
  for (uint64_t chunks = 0; pos < end; ++chunks) {
    if (chunks % kStopCheckEvery == 0 && Stopped()) break;
    const uint8_t* c = win.Get(pos, 8);
    if (!c) break;
    const uint64_t chunkSize = ZovLe32(c + 4);
    if (std::memcmp(c, "JUNK", 4) == 0 && chunkSize == kAviJunkSize)
      AddCandidate(pos + kAviJunkBlockOffset, kAviJunkBlockLength);
    pos += 8 + chunkSize + (chunkSize & 1);
  }
  ParseCandidates(/*clampToFile=*/false);
}

// ---------------------------------------------------------------------------
void CZovGpsScan::ScanText() {
  candidates_.clear();
  const uint64_t size = file_.Size();
  if (size == 0) return;
  std::vector<uint8_t> all = file_.ReadVector(0, static_cast<size_t>(std::min(size, kMaxTextFile)));
  if (!all.empty()) sink_.OnBlock(all.data(), all.size());
}
