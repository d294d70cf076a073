#pragma once
// CZovScreenShotView: the modal popup that shows a screenshot the play
// window has just saved as a 24-bit BMP file. It opens at half the
// picture's size centred in the desktop work area; a double click on its
// caption strip toggles the picture's full size (centred in the work area,
// extending past it when the picture is larger) and back. The picture is
// stretched over the client inset by one pixel, with a one-pixel light line
// on the left, bottom and right edges (none on top). The window draws its
// own caption strip (title = the file's path, a close button; a press on it
// moves the window), so the double click reaches the program on every
// window system.
//
// ZovReadBmp24 is the bitmap reader: a pure parser of a buffer. It accepts
// only 24-bit uncompressed files whose headers agree with the file size and
// reads rows with their real stride ((width * 3 + 3) & ~3); anything else is
// refused, never read past.
//
// Threads: user-interface thread only.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <QDialog>
#include <QImage>
#include <QRect>

#include "ui/zov_popup_place.h"

// A 24-bit picture as stored in the file: rows of `stride` bytes, bottom row
// first when `bottomUp`, blue-green-red pixels.
struct ZovBmpPicture {
  std::vector<uint8_t> pixels;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;
  bool bottomUp = true;
  // The picture as an image, top row first (null when empty).
  QImage ToImage() const;
};

// Largest side the reader accepts.
inline constexpr int32_t kZovBmpMaxSide = 32768;

// Parses a whole BMP file; false (and `out` untouched) unless it is a
// 24-bit uncompressed file whose pixel rows lie inside `size`.
bool ZovReadBmp24(const uint8_t* data, size_t size, ZovBmpPicture* out);

class CZovScreenShotView : public QDialog {
 public:
  // Height of the window's own caption strip.
  static constexpr int kCaptionHeight = 26;
  // Colour of the edge lines and the caption text.
  static constexpr QRgb kEdgeColor = 0xFAFAFA;  // 250,250,250

  explicit CZovScreenShotView(QWidget* parent = nullptr);
  ~CZovScreenShotView() override;

  // Reads the bitmap file; false when it cannot be read or is refused (the
  // view then opens in its plain size without a picture).
  bool LoadPicture(const std::string& path);
  bool HasPicture() const { return pictureLoaded_ != 0; }
  const ZovBmpPicture& Picture() const { return picture_; }
  bool IsFullSize() const { return fullSize_ != 0; }
  // The window rectangle to return to from the full size.
  const QRect& NormalRect() const { return normalRect_; }
  // The caption double click: full size and back (only with a picture).
  void ToggleFullSize();
  // The area the picture is drawn in (client coordinates).
  QRect PictureArea() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void InitView();
  QRect CloseBox() const;

  int32_t pictureLoaded_ = 0;
  QRect normalRect_;
  int32_t fullSize_ = 0;
  std::string path_;
  ZovBmpPicture picture_;
  QImage image_;  // the picture, top row first
  bool initialised_ = false;
  CZovWindowDrag drag_;  // a press on the caption strip moves the window
};
