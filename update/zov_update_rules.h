#pragma once
// The update client's pure rules: reading the check service's reply, the
// version decision and the hand-over file's lines. No I/O, so each rule is
// tested (and fuzzed) on its own.
#include <string>
#include <string_view>

// Longest package name (without ".bin") that the update name holds.
constexpr size_t kZovMaxUpdateName = 31;

// The check service's reply (a JSON-like text). For each key: its first
// occurrence, then the first ":" after it, then the first double quote after
// that; the value runs to the next double quote and must not be empty.
struct ZovCheckReply {
  bool hasSoftVersion = false;
  int softVersion = 0;
  std::string fileMd5;  // stored, not verified
  std::string fileUrl;
  // True when the calibration file is to be fetched: soft_version newer than
  // the client's and both file_md5 and file_url present.
  bool fetchCalibration = false;
};

// The value of `key` by the rule above; false when it is missing or empty.
bool ZovReplyValue(std::string_view reply, std::string_view key, std::string* value);
ZovCheckReply ZovParseCheckReply(std::string_view reply, int calibrationVersion);

// The version rule. C is the player's version text ("V1.01.06."), S the
// server's, N the description file's "updatename". Returns true when a
// download is pending; *updateName is then N.
//  - S shorter than 2 characters, or C and S differing at position 4: no.
//  - v = 12 * d(t[1]) + 10 * d(t[3]) + d(t[4]) for each text: vC > vS no,
//    vC < vS yes; equal: yes when N is not empty and
//    10 * d(C[6]) + d(C[7]) < 10 * d(N[0]) + d(N[1]).
// A character past the end of a text reads as a zero byte.
bool ZovVersionWantsUpdate(std::string_view current, std::string_view server, std::string_view name);

// A package name that can be used as base/<name>.bin and as a field of the
// hand-over line: 1 to 31 bytes, no separator, no "..", no ",".
bool ZovIsUsableUpdateName(std::string_view name);
// An update folder that fits a hand-over field: no "," and no line break.
bool ZovIsUsableUpdateFolder(std::string_view folder);
// True when the hand-over line's first four fields (up to the "N"/"K" mark)
// lie within the 128 bytes that the launcher and a later check read; a
// longer line would be downloaded again every run and never installed.
bool ZovHandoverMarkFits(std::string_view name, std::string_view folder);

// The hand-over lines: "0,<name>.bin,<folder>,N," while downloading and
// "0,<name>.bin,<folder>,K,<version>,<name>" once the package is complete.
std::string ZovHandoverPendingLine(int kind, std::string_view name, std::string_view folder);
std::string ZovHandoverReadyLine(int kind, std::string_view name, std::string_view folder,
                                 std::string_view serverVersion);
// True when the fourth field of a hand-over text (between the third and the
// fourth ",", within its first 128 bytes) contains "K" or "k".
bool ZovHandoverSaysReady(std::string_view text);
