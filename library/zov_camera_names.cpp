#include "library/zov_camera_names.h"

#include <cctype>

namespace {

// Reads a name left to right; every step fails (and stays failed) when the
// text does not fit.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  // Exactly n digits as a number.
  Cursor& Digits(size_t n, int* out) {
    if (!ok_ || pos_ + n > text_.size()) return Fail();
    int v = 0;
    for (size_t i = 0; i < n; ++i) {
      const char c = text_[pos_ + i];
      if (c < '0' || c > '9') return Fail();
      v = v * 10 + (c - '0');
    }
    if (out) *out = v;
    pos_ += n;
    return *this;
  }
  Cursor& Skip(size_t n) { return Digits(n, nullptr); }
  // The literal text, case as written.
  Cursor& Lit(std::string_view s) {
    if (!ok_ || text_.substr(pos_, s.size()) != s) return Fail();
    pos_ += s.size();
    return *this;
  }
  // One character out of `set` (compared case-insensitively), as upper case.
  Cursor& OneOf(std::string_view set, char* out) {
    if (!ok_ || pos_ >= text_.size()) return Fail();
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text_[pos_])));
    if (set.find(c) == std::string_view::npos) return Fail();
    if (out) *out = c;
    ++pos_;
    return *this;
  }
  // Optionally one character of `set`; *out stays as it was when absent.
  Cursor& Maybe(std::string_view set, char* out) {
    if (!ok_ || pos_ >= text_.size()) return *this;
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text_[pos_])));
    if (set.find(c) != std::string_view::npos) {
      *out = c;
      ++pos_;
    }
    return *this;
  }
  // The rest of the text, which must be one of `words` (case-insensitive).
  Cursor& Word(std::initializer_list<std::string_view> words, size_t* which) {
    if (!ok_) return *this;
    const std::string_view rest = text_.substr(pos_);
    size_t i = 0;
    for (std::string_view w : words) {
      if (rest.size() == w.size() && EqualFolded(rest, w)) {
        *which = i;
        pos_ = text_.size();
        return *this;
      }
      ++i;
    }
    return Fail();
  }
  // True when every step fitted and the whole text was read.
  bool Done() const { return ok_ && pos_ == text_.size(); }

  static bool EqualFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(a[i])) !=
          std::tolower(static_cast<unsigned char>(b[i])))
        return false;
    return true;
  }

 private:
  Cursor& Fail() {
    ok_ = false;
    return *this;
  }
  std::string_view text_;
  size_t pos_ = 0;
  bool ok_ = true;
};

bool IsFolder(const ZovNameParts& p, size_t up, std::string_view name) {
  return p.folders.size() > up && Cursor::EqualFolded(p.folders[up], name);
}

bool IsVideoExtension(std::string_view ext) {
  for (std::string_view e : {"mp4", "mov", "ts", "avi", "mkv"})
    if (Cursor::EqualFolded(ext, e)) return true;
  return false;
}

// Sets the start; false when the date or time cannot be (a lost clock).
bool SetStart(ZovNameFacts& f, int y, int mo, int d, int h, int mi, int s) {
  f.start = ZovCameraTime(y, mo, d, h, mi, s);
  return f.start != kZovNoTime;
}

// The nearest folder that implies a mode, when it tells more than the name
// (an event clip copied into RO/ is locked).
void ModeFromFolders(const ZovNameParts& p, ZovNameFacts& f) {
  for (std::string_view folder : p.folders) {
    ZovMode m;
    if (ZovModeOfFolder(folder, &m)) {
      if (ZovModeWeight(m) > ZovModeWeight(f.mode)) f.mode = m;
      return;
    }
  }
}

// 2024_0517_080000_001F.MP4, 2024_0517_080000_002PR.MP4, 2024_0517_080000_003EI.MP4
// Fields: year _ month day _ hour minute second _ sequence (3) [P parking |
// E event] channel (F front, R rear, I interior, T the extra camera).
// Locked copies live in RO/, parking recordings in Parking/.
bool UnderscoreSequence(const ZovNameParts& p, ZovNameFacts& f) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char mode = 0, ch = 0;
  Cursor c(p.stem);
  c.Digits(4, &y).Lit("_").Digits(2, &mo).Digits(2, &d).Lit("_").Digits(2, &h).Digits(2, &mi)
      .Digits(2, &s).Lit("_").Skip(3).Maybe("PE", &mode).OneOf("FRIT", &ch);
  if (!c.Done() || !SetStart(f, y, mo, d, h, mi, s)) return false;
  f.channel = ch == 'F' ? ZovChannel::kFront
            : ch == 'R' ? ZovChannel::kRear
            : ch == 'I' ? ZovChannel::kInterior
                        : ZovChannel::kExtra;
  f.mode = mode == 'P' ? ZovMode::kParking : mode == 'E' ? ZovMode::kEvent : ZovMode::kNormal;
  ModeFromFolders(p, f);
  return true;
}

