#pragma once
// Builds package bytes record by record for the launcher tests, including
// records whose sizes and offsets lie, and small file helpers.
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "launcher/zov_package.h"

namespace packtest {

struct RawRecord {
  std::string name;
  std::string subFolder;
  std::string data;
};

// A well-formed package: each header followed by its data.
inline std::vector<uint8_t> BuildPackage(const std::vector<RawRecord>& records) {
  std::vector<uint8_t> out;
  for (const RawRecord& r : records) {
    uint8_t header[kZovPackHeaderSize];
    int32_t offset = static_cast<int32_t>(out.size() + kZovPackHeaderSize);
    if (!ZovEncodePackHeader(r.name, r.subFolder, static_cast<int32_t>(r.data.size()), offset, header)) {
      return {};
    }
    out.insert(out.end(), header, header + kZovPackHeaderSize);
    out.insert(out.end(), r.data.begin(), r.data.end());
  }
  return out;
}

// Appends one header with the given raw size and offset and no data.
inline void AppendHeader(std::vector<uint8_t>& out, const std::string& name, const std::string& sub,
                         int32_t size, int32_t offset) {
  uint8_t header[kZovPackHeaderSize];
  ZovEncodePackHeader(name, sub, size, offset, header);
  out.insert(out.end(), header, header + kZovPackHeaderSize);
}

inline void WriteBytes(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const std::filesystem::path& p, const std::string& text) {
  WriteBytes(p, std::vector<uint8_t>(text.begin(), text.end()));
}

inline std::string ReadText(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Every path below root, relative, sorted: a snapshot to compare before and after.
inline std::vector<std::string> Tree(const std::filesystem::path& root) {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    out.push_back(it->path().lexically_relative(root).string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace packtest
