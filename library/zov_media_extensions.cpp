#include "library/zov_media_extensions.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace {

template <size_t N>
bool OneOf(std::string_view ext, const std::array<std::string_view, N>& list) {
  return std::find(list.begin(), list.end(), ext) != list.end();
}

}  // namespace

std::string ZovExtensionOf(std::string_view path) {
  const size_t dot = path.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot));
}

bool ZovIsMediaExtension(std::string_view text) { return OneOf(ZovExtensionOf(text), kZovMediaExtensions); }

bool ZovIsVideoExtension(std::string_view text) {
  const std::string ext = ZovExtensionOf(text);
  return OneOf(ext, kZovMediaExtensions) && !OneOf(ext, kZovTextLogExtensions);
}

std::string ZovOpenFileFilter(const std::string& videoText, const std::string& allFilesText) {
  return videoText + kZovOpenFilterShown + "|" + kZovOpenFilterPatterns + "|" + allFilesText + " (*.*)|*.*||";
}

std::string ZovDialogPatterns(std::string_view patterns) {
  std::vector<std::string> list;
  size_t start = 0;
  while (start <= patterns.size()) {
    const size_t end = std::min(patterns.find(';', start), patterns.size());
    if (end > start) list.emplace_back(patterns.substr(start, end - start));
    start = end + 1;
  }
  const size_t listed = list.size();
  for (size_t k = 0; k < listed; ++k) {
    std::string lower = list[k], upper = list[k];
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (std::string* other : {&lower, &upper})
      if (std::find(list.begin(), list.end(), *other) == list.end()) list.push_back(*other);
  }
  std::string joined;
  for (const std::string& p : list) joined += (joined.empty() ? "" : " ") + p;
  return joined;
}