// Record/20240517_080000_NF.mp4, Record/20240517_080100_ER.mp4
// Fields: date _ time _ mode (N normal, E event, P parking, M manual)
// channel (F front, R rear, I interior).
bool RecordFolder(const ZovNameParts& p, ZovNameFacts& f) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char mode = 0, ch = 0;
  Cursor c(p.stem);
  c.Digits(4, &y).Digits(2, &mo).Digits(2, &d).Lit("_").Digits(2, &h).Digits(2, &mi)
      .Digits(2, &s).Lit("_").OneOf("NEPM", &mode).OneOf("FRI", &ch);
  if (!c.Done() || !SetStart(f, y, mo, d, h, mi, s)) return false;
  f.channel = ch == 'F' ? ZovChannel::kFront : ch == 'R' ? ZovChannel::kRear : ZovChannel::kInterior;
  f.mode = mode == 'E' ? ZovMode::kEvent
         : mode == 'P' ? ZovMode::kParking
         : mode == 'M' ? ZovMode::kManual
                       : ZovMode::kNormal;
  return true;
}

// cont_rec/REC_2024_05_17_08_00_00_F.MP4, evt_rec/EVT_2024_05_17_08_03_10_R.MP4
// Fields: kind (REC, EVT, PARK, MAN) _ year _ month _ day _ hour _ minute _
// second _ channel (F, R). The rear file may start a second after the front.
bool KindPrefix(const ZovNameParts& p, ZovNameFacts& f) {
  static constexpr std::pair<std::string_view, ZovMode> kKinds[] = {
      {"REC_", ZovMode::kNormal}, {"EVT_", ZovMode::kEvent},
      {"PARK_", ZovMode::kParking}, {"MAN_", ZovMode::kManual}};
  for (const auto& [prefix, mode] : kKinds) {
    if (p.stem.substr(0, prefix.size()) != prefix) continue;
    int y, mo, d, h, mi, s;
    char ch = 0;
    Cursor c(p.stem);
    c.Lit(prefix).Digits(4, &y).Lit("_").Digits(2, &mo).Lit("_").Digits(2, &d).Lit("_")
        .Digits(2, &h).Lit("_").Digits(2, &mi).Lit("_").Digits(2, &s).Lit("_").OneOf("FR", &ch);
    if (!c.Done() || !SetStart(f, y, mo, d, h, mi, s)) return false;
    f.channel = ch == 'F' ? ZovChannel::kFront : ZovChannel::kRear;
    f.mode = mode;
    return true;
  }
  return false;
}

// Normal/Front/NO20240517-080000-000123F.mp4, Event/Back/EV20240517-080310-000045B.mp4
// Fields: kind (NO normal, EV event, PA parking, LA time-lapse) date -
// time - sequence (6, counted per channel, so it differs between channels)
// channel (F front, B back, I interior).
bool TwoLetterKind(const ZovNameParts& p, ZovNameFacts& f) {
  static constexpr std::pair<std::string_view, ZovMode> kKinds[] = {
      {"NO", ZovMode::kNormal}, {"EV", ZovMode::kEvent},
      {"PA", ZovMode::kParking}, {"LA", ZovMode::kTimelapse}};
  for (const auto& [prefix, mode] : kKinds) {
    if (p.stem.substr(0, 2) != prefix) continue;
    int y, mo, d, h, mi, s;
    char ch = 0;
    Cursor c(p.stem);
    c.Lit(prefix).Digits(4, &y).Digits(2, &mo).Digits(2, &d).Lit("-").Digits(2, &h)
        .Digits(2, &mi).Digits(2, &s).Lit("-").Skip(6).OneOf("FBI", &ch);
    if (!c.Done() || !SetStart(f, y, mo, d, h, mi, s)) return false;
    f.channel = ch == 'F' ? ZovChannel::kFront : ch == 'B' ? ZovChannel::kRear : ZovChannel::kInterior;
    f.mode = mode;
    return true;
  }
  return false;
}

