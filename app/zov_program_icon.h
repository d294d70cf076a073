#pragma once
// The program icon: a camera lens with a play mark over a road, in the colours
// of the skin. One shape list is drawn two ways: with QPainter (the window's
// icon and the PNG sizes of the desktop theme) and as SVG text (the scalable
// icon), so the two always show the same picture.
#include <QIcon>
#include <QImage>
#include <QString>

// Pixel sizes of the PNG icons installed into the desktop theme.
inline constexpr int kZovIconSizes[] = {16, 24, 32, 48, 64, 128, 256};
// Name of the icon and of the desktop entry.
inline constexpr const char* kZovIconName = "tamarinsoft";

// The icon drawn at `size` x `size` pixels on a transparent background.
QImage ZovDrawProgramIcon(int size);
// The icon as an SVG document (view box 0 0 256 256).
QString ZovProgramIconSvg();
// Every PNG size in one icon (the main window's big and small icon).
QIcon ZovProgramIcon();
// The icon's lens and road in one flat colour, transparent elsewhere (the
// tile behind them, the play mark and the road's line): the video area's
// mark while nothing plays.
QImage ZovProgramIconSilhouette(int size, QRgb colour);
