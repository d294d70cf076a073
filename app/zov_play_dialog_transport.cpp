#include "app/zov_play_dialog_transport.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <numeric>

#include <QPainter>

#include "library/zov_media_extensions.h"

namespace zov_play {

bool CommandFilter::Accept(int64_t nowMs) {
  const bool accepted = !last_ || nowMs - *last_ >= kCommandGapMs;
  last_ = nowMs;
  return accepted;
}

void CommandFilter::Handled(int64_t nowMs) {
  if (last_) last_ = std::max(*last_, nowMs);
}

int64_t CommandFilter::WaitMs(int64_t nowMs) const {
  return last_ ? std::max<int64_t>(0, *last_ + kCommandGapMs - nowMs) : 0;
}

bool AllowedWhileStarting(int id) { return id != kIdScreenshot; }

int64_t SeekBarMs(int value, int64_t lengthMs) {
  return std::clamp(value, 0, kSeekSteps) * std::max<int64_t>(lengthMs, 0) / kSeekSteps;
}

int64_t StepTargetMs(int64_t positionMs, int seconds, int64_t lengthMs) {
  const int64_t last = std::max<int64_t>(lengthMs - 1000, 0);
  return std::clamp<int64_t>(std::max<int64_t>(positionMs, 0) + int64_t(seconds) * 1000, 0, last);
}

bool SeekTarget::Take(int64_t ms) {
  const bool seek = ms != last_;
  last_ = ms;
  return seek;
}

std::string FormatTime(int p, int d) {
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d/%02d:%02d:%02d", p / 3600, p % 3600 / 60,
                p % 60, d / 3600, d % 3600 / 60, d % 60);
  return text;
}

int SeekBarValue(int p, int d) {
  const int64_t scaled = int64_t(p) * kSeekSteps + kSeekSteps;
  return static_cast<int>(d <= 1 ? scaled : scaled / d);
}

TickView ComputeTick(int position, int duration, bool ended) {
  TickView view;
  int p = std::max(position, 0);
  int d = duration < 1 ? kUnknownDurationSeconds : duration;
  if (ended) {
    p = 0;
  } else if (p > d + kDurationSlackSeconds) {
    d += kDurationGrowthSeconds;
    view.durationGrew = true;
  } else {
    p = std::min(p, d);
  }
  view.position = p;
  view.duration = d;
  view.timeText = FormatTime(p, d);
  view.seekValue = ended ? 0 : SeekBarValue(p, d);
  return view;
}

int NextTickMs(int64_t positionMs, int64_t lengthMs, int speedPercent) {
  constexpr int64_t kLeadMs = 20;  // past the second, so the clock has surely turned it
  constexpr int64_t kMinMs = 40, kMaxMs = 1000, kNearEndMs = 250;
  const int64_t position = std::max<int64_t>(positionMs, 0);
  const int64_t media = 1000 - position % 1000 + kLeadMs;
  const int64_t speed = speedPercent > 0 ? speedPercent : 100;
  int64_t wall = media * 100 / speed;
  if (lengthMs > 0 && position + 1000 >= lengthMs) wall = std::min(wall, kNearEndMs);
  return static_cast<int>(std::clamp(wall, kMinMs, kMaxMs));
}

PlayAction PlayCommand(int state, bool spaceKey) {
  if (state == 1) return PlayAction::kPause;
  if (state == 2) return PlayAction::kResume;
  return spaceKey ? PlayAction::kNone : PlayAction::kStart;
}

EndAction EndOfFileAction(int playMode) {
  return playMode == 0 ? EndAction::kPlayNext : EndAction::kStop;
}

bool IsTextLog(std::string_view path) {
  const std::string ext = ZovExtensionOf(path);
  // The extension must belong to the file name, not to a folder.
  if (ext.size() != 4 || ext.find('/') != std::string::npos) return false;
  std::string lower = ext;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower == ".txt";
}

std::vector<std::string> MediaFilesOf(const std::string& folder, bool (*accept)(std::string_view)) {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
    const std::string path = item.path().string();
    if (item.is_regular_file(error) && accept(ZovExtensionOf(path))) files.push_back(path);
  }
  return files;
}

std::vector<std::string> ExpandCommandLine(const std::vector<std::string>& args,
                                           bool (*accept)(std::string_view)) {
  std::vector<std::string> files;
  for (const std::string& arg : args) {
    std::error_code error;
    const std::string full = std::filesystem::absolute(arg, error).lexically_normal().string();
    if (error) continue;
    if (std::filesystem::is_directory(full, error)) {
      std::vector<std::string> listed = MediaFilesOf(full, accept);
      std::sort(listed.begin(), listed.end());
      files.insert(files.end(), listed.begin(), listed.end());
    } else {
      files.push_back(full);
    }
  }
  return files;
}

std::string PositionText(char hemisphere, float value) {
  char text[64];
  std::snprintf(text, sizeof text, "%c:%f", hemisphere, value);
  return text;
}

std::vector<int> BottomRowLefts(const std::vector<int>& widths, int clientWidth) {
  const int sum = std::accumulate(widths.begin(), widths.end(), 0);
  std::vector<int> lefts;
  int x = (clientWidth - sum - kBottomRowSlack) / 2;
  for (int w : widths) {
    lefts.push_back(x);
    x += w + kBottomRowGap;
  }
  return lefts;
}