// RecentClips/2024-05-17_08-00-00-front.mp4,
// SavedClips/2024-05-17_08-10-00/2024-05-17_08-09-00-left_repeater.mp4
// Fields: date _ time - camera (front, back, left_repeater, right_repeater,
// left_pillar, right_pillar). Saved clips were kept by hand (manual); sentry
// clips were recorded while parked.
bool SixCamera(const ZovNameParts& p, ZovNameFacts& f) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  size_t camera = 0;
  Cursor c(p.stem);
  c.Digits(4, &y).Lit("-").Digits(2, &mo).Lit("-").Digits(2, &d).Lit("_").Digits(2, &h).Lit("-")
      .Digits(2, &mi).Lit("-").Digits(2, &s).Lit("-")
      .Word({"front", "back", "left_repeater", "right_repeater", "left_pillar", "right_pillar"},
            &camera);
  if (!c.Done() || !SetStart(f, y, mo, d, h, mi, s)) return false;
  static constexpr ZovChannel kCameras[] = {ZovChannel::kFront, ZovChannel::kRear,
                                            ZovChannel::kLeft,  ZovChannel::kRight,
                                            ZovChannel::kExtra, ZovChannel::kExtra};
  f.channel = kCameras[camera];
  f.variant = camera == 5 ? 1 : 0;  // the two pillar cameras are both extra channels
  f.mode = ZovMode::kNormal;
  for (size_t up = 0; up < 2; ++up) {
    if (IsFolder(p, up, "SavedClips")) f.mode = ZovMode::kManual;
    if (IsFolder(p, up, "SentryClips")) f.mode = ZovMode::kParking;
  }
  return true;
}

// 20240517_080000_0001_N_A.mp4, 20240517_080300_0004_E_B.mp4
// Fields: date _ time _ sequence (4) _ mode (N normal, E event, P parking)
// _ camera (A front, B rear, C interior).
bool SerialLetters(const ZovNameParts& p, ZovNameFacts& f) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char mode = 0, ch = 0;
  Cursor c(p.stem);
  c.Digits(4, &y).Digits(2, &mo).Digits(2, &d).Lit("_").Digits(2, &h).Digits(2, &mi)
      .Digits(2, &s).Lit("_").Skip(4).Lit("_").OneOf("NEP", &mode).Lit("_").OneOf("ABC", &ch);
  if (!c.Done() || !SetStart(f, y, mo, d, h, mi, s)) return false;
  f.channel = ch == 'A' ? ZovChannel::kFront : ch == 'B' ? ZovChannel::kRear : ZovChannel::kInterior;
  f.mode = mode == 'E' ? ZovMode::kEvent : mode == 'P' ? ZovMode::kParking : ZovMode::kNormal;
  return true;
}

// 2024_05_17_080000_00_F.MP4, 2024_05_17_080100_00_I.MP4
// Fields: year _ month _ day _ time _ two digits the camera numbers its files
// with _ channel (F front, I interior, R rear). The folder gives the mode.
bool DatedTwoDigits(const ZovNameParts& p, ZovNameFacts& f) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char ch = 0;
  Cursor c(p.stem);
  c.Digits(4, &y).Lit("_").Digits(2, &mo).Lit("_").Digits(2, &d).Lit("_").Digits(2, &h)
      .Digits(2, &mi).Digits(2, &s).Lit("_").Skip(2).Lit("_").OneOf("FIR", &ch);
  if (!c.Done() || !SetStart(f, y, mo, d, h, mi, s)) return false;
  f.channel = ch == 'F' ? ZovChannel::kFront : ch == 'R' ? ZovChannel::kRear : ZovChannel::kInterior;
  ModeFromFolders(p, f);
  return true;
}

// F/FILE240517-080000F.MP4, R/FILE240517-080000R.MP4
// Fields: FILE yy mm dd - hh mm ss channel (F front, R rear, I interior).
// Years are of this century. The folder gives the mode (EMR, PARK ...).
bool FilePrefix(const ZovNameParts& p, ZovNameFacts& f) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char ch = 0;
  Cursor c(p.stem);
  c.Lit("FILE").Digits(2, &y).Digits(2, &mo).Digits(2, &d).Lit("-").Digits(2, &h).Digits(2, &mi)
      .Digits(2, &s).OneOf("FRI", &ch);
  if (!c.Done() || !SetStart(f, 2000 + y, mo, d, h, mi, s)) return false;
  f.channel = ch == 'F' ? ZovChannel::kFront : ch == 'R' ? ZovChannel::kRear : ZovChannel::kInterior;
  ModeFromFolders(p, f);
  return true;
}

