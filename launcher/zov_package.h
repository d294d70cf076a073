#pragma once
// The update package format (".bin") and the hand-over file "update.txt".
//
// A package is a sequence of records, each a 268-byte header followed by the
// file's bytes (little-endian):
//   offset   0, 1 byte     not used
//   offset   1, 128 bytes  file name, zero-terminated
//   offset 129, 131 bytes  sub-folder below the unpack folder, zero-terminated,
//                          empty for the unpack folder itself, "\" or "/" between levels
//   offset 260, int32      data size in bytes
//   offset 264, int32      data offset: absolute position of the file's bytes
// The next header starts at data offset + data size. The package ends when a
// record's data reaches the package length or fewer than 268 bytes remain.
//
// Everything here is pure apart from the file source and the writer: the walk
// over the records works on a reader interface, so a hostile package can be
// checked in memory (fuzz target) as well as on disk.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Header layout.
constexpr size_t kZovPackHeaderSize = 268;
constexpr size_t kZovPackNameOffset = 1;
constexpr size_t kZovPackNameField = 128;       // at most 127 bytes and the terminator
constexpr size_t kZovPackSubFolderOffset = 129;
constexpr size_t kZovPackSubFolderField = 131;  // at most 130 bytes and the terminator
constexpr size_t kZovPackSizeOffset = 260;
constexpr size_t kZovPackDataOffset = 264;
// The launcher's fixed path buffers held 255 UTF-16 units; longer paths are
// refused rather than cut.
constexpr size_t kZovMaxPathUnits = 255;

// One header as stored, before any checking.
struct ZovPackHeader {
  std::string name;        // up to the terminator (or the whole field when it has none)
  std::string subFolder;   // as stored, backslashes kept
  bool nameTerminated = false;
  bool subFolderTerminated = false;
  int32_t dataSize = 0;
  int32_t dataOffset = 0;
};

// Decodes a 268-byte header. Returns false when fewer than 268 bytes are given.
bool ZovDecodePackHeader(const uint8_t* bytes, size_t length, ZovPackHeader* out);
// Encodes a header; false when the name or sub-folder does not fit its field.
bool ZovEncodePackHeader(const std::string& name, const std::string& subFolder, int32_t dataSize,
                         int32_t dataOffset, uint8_t out[kZovPackHeaderSize]);

// A stored relative folder with "\" read as "/".
std::string ZovSlashes(std::string_view stored);
// True for a plain file name: not empty, not "." or "..", no "/" or "\".
bool ZovIsPlainFileName(std::string_view name);
// True when a stored sub-folder (after ZovSlashes) is relative and no element
// is "..": it cannot leave the folder it is joined to. Empty is allowed.
bool ZovIsContainedSubFolder(std::string_view subFolder);
// Length of a UTF-8 text in UTF-16 units (a malformed byte counts as one unit).
size_t ZovUtf16Units(std::string_view utf8);

// Random access to a package's bytes.
class ZovPackSource {
 public:
  virtual ~ZovPackSource() = default;
  virtual int64_t Length() const = 0;
  // Reads up to n bytes at pos; returns the number read (0 at or past the end,
  // -1 on error).
  virtual int64_t ReadAt(int64_t pos, uint8_t* buf, size_t n) = 0;
};

class ZovMemoryPackSource : public ZovPackSource {
 public:
  ZovMemoryPackSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  int64_t Length() const override { return static_cast<int64_t>(size_); }
  int64_t ReadAt(int64_t pos, uint8_t* buf, size_t n) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// What the walk decided for one header.
enum class ZovRecordVerdict {
  kWrite,         // a file to write: name and sub-folder are safe, data inside the package
  kRefusedName,   // skipped: name empty, "."/"..", has a separator or does not fit
  kRefusedFolder, // skipped: sub-folder absolute, climbing with ".." or does not fit
};

// Why the walk stopped.
enum class ZovWalkEnd {
  kEndOfPackage,   // a record's data reached the package length
  kShortHeader,    // fewer than 268 bytes were left for a header (also: empty package)
  kBadSize,        // negative data size
  kBadOffset,      // data offset outside the package, or a record that would not advance
  kPastEnd,        // data offset + data size beyond the package length
  kReadError,
  kStoppedByWriter // the record callback asked to stop (a file could not be created)
};

struct ZovPackRecord {
  ZovPackHeader header;
  ZovRecordVerdict verdict = ZovRecordVerdict::kWrite;
  int64_t headerPos = 0;
  std::string subFolder;  // with "/" separators, only meaningful for kWrite
};

// Walks the records of a package from position 0. For each header it calls
// onRecord; a false return from onRecord stops the walk (kStoppedByWriter).
// Data bounds are checked before onRecord sees the record, so a kWrite record's
// bytes lie inside the package.
ZovWalkEnd ZovWalkPackage(ZovPackSource& source,
                          const std::function<bool(const ZovPackRecord&)>& onRecord);

struct ZovUnpackResult {
  bool opened = false;
  ZovWalkEnd end = ZovWalkEnd::kShortHeader;
  std::vector<std::string> written;  // relative paths below the unpack folder
  std::vector<std::string> refused;  // headers skipped as unsafe (name as stored)
};

// Unpacks the package file into folder (created as needed). Nothing is ever
// written outside folder.
ZovUnpackResult ZovUnpackPackage(const std::filesystem::path& package,
                                 const std::filesystem::path& folder);

// Creates folder with its missing parents the way the launcher always did:
// try the full path, on failure cut the last element and try again, after a
// success add the next element back; at most 32 attempts.
bool ZovCreateFolderChain(const std::filesystem::path& folder);

// Writes a package of every regular file below folder (sorted by path), each
// file's sub-folder stored with "\" between levels. Returns false with a
// message in *error when a name or folder does not fit the header or the
// package would pass 2 GiB; warnings (skipped non-files) go to *warnings.
bool ZovWritePackage(const std::filesystem::path& folder, const std::filesystem::path& package,
                     std::string* error, std::vector<std::string>* warnings);

// The hand-over file: one line "kind,package,folder,state[,version,name]".
struct ZovHandover {
  int kind = 0;
  bool kindRead = false;
  std::vector<std::string> fields;  // split at ",", at most the first 128 bytes
  // Field 4 with its designed limit of 31 characters (empty when missing or longer).
  std::string state;
  bool stateFits = true;
  bool Complete() const;  // field 4 holds "K" or "k"
};
// Parses the first 128 bytes of a hand-over file's text.
ZovHandover ZovParseHandover(std::string_view text);
