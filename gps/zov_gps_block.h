#pragma once
// Block decoding: turns the raw buffers the container scan finds (MP4 boxes,
// AVI chunks, transport-stream packets, whole text side files) into fixes.
//
//   buffer --ZovParseGpsBlock--> format table (telemetry payloads, see
//            zov_gps_gpmf.h; KARUGPS versions table; LCAIGPS rejection;
//            GPSINFO: / GPSINFO records)
//          --> record framing ("####" marks) --> text decoding
//            (substitution A / B, byte decoder) --> record grammar
//            (zov_gps_text.h) --> ZovAcceptFix --> state.fixes
//
// Nothing here does I/O; every read is bounded by the length passed in. All
// decoder state lives in one CZovGpsBlockState that the extractor owns, so one
// extraction runs against one state object; it is not shared between threads.
#include <array>
#include <cstddef>
#include <cstdint>

#include "gps/zov_gps_fix.h"

// Decoder state carried between buffers and records of one extraction.
struct CZovGpsBlockState {
  // Appended fixes, in file order.
  GpsFixList fixes;
  // The shared record area: KARUGPS and GPSINFO records are parsed into it, so
  // a field one record's grammar does not set keeps the previous record's value.
  // Zeroed by Reset() and whenever a KARUGPS block header is read.
  GpsFix record;
  // Block state of the block being decoded (or set by the scan for binary and
  // "$G" records); read by ZovAcceptFix.
  int blockState = 0;
  // Derived substitution-B alphabet and the key it was built for (-1: none).
  std::array<char, 48> alphabetB{};
  int64_t alphabetBKey = -1;
  // Telemetry (GPMF) payloads seen so far: the index of the next one.
  uint32_t gpmfPayloads = 0;

  // Start of an extraction: frees the list, block state 0, zeroed record area.
  void Reset();
};

// How ZovAcceptFix treats the coordinates of a fix.
enum class ZovAcceptMode {
  // KARUGPS / GPSINFO records: values outside +-90 / +-180 are taken as NMEA
  // and converted, then the block state's coordinate restoration runs.
  kBlock,
  // "$G" records: the NMEA conversion as above, no restoration.
  kNoExchange,
  // 44-byte binary records: always NMEA, always converted, no restoration.
  kNmea,
};

// Decodes one candidate buffer (or a whole text side file), appending the
// accepted fixes to state.fixes. Returns 0 or more when the buffer was
// handled (fixes may or may not have been added), -1 when it was rejected
// (no known tag, LCAIGPS, or an unknown KARUGPS version). A telemetry
// payload gives at most one fix: the first valid position of its second.
int ZovParseGpsBlock(CZovGpsBlockState& state, const uint8_t* buffer, size_t length);

// A block whose fixes belong to second `second` of the video (a timed
// sample of the recording): decodes it as above and gives the fixes it added
// that second as their index, marked as placed by the video's time.
int ZovParseTimedGpsBlock(CZovGpsBlockState& state, const uint8_t* buffer, size_t length, int64_t second);

// A text side file is handed to the block parser whole.
inline int ZovParseGpsTextFile(CZovGpsBlockState& state, const uint8_t* data, size_t length) {
  return ZovParseGpsBlock(state, data, length);
}

// Size of the fixed binary GPS record.
constexpr size_t kBinaryRecordSize = 44;

// Decodes one 44-byte binary record into a zeroed fix. False when fewer than
// 44 bytes are given or the status / hemisphere letters are not valid.
// Coordinates stay as NMEA (signed by hemisphere); ZovAcceptFix converts them.
bool ZovParseBinaryRecord(const uint8_t* bytes, size_t length, GpsFix& fix);

// Parses a binary record and, when valid, accepts it with the given index
// (the candidate's ordinal) under block state 5 in kNmea mode. True when a
// record was parsed (it may still have been dropped as a duplicate).
bool ZovDecodeBinaryRecord(CZovGpsBlockState& state, const uint8_t* bytes, size_t length,
                           uint32_t index);

// Parses one "$G" text record chunk (128 bytes of an AMBA GPS track chunk)
// and, when it holds a record, accepts it with index 0 under block state 5 in
// kNoExchange mode. True when a record was accepted.
bool ZovDecodeAmbaRecord(CZovGpsBlockState& state, const uint8_t* bytes, size_t length);

// Normalises, restores (by state.blockState, see ZovAcceptMode) and appends
// one parsed fix with index `index`:
//  - a list whose first index exceeds index + 5 restarts with this fix;
//  - a fix with the same index and time as the last appended one is dropped.
void ZovAcceptFix(CZovGpsBlockState& state, uint32_t index, const GpsFix& fix,
                  ZovAcceptMode mode = ZovAcceptMode::kBlock);

// ---- Building blocks, exposed for tests and tools ---------------------------

// Substitution A with key k: the derived 43-character alphabet.
std::array<char, 43> ZovSubstitutionAlphabetA(uint32_t k);
// Substitution B with key k: the derived 48-character alphabet.
std::array<char, 48> ZovSubstitutionAlphabetB(int64_t k);
// Decodes text in place with a derived alphabet: bytes 0x30-0x5A become
// 0x30 + the position of their first occurrence (0 when absent); other bytes
// are copied.
void ZovSubstituteText(uint8_t* text, size_t length, const char* alphabet, size_t alphabetSize);

// The byte decoder of block versions 1, 2, 5, 6. Writes at most outCapacity
// bytes (the output buffer is cleared first) and returns the number written,
// or -1 when a control byte 0x20-0x3F marks the record invalid.
int ZovByteDecode(const uint8_t* in, size_t length, uint8_t* out, size_t outCapacity);

// Seconds since 1970-01-01 00:00 of a fix's date and time (proleptic
// Gregorian, no time zone), wrapped to 32 bits as the cameras compute it.
int32_t ZovFixEpochSeconds(const GpsFix& fix);
// The dated restoring factor (between 0 and 1) for a time stamp.
double ZovDatedFactor(int32_t timeStamp);
// NMEA ddmm.mmmm (or dddmm.mmmm) to degrees, sign kept.
double ZovNmeaToDegrees(double value);
