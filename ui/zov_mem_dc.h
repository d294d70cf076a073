#pragma once
// CZovMemDC: an off-screen drawing surface against flicker. It is built over
// a target painter and a rectangle of the target (logical coordinates; an
// all-zero rectangle means the target's clip box, or its whole area when it
// has no clip). Drawing goes into an off-screen QImage through Painter(),
// in the target's own coordinates; when the CZovMemDC is destroyed the image
// is copied back to the same place on the target.
//
// With the copy-background flag the off-screen image starts as the target's
// current pixels: copied when the target is an image or a pixmap; for a
// widget (whose pixels cannot be read) it starts transparent and is laid
// over the target, which gives the same result. Without the flag the image
// replaces the target's pixels. A printer target gets no off-screen copy:
// Painter() is the target painter itself.
//
// Threads: the thread that owns the target (the user-interface thread for
// widgets).
#include <memory>

#include <QImage>
#include <QPainter>
#include <QRect>

class CZovMemDC {
 public:
  CZovMemDC(QPainter* target, const QRect& rect = QRect(), bool copyBackground = true);
  ~CZovMemDC();
  CZovMemDC(const CZovMemDC&) = delete;
  CZovMemDC& operator=(const CZovMemDC&) = delete;

  // The painter to draw with (the target's coordinates).
  QPainter& Painter() { return offScreen_ ? *painter_ : *target_; }
  QPainter* operator->() { return &Painter(); }
  // The rectangle covered, in the target's coordinates.
  const QRect& Rect() const { return rect_; }
  bool IsOffScreen() const { return offScreen_; }

 private:
  QPainter* target_;
  QRect rect_;
  bool offScreen_ = false;
  bool layOver_ = false;  // composite over the target instead of replacing it
  QImage image_;
  std::unique_ptr<QPainter> painter_;
};
