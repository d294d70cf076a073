#include "library/zov_library_group.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <set>
#include <string_view>
#include <tuple>

#include "library/zov_recording_probe.h"

namespace {

constexpr std::array<ZovChannel, 6> kChannelOrder = {ZovChannel::kFront, ZovChannel::kRear,
                                                     ZovChannel::kInterior, ZovChannel::kLeft,
                                                     ZovChannel::kRight, ZovChannel::kExtra};

int Pixels(const ZovRecording& r) { return r.facts.width * r.facts.height; }

// Builds one moment from recordings (indexes) that start together.
ZovMoment MakeMoment(const ZovLibrary& lib, std::vector<size_t> members) {
  // Named channels first in channel order (main streams before copies),
  // then the unnamed ones by picture size.
  std::stable_sort(members.begin(), members.end(), [&](size_t a, size_t b) {
    const ZovRecording& x = lib.recordings[a];
    const ZovRecording& y = lib.recordings[b];
    if (x.name.channel != y.name.channel) return x.name.channel < y.name.channel;
    if (x.name.variant != y.name.variant) return x.name.variant < y.name.variant;
    return Pixels(x) > Pixels(y);
  });
  std::array<int, kChannelOrder.size() + 1> used{};
  struct Slot {
    ZovChannel channel;
    int n;
    size_t index;
  };
  std::vector<Slot> placed;
  ZovMoment m;
  m.start = lib.recordings[members.front()].Start();
  for (size_t i : members) {
    const ZovRecording& r = lib.recordings[i];
    ZovChannel ch = r.name.channel;
    if (ch == ZovChannel::kUnknown) {
      ch = ZovChannel::kExtra;
      for (ZovChannel c : kChannelOrder)
        if (used[static_cast<size_t>(c)] == 0) {
          ch = c;
          break;
        }
    }
    placed.push_back({ch, ++used[static_cast<size_t>(ch)], i});
    m.start = std::min(m.start, r.Start());
    if (ZovModeWeight(r.name.mode) > ZovModeWeight(m.mode)) m.mode = r.name.mode;
    m.seconds = std::max(m.seconds, r.facts.seconds);
    m.gpsFixes = std::max(m.gpsFixes, r.gpsFixes);
  }
  // Front first, then the order of the channel list.
  std::stable_sort(placed.begin(), placed.end(), [](const Slot& a, const Slot& b) {
    return a.channel != b.channel ? a.channel < b.channel : a.n < b.n;
  });
  for (const Slot& s : placed) {
    std::string key = ZovChannelName(s.channel);
    if (s.n > 1) key += "-" + std::to_string(s.n);
    m.channels.emplace_back(std::move(key), s.index);
  }
  return m;
}

size_t CommonPrefix(const std::string& a, const std::string& b) {
  size_t n = 0;
  while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
  return n;
}

// Recordings that start together but come from more than one camera (a
// folder of cards, or two cards of one day): a moment holds one recording
// of each channel (and variant) of one naming family, and a recording joins
// the moment whose files lie nearest to it (the longest common path).
std::vector<std::vector<size_t>> SplitByCamera(const ZovLibrary& lib, std::vector<size_t> together) {
  std::sort(together.begin(), together.end(),
            [&](size_t a, size_t b) { return lib.recordings[a].path < lib.recordings[b].path; });
  std::vector<std::vector<size_t>> parts;
  for (size_t i : together) {
    const ZovRecording& r = lib.recordings[i];
    int best = -1;
    size_t bestLength = 0;
    for (size_t k = 0; k < parts.size(); ++k) {
      const ZovRecording& first = lib.recordings[parts[k].front()];
      if (first.name.family != r.name.family) continue;
      bool taken = r.name.channel == ZovChannel::kUnknown && parts[k].size() >= kChannelOrder.size();
      for (size_t j : parts[k]) {
        const ZovNameFacts& o = lib.recordings[j].name;
        if (r.name.channel != ZovChannel::kUnknown && o.channel == r.name.channel &&
            o.variant == r.name.variant)
          taken = true;
      }
      if (taken) continue;
      const size_t length = CommonPrefix(first.path, r.path);
      if (best < 0 || length > bestLength) {
        best = static_cast<int>(k);
        bestLength = length;
      }
    }
    if (best < 0)
      parts.push_back({i});
    else
      parts[static_cast<size_t>(best)].push_back(i);
  }
  return parts;
}

// Distance of a moment: the longest track among its channels (each channel
// of one camera carries the same drive).
double MomentKilometres(const ZovLibrary& lib, const ZovMoment& m) {
  double km = 0;
  for (const auto& [key, i] : m.channels) km = std::max(km, lib.recordings[i].kilometres);
  return km;
}

// Leaves out the copies among `playable` (sorted by start, then path): a
// card copied to a disk and both read, or a folder of cards holding a
// backup. A recording with the file name, size and start of one before it
// is the same recording; the first in path order stands for both, so every
// moment plays once.
std::vector<size_t> WithoutCopies(const ZovLibrary& lib, std::vector<size_t> playable) {
  std::set<std::tuple<std::string_view, int64_t, int64_t>> seen;
  std::vector<size_t> kept;
  kept.reserve(playable.size());
  for (size_t i : playable) {
    const ZovRecording& r = lib.recordings[i];
    const size_t slash = r.path.find_last_of('/');
    const std::string_view name = std::string_view(r.path).substr(slash == std::string::npos ? 0 : slash + 1);
    if (r.size > 0 && !seen.emplace(name, r.size, r.Start()).second) continue;
    kept.push_back(i);
  }
  return kept;
}

}  // namespace

