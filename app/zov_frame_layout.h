#pragma once
// The arithmetic of the main window, as free functions that tests call with
// numbers: where the right panel starts, where the window is placed, how wide
// the download bar is, where the update box goes.
#include <cstdint>

#include <QRect>
#include <QSize>

// Width of the right panel for client widths other than 1360..1363.
inline constexpr int kZovRightPanelWidth = 340;
// Gap between the left panel's right edge and the right panel.
inline constexpr int kZovPanelGap = 5;
// Height of the download progress bar along the bottom of the title strip.
inline constexpr int kZovProgressBarHeight = 2;

// x of the right panel for client width `width`: W x 3 / 4 for 1360..1363,
// else W - 340.
int ZovSplitX(int width);

// The right panel's and the left panel's rectangles for a client of
// `width` x `height` below a strip `stripHeight` high.
QRect ZovRightPanelRect(int width, int height, int stripHeight);
QRect ZovLeftPanelRect(int width, int height, int stripHeight, bool rightShown);

// The least client size of the main window: a left panel `leftMinWidth`
// wide beside the right panel, and below the title strip (`stripHeight`)
// room for the right panel's least height.
QSize ZovMinimumClientSize(int leftMinWidth, int stripHeight, int rightMinHeight);

// The window's place in `workArea`: the designed size centred (offsets halved
// in integers) when it fits, otherwise the whole work area.
QRect ZovInitialPlacement(const QRect& workArea, int designedWidth, int designedHeight);

// A title button's rectangle: its design rectangle moved right by
// (client width - designed width), so it keeps its distance from the right edge.
QRect ZovTitleButtonRect(const QRect& design, int clientWidth, int designedWidth);

// Percent of a download of `total` bytes of which `done` have arrived:
// done x 100 / total in 64 bits, 100 when both are equal or total is 0,
// never above 100.
int ZovDownloadPercent(uint32_t done, uint32_t total);

// Width of the progress bar for `percent` of a client `width` wide.
int ZovProgressBarWidth(int width, int percent);

// The update box in the middle fifth of the main window: x from
// windowLeft + 0.4 x clientWidth to windowLeft + 0.6 x clientWidth (each sum
// cut to an integer), and the same vertically.
QRect ZovUpdateBoxRect(const QPoint& windowTopLeft, int clientWidth, int clientHeight);

// UI text key of the update box's notice for update client state `state`, or
// null when the state sets no text: 1 and 3 "updating", 4 "updatingfinish",
// 33..36 "newestversion". State 2 (description read, not yet decided) leaves
// the previous text.
const char* ZovUpdateNoticeKey(int state);