// 240517_080000_001_FH.MP4, 240517_080000_001_RL.MP4
// Fields: yy mm dd _ hh mm ss _ sequence (3) _ channel (F front, R rear,
// B the third, cabin camera) quality (H the recording, L the camera's
// low-quality copy for its phone app).
bool ShortDateQuality(const ZovNameParts& p, ZovNameFacts& f) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  char ch = 0, quality = 0;
  Cursor c(p.stem);
  c.Digits(2, &y).Digits(2, &mo).Digits(2, &d).Lit("_").Digits(2, &h).Digits(2, &mi)
      .Digits(2, &s).Lit("_").Skip(3).Lit("_").OneOf("FRB", &ch).OneOf("HL", &quality);
  if (!c.Done() || !SetStart(f, 2000 + y, mo, d, h, mi, s)) return false;
  f.channel = ch == 'F' ? ZovChannel::kFront : ch == 'R' ? ZovChannel::kRear : ZovChannel::kInterior;
  f.variant = quality == 'L' ? 1 : 0;
  ModeFromFolders(p, f);
  return true;
}

}  // namespace

ZovNameParts ZovSplitName(std::string_view path) {
  ZovNameParts parts;
  size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  parts.stem = dot == std::string_view::npos ? name : name.substr(0, dot);
  parts.extension = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
  while (slash != std::string_view::npos && slash > 0 && parts.folders.size() < kZovNameFolders) {
    const size_t prev = path.rfind('/', slash - 1);
    const size_t from = prev == std::string_view::npos ? 0 : prev + 1;
    parts.folders.push_back(path.substr(from, slash - from));
    slash = prev;
  }
  return parts;
}

bool ZovModeOfFolder(std::string_view folder, ZovMode* mode) {
  static constexpr std::pair<std::string_view, ZovMode> kFolders[] = {
      {"RO", ZovMode::kLocked},          {"Locked", ZovMode::kLocked},
      {"Protect", ZovMode::kLocked},     {"Protected", ZovMode::kLocked},
      {"Event", ZovMode::kEvent},        {"Events", ZovMode::kEvent},
      {"EMR", ZovMode::kEvent},          {"EVT", ZovMode::kEvent},
      {"evt_rec", ZovMode::kEvent},      {"Emergency", ZovMode::kEvent},
      {"Parking", ZovMode::kParking},    {"PARK", ZovMode::kParking},
      {"parking_rec", ZovMode::kParking}, {"Manual", ZovMode::kManual},
      {"manual_rec", ZovMode::kManual},  {"Timelapse", ZovMode::kTimelapse},
      {"TimeLapse", ZovMode::kTimelapse}};
  for (const auto& [name, m] : kFolders)
    if (Cursor::EqualFolded(folder, name)) {
      *mode = m;
      return true;
    }
  return false;
}

const std::vector<ZovNamingRow>& ZovNamingTable() {
  static const std::vector<ZovNamingRow> kTable = {
      {"underscore-sequence", "2024_0517_080000_001F.MP4", UnderscoreSequence},
      {"record-folder", "Record/20240517_080000_NF.mp4", RecordFolder},
      {"kind-prefix", "cont_rec/REC_2024_05_17_08_00_00_F.MP4", KindPrefix},
      {"two-letter-kind", "Normal/Front/NO20240517-080000-000123F.mp4", TwoLetterKind},
      {"six-camera", "RecentClips/2024-05-17_08-00-00-front.mp4", SixCamera},
      {"serial-letters", "20240517_080000_0001_N_A.mp4", SerialLetters},
      {"dated-two-digits", "2024_05_17_080000_00_F.MP4", DatedTwoDigits},
      {"file-prefix", "F/FILE240517-080000F.MP4", FilePrefix},
      {"short-date-quality", "240517_080000_001_FH.MP4", ShortDateQuality},
  };
  return kTable;
}

ZovNameFacts ZovReadName(std::string_view path) {
  const ZovNameParts parts = ZovSplitName(path);
  if (IsVideoExtension(parts.extension)) {
    for (const ZovNamingRow& row : ZovNamingTable()) {
      ZovNameFacts facts;
      if (row.handler(parts, facts)) {
        facts.family = row.family;
        return facts;
      }
    }
  }
  // No row: the start and channel are found later from the container.
  ZovNameFacts facts;
  ModeFromFolders(parts, facts);
  return facts;
}
