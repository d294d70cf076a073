#pragma once
// The cheap open of a recording: whether it plays, and if not why, with the
// facts the library keeps (duration, streams, picture size, codec, the
// container's creation time); and the reading of its GPS track.
//
// The open reads the container's header and decodes the first picture, so
// a recording that would only ever show black is found before it is played:
//   "empty file"                  0 bytes
//   "not a recording"             no container the demuxer knows
//   "cut short: no index"         an MP4/MOV whose index (moov) was never written
//   "cannot be decoded: ..."      no picture stream, no decoder, or the first picture fails
//   "cannot be read: ..."         the system refused the read (permissions, a pulled card)
//
// Thread: any. GPS reading through the extractor goes through one
// process-wide lock, because the extractor keeps process-wide state (the
// play list's track loader takes the same lock); a recording's own container
// is read without it when the caller has its side files already.
#include <mutex>
#include <string>
#include <vector>

#include "gps/zov_gps_fix.h"
#include "library/zov_library_types.h"

// MP4/MOV files are read through their index boxes (zov_mp4_facts.h) when
// that reader answers for their layout; every other file through the demuxer.
ZovFileFacts ZovProbeRecording(const std::string& path);
// The same open with the demuxer for every file: what the box reader must
// agree with.
ZovFileFacts ZovProbeRecordingWithDemuxer(const std::string& path);

// The lock every caller of the GPS extractor holds across an extraction.
std::mutex& ZovExtractorLock();

// The GPS track of a recording, read from the file itself and, when that
// holds none, from its side files in turn. Returns the fix count.
// `lookBeside`: when the container holds no GPS, the extractor also looks
// for side files next to the recording (by name, and day logs and GPX
// tracks of its folder by time). A scan that walked the recording's folder
// has found and attached those itself, so it reads the container alone:
// with a decoder state of its own, outside the extractor's lock, so that
// several recordings are read at once.
int ZovReadRecordingTrack(const std::string& path, const std::vector<std::string>& sideFiles,
                          std::vector<ZovTrackPoint>* track, bool lookBeside = true);

// The track of fixes already placed on a recording's seconds (a day log or
// GPX track cut to it by time): the same clean-up as an extraction's.
// Returns the fix count. Pure: needs no lock.
int ZovTrackOfPlacedFixes(GpsFixList fixes, std::vector<ZovTrackPoint>* track);

// Length of a track in kilometres (great-circle legs between fixes; legs
// longer than kZovMaxLegKm, a fix from a lost signal, are left out).
double ZovTrackKilometres(const std::vector<ZovTrackPoint>& track);
// Great-circle distance between two positions (signed degrees), km.
double ZovLegKilometres(double latA, double lonA, double latB, double lonB);
inline constexpr double kZovMaxLegKm = 2.0;
