#include "app/zov_frame_layout.h"

#include <algorithm>

namespace {

// Client widths whose right panel takes the last quarter instead of 340 pixels.
constexpr int kQuarterSplitFirst = 1360;
constexpr int kQuarterSplitLast = 1363;

}  // namespace

int ZovSplitX(int width) {
  if (width >= kQuarterSplitFirst && width <= kQuarterSplitLast) return width * 3 / 4;
  return width - kZovRightPanelWidth;
}

QRect ZovRightPanelRect(int width, int height, int stripHeight) {
  const int split = ZovSplitX(width);
  return QRect(split, stripHeight, width - split, height - stripHeight);
}

QRect ZovLeftPanelRect(int width, int height, int stripHeight, bool rightShown) {
  const int right = rightShown ? ZovSplitX(width) - kZovPanelGap : width;
  return QRect(0, stripHeight, right, height - stripHeight);
}

QRect ZovInitialPlacement(const QRect& workArea, int designedWidth, int designedHeight) {
  if (designedWidth <= workArea.width() && designedHeight <= workArea.height()) {
    const int x = workArea.left() + (workArea.width() - designedWidth) / 2;
    const int y = workArea.top() + (workArea.height() - designedHeight) / 2;
    return QRect(x, y, designedWidth, designedHeight);
  }
  return workArea;
}

QRect ZovTitleButtonRect(const QRect& design, int clientWidth, int designedWidth) {
  return design.translated(clientWidth - designedWidth, 0);
}

int ZovDownloadPercent(uint32_t done, uint32_t total) {
  if (done == total || total == 0) return 100;
  const uint64_t percent = static_cast<uint64_t>(done) * 100u / total;
  return static_cast<int>(std::min<uint64_t>(percent, 100u));
}

int ZovProgressBarWidth(int width, int percent) {
  return static_cast<int>(static_cast<int64_t>(width) * percent / 100);
}

QRect ZovUpdateBoxRect(const QPoint& windowTopLeft, int clientWidth, int clientHeight) {
  const int left = static_cast<int>(windowTopLeft.x() + 0.4 * clientWidth);
  const int right = static_cast<int>(windowTopLeft.x() + 0.6 * clientWidth);
  const int top = static_cast<int>(windowTopLeft.y() + 0.4 * clientHeight);
  const int bottom = static_cast<int>(windowTopLeft.y() + 0.6 * clientHeight);
  return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

const char* ZovUpdateNoticeKey(int state) {
  if (state == 1 || state == 3) return "updating";
  if (state == 4) return "updatingfinish";
  if (state >= 33 && state <= 36) return "newestversion";
  return nullptr;
}

QSize ZovMinimumClientSize(int leftMinWidth, int stripHeight, int rightMinHeight) {
  return QSize(leftMinWidth + kZovPanelGap + kZovRightPanelWidth, stripHeight + rightMinHeight);
}
