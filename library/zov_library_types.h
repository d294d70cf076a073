#pragma once
// The recording library's records: a recording (one file of one camera
// channel), a moment (the channels of one instant), a drive (moments that
// follow each other closely), and the library that holds them.
//
// Times are the camera's clock as its file names (or its container) state
// it, with no zone: seconds since 1970-01-01T00:00:00 of that clock, kept as
// a plain count so that gaps are differences and no zone rule ever applies.
#include <cstdint>
#include <string>
#include <vector>

// A camera-clock time that is not known.
inline constexpr int64_t kZovNoTime = INT64_MIN;

enum class ZovChannel { kFront, kRear, kInterior, kLeft, kRight, kExtra, kUnknown };
enum class ZovMode { kNormal, kEvent, kParking, kManual, kLocked, kTimelapse };

// "front", "rear", "interior", "left", "right", "extra" ("" for unknown).
const char* ZovChannelName(ZovChannel channel);
// "normal", "event", "parking", "manual", "locked", "timelapse".
const char* ZovModeName(ZovMode mode);
// How much a mode tells the driver: a moment shows the most telling mode of
// its channels (locked > event > manual > parking > timelapse > normal).
int ZovModeWeight(ZovMode mode);

// Camera-clock seconds of a calendar date and time; kZovNoTime when a field
// is out of range (month 13, 31 April, hour 24, a year before 1970 or after
// 2099: cameras with a lost clock write those).
int64_t ZovCameraTime(int year, int month, int day, int hour, int minute, int second);
// "2024-05-17T08:00:00"; "" for kZovNoTime.
std::string ZovFormatCameraTime(int64_t t);
// The calendar fields of a camera-clock time.
void ZovSplitCameraTime(int64_t t, int* year, int* month, int* day, int* hour, int* minute,
                        int* second);

// One position of a recording's GPS track (what the list needs: where and when).
struct ZovTrackPoint {
  double latitude = 0;   // signed degrees
  double longitude = 0;  // signed degrees
  float speedKnots = 0;
  int32_t time = 0;      // seconds since 1970 (UTC) as the fix states it; 0 unknown
};

// What the naming table reads from a recording's path.
struct ZovNameFacts {
  std::string family;          // the naming row that matched; "" when none did
  int64_t start = kZovNoTime;  // camera clock
  ZovChannel channel = ZovChannel::kUnknown;
  ZovMode mode = ZovMode::kNormal;
  // Two recordings of one channel at one instant: 0 the main one; 1 a
  // camera's low-quality copy, or its second camera of that channel.
  int variant = 0;
};

// What a cheap open of the file finds.
struct ZovFileFacts {
  bool playable = false;
  std::string reason;           // why not, when not playable
  double seconds = 0;           // duration
  int videoStreams = 0;
  int audioStreams = 0;
  int width = 0, height = 0;    // of the first video stream
  std::string codec;            // of the first video stream
  int64_t created = kZovNoTime; // the container's creation time, as written
};

struct ZovRecording {
  std::string path;
  int64_t size = 0;
  int64_t mtimeNs = 0;
  ZovNameFacts name;
  ZovFileFacts facts;
  int gpsFixes = 0;
  double kilometres = 0;               // length of the track
  std::vector<ZovTrackPoint> track;
  std::vector<std::string> sideFiles;  // GPS side files attached to it
  bool fromIndex = false;              // facts came from the index, not the file

  // Start on the camera clock: the name's, else the container's creation
  // time, else the file's modification time in this machine's zone.
  int64_t Start() const;
};

// The channels of one instant.
struct ZovMoment {
  int64_t start = kZovNoTime;
  ZovMode mode = ZovMode::kNormal;
  // (key, index into ZovLibrary::recordings), front first. The key is the
  // channel's name; a second recording of a channel already present (a
  // camera's low-quality copy, a second pillar camera) gets "-2", "-3".
  std::vector<std::pair<std::string, size_t>> channels;
  double seconds = 0;
  int gpsFixes = 0;
  // The recording played for the moment: front, else the first channel.
  size_t Lead() const;
};

struct ZovDrive {
  int64_t start = kZovNoTime;
  int64_t end = kZovNoTime;
  double kilometres = 0;
  std::vector<ZovMoment> moments;
};

struct ZovLibrary {
  std::vector<ZovRecording> recordings;
  std::vector<ZovDrive> drives;
  std::vector<size_t> unplayable;      // indexes into recordings, in path order
  std::vector<std::string> sideFiles;  // side files attached to no recording
  std::vector<std::string> messages;   // what the scan could not read, and why
};