namespace {

int RowWidth(const std::vector<int>& widths, int gap) {
  const int gaps = widths.empty() ? 0 : static_cast<int>(widths.size()) - 1;
  return std::accumulate(widths.begin(), widths.end(), 0) + gaps * gap;
}

std::vector<int> RowFrom(const std::vector<int>& widths, int left, int gap) {
  std::vector<int> lefts;
  for (int w : widths) {
    lefts.push_back(left);
    left += w + gap;
  }
  return lefts;
}

}  // namespace

BottomRowPlace PlaceBottomRow(const std::vector<int>& widths, int clientWidth, const StripMeasures& strip) {
  const int row = RowWidth(widths, kBottomRowGap);
  const int leftLimit = strip.timeRight + kStripClearance;
  const int positionsLeft = clientWidth - strip.margin - strip.positionsWidth;
  const std::vector<int> designed = BottomRowLefts(widths, clientWidth);
  const int designedLeft = designed.empty() ? 0 : designed.front();
  if (designedLeft >= leftLimit && designedLeft + row + kStripClearance <= positionsLeft) return {designed, true};
  const int between = positionsLeft - kStripClearance - leftLimit;
  if (row <= between) return {RowFrom(widths, leftLimit + (between - row) / 2, kBottomRowGap), true};
  // The position texts give way; the row keeps clear of the time text.
  const int room = clientWidth - strip.margin - leftLimit;
  const int gaps = std::max(static_cast<int>(widths.size()) - 1, 1);
  const int sum = RowWidth(widths, 0);
  const int gap = std::clamp((room - sum) / gaps, kBottomRowMinGap, kBottomRowGap);
  const int left = leftLimit + std::max((room - RowWidth(widths, gap)) / 2, 0);
  return {RowFrom(widths, left, gap), false};
}

int BottomRowMinimumWidth(const std::vector<int>& widths, const StripMeasures& strip) {
  return strip.timeRight + kStripClearance + RowWidth(widths, kBottomRowMinGap) + strip.margin;
}

std::string ShotFileName(const std::tm& when, int positionSeconds) {
  char name[96];
  std::snprintf(name, sizeof name, "shot_%04d%02d%02d_%02d%02d%02d_%d.bmp", when.tm_year + 1900,
                when.tm_mon + 1, when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec,
                positionSeconds);
  return name;
}

std::string WithTrailingSlash(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

std::string SaveDialogFolder(const std::string& listFolder, const std::string& home) {
  return listFolder.size() < 3 ? home : listFolder;
}

std::vector<std::string> QtFileFilters(std::string_view filter) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (start < filter.size()) {
    const size_t bar = filter.find('|', start);
    const size_t end = bar == std::string_view::npos ? filter.size() : bar;
    fields.emplace_back(filter.substr(start, end - start));
    start = end + 1;
  }
  std::vector<std::string> result;
  for (size_t i = 0; i + 1 < fields.size(); i += 2) {
    if (fields[i].empty()) break;  // the "||" that ends the list
    std::string label = fields[i].substr(0, fields[i].find('('));
    while (!label.empty() && label.back() == ' ') label.pop_back();
    result.push_back(label + " (" + ZovDialogPatterns(fields[i + 1]) + ")");
  }
  return result;
}

QImage ComposeVideoArea(QSize area, const std::vector<PanePicture>& panes) {
  QImage shot(area, QImage::Format_RGB32);
  shot.fill(Qt::black);
  QPainter painter(&shot);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  for (const PanePicture& pane : panes)
    if (!pane.picture.isNull() && pane.rect.isValid()) painter.drawImage(pane.rect, pane.picture);
  return shot;
}

namespace {
void PutLe(std::vector<uint8_t>& out, size_t at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}
}  // namespace

std::vector<uint8_t> EncodeBmp24(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_RGB888);
  const int w = image.width(), h = image.height();
  const size_t stride = (size_t(w) * 3 + 3) / 4 * 4;
  const size_t imageSize = stride * h;
  std::vector<uint8_t> out(54 + imageSize, 0);
  out[0] = 'B';
  out[1] = 'M';
  PutLe(out, 2, static_cast<uint32_t>(out.size()), 4);
  PutLe(out, 10, 54, 4);
  PutLe(out, 14, 40, 4);
  PutLe(out, 18, static_cast<uint32_t>(w), 4);
  PutLe(out, 22, static_cast<uint32_t>(h), 4);
  PutLe(out, 26, 1, 2);
  PutLe(out, 28, 24, 2);
  PutLe(out, 34, static_cast<uint32_t>(imageSize), 4);
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = image.constScanLine(h - 1 - y);
    uint8_t* dst = out.data() + 54 + stride * y;
    for (int x = 0; x < w; ++x) {  // RGB in, BGR out
      dst[3 * x] = src[3 * x + 2];
      dst[3 * x + 1] = src[3 * x + 1];
      dst[3 * x + 2] = src[3 * x];
    }
  }
  return out;
}

}  // namespace zov_play