void ZovGroupLibrary(ZovLibrary& lib, int driveGapSeconds) {
  lib.drives.clear();
  lib.unplayable.clear();
  std::vector<size_t> playable;
  for (size_t i = 0; i < lib.recordings.size(); ++i)
    (lib.recordings[i].facts.playable ? playable : lib.unplayable).push_back(i);
  std::sort(lib.unplayable.begin(), lib.unplayable.end(),
            [&](size_t a, size_t b) { return lib.recordings[a].path < lib.recordings[b].path; });
  std::stable_sort(playable.begin(), playable.end(), [&](size_t a, size_t b) {
    const int64_t x = lib.recordings[a].Start(), y = lib.recordings[b].Start();
    return x != y ? x < y : lib.recordings[a].path < lib.recordings[b].path;
  });

  playable = WithoutCopies(lib, std::move(playable));

  std::vector<ZovMoment> moments;
  for (size_t at = 0; at < playable.size();) {
    const int64_t first = lib.recordings[playable[at]].Start();
    size_t end = at + 1;
    while (end < playable.size() && lib.recordings[playable[end]].Start() - first <= kZovMomentSpan)
      ++end;
    std::vector<size_t> together(playable.begin() + static_cast<long>(at),
                                 playable.begin() + static_cast<long>(end));
    const size_t before = moments.size();
    for (const std::vector<size_t>& part : SplitByCamera(lib, std::move(together)))
      moments.push_back(MakeMoment(lib, part));
    std::stable_sort(moments.begin() + static_cast<long>(before), moments.end(),
                     [](const ZovMoment& a, const ZovMoment& b) { return a.start < b.start; });
    at = end;
  }

  int64_t lastEnd = kZovNoTime;
  for (ZovMoment& m : moments) {
    const int64_t mEnd = m.start + static_cast<int64_t>(m.seconds + 0.5);
    if (lib.drives.empty() || m.start - lastEnd > driveGapSeconds) {
      lib.drives.emplace_back();
      lib.drives.back().start = m.start;
      lastEnd = mEnd;
    }
    ZovDrive& d = lib.drives.back();
    d.kilometres += MomentKilometres(lib, m);
    lastEnd = std::max(lastEnd, mEnd);
    d.end = lastEnd;
    d.moments.push_back(std::move(m));
  }
}
