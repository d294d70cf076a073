#pragma once
// The naming table: what a camera's file name (and the folders it sits in)
// says about a recording: when it started on the camera's clock, which
// channel it is, and in which mode it was recorded.
//
// One row per camera family, a condition -> handler table like the GPS block
// formats: each row's handler parses the name with a small cursor and
// answers false when the name is not of its family, so the first row that
// accepts the name wins. A new family is one row and one handler.
//
// Pure: no file is opened; the path is only split into its parts.
#include <string>
#include <string_view>
#include <vector>

#include "library/zov_library_types.h"

// The parts of a path that the handlers look at.
struct ZovNameParts {
  std::string_view stem;       // file name without the extension
  std::string_view extension;  // without the dot, as written
  // Folder names from the nearest up, at most kZovNameFolders of them.
  std::vector<std::string_view> folders;
};
inline constexpr size_t kZovNameFolders = 4;

ZovNameParts ZovSplitName(std::string_view path);

// One row of the table.
struct ZovNamingRow {
  const char* family;
  const char* sample;  // a name of the family, for the table's readers and tests
  bool (*handler)(const ZovNameParts& parts, ZovNameFacts& facts);
};
const std::vector<ZovNamingRow>& ZovNamingTable();

// Runs the table over a path; facts.family stays "" when no row matched
// (the fallback: the start then comes from the container or the file time).
ZovNameFacts ZovReadName(std::string_view path);

// The mode a folder name implies ("RO" locked, "Parking" parking, "EMR"
// event, ...), or false when it implies none. Used by every row whose name
// carries no mode of its own.
bool ZovModeOfFolder(std::string_view folder, ZovMode* mode);
