#include "ui/zov_screenshot_view.h"

#include <QFile>
#include <QMouseEvent>
#include <QPainter>

#include <cstring>

namespace {

// Layout of the two headers (little-endian):
//   0  "BM"             14-byte file header
//   2  u32 file size
//  10  u32 offset of the pixel rows
//  14  u32 info header size (40 or more)
//  18  s32 width         22  s32 height (negative: top row first)
//  26  u16 planes (1)    28  u16 bits per pixel (24)
//  30  u32 compression (0: none)
constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kInfoHeaderBytes = 40;

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

}  // namespace

bool ZovReadBmp24(const uint8_t* data, size_t size, ZovBmpPicture* out) {
  if (!data || !out || size < kFileHeaderBytes + kInfoHeaderBytes) return false;
  if (data[0] != 'B' || data[1] != 'M') return false;
  const uint32_t pixelOffset = U32(data + 10);
  const uint32_t infoSize = U32(data + 14);
  const int32_t width = static_cast<int32_t>(U32(data + 18));
  const int32_t rawHeight = static_cast<int32_t>(U32(data + 22));
  if (infoSize < kInfoHeaderBytes || U16(data + 26) != 1 || U16(data + 28) != 24 || U32(data + 30) != 0) return false;
  if (width <= 0 || width > kZovBmpMaxSide || rawHeight == 0 || rawHeight < -kZovBmpMaxSide ||
      rawHeight > kZovBmpMaxSide)
    return false;
  const int32_t height = rawHeight < 0 ? -rawHeight : rawHeight;
  const uint64_t stride = (uint64_t(width) * 3 + 3) & ~uint64_t(3);
  const uint64_t pixelBytes = stride * uint64_t(height);
  // The rows start after both headers and end inside the file.
  if (uint64_t(pixelOffset) < kFileHeaderBytes + uint64_t(infoSize) || uint64_t(pixelOffset) + pixelBytes > size)
    return false;
  out->pixels.assign(data + pixelOffset, data + pixelOffset + pixelBytes);
  out->width = width;
  out->height = height;
  out->stride = static_cast<int32_t>(stride);
  out->bottomUp = rawHeight > 0;
  return true;
}

QImage ZovBmpPicture::ToImage() const {
  if (pixels.empty() || width <= 0 || height <= 0) return QImage();
  const QImage rows(pixels.data(), width, height, stride, QImage::Format_BGR888);
  return bottomUp ? rows.mirrored(false, true) : rows.copy();
}

CZovScreenShotView::CZovScreenShotView(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setModal(true);
  resize(480, 320);  // the plain size, without a picture
}

CZovScreenShotView::~CZovScreenShotView() = default;

bool CZovScreenShotView::LoadPicture(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return false;
  // Screenshots are a few MB; a larger file cannot be one the reader accepts.
  constexpr qint64 kMaxFileBytes = qint64(kZovBmpMaxSide) * 3 * 4096 + 4096;
  if (file.size() > kMaxFileBytes) return false;
  const QByteArray bytes = file.readAll();
  ZovBmpPicture picture;
  if (!ZovReadBmp24(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), &picture)) return false;
  picture_ = std::move(picture);
  image_ = picture_.ToImage();
  pictureLoaded_ = 1;
  path_ = path;
  return true;
}

void CZovScreenShotView::InitView() {
  normalRect_ = geometry();
  if (pictureLoaded_) {
    setGeometry(ZovCentreIn(QSize(picture_.width / 2, picture_.height / 2), ZovWorkArea(this)));
    normalRect_ = geometry();
  }
  setWindowTitle(QString::fromStdString(path_));
}

void CZovScreenShotView::showEvent(QShowEvent* event) {
  if (!initialised_) {
    initialised_ = true;
    InitView();
  }
  QDialog::showEvent(event);
}

void CZovScreenShotView::ToggleFullSize() {
  if (!pictureLoaded_) return;
  if (fullSize_) {
    setGeometry(normalRect_);
    fullSize_ = 0;
  } else {
    setGeometry(ZovCentreIn(QSize(picture_.width, picture_.height), ZovWorkArea(this)));
    fullSize_ = 1;
  }
  update();
}

QRect CZovScreenShotView::PictureArea() const {
  return QRect(1, kCaptionHeight + 1, width() - 2, height() - kCaptionHeight - 2);
}

QRect CZovScreenShotView::CloseBox() const { return QRect(width() - kCaptionHeight, 0, kCaptionHeight, kCaptionHeight); }

void CZovScreenShotView::paintEvent(QPaintEvent*) {
  QPainter dc(this);
  const QRect client = rect();
  dc.fillRect(client, QColor(24, 26, 30));
  // Caption strip: title and close cross.
  dc.setPen(QColor(kEdgeColor));
  dc.drawText(QRect(8, 0, width() - kCaptionHeight - 8, kCaptionHeight), Qt::AlignVCenter | Qt::AlignLeft,
              QString::fromStdString(path_));
  const QRect cross = CloseBox().adjusted(8, 8, -8, -8);
  dc.drawLine(cross.topLeft(), cross.bottomRight());
  dc.drawLine(cross.topRight(), cross.bottomLeft());
  if (!image_.isNull()) {
    dc.setRenderHint(QPainter::SmoothPixmapTransform);
    dc.drawImage(PictureArea(), image_);
  }
  // One-pixel lines: left (top to bottom), bottom, right (bottom to top).
  const int right = client.width() - 1, bottom = client.height() - 1;
  dc.setPen(QPen(QColor(kEdgeColor), 1));
  dc.drawLine(0, kCaptionHeight, 0, bottom);
  dc.drawLine(0, bottom, right, bottom);
  dc.drawLine(right, bottom, right, kCaptionHeight);
}

void CZovScreenShotView::mousePressEvent(QMouseEvent* event) {
  const QPoint pt = event->position().toPoint();
  if (event->button() != Qt::LeftButton || pt.y() >= kCaptionHeight) return;
  if (CloseBox().contains(pt)) {
    reject();
    return;
  }
  drag_.Press(this, event);
}

void CZovScreenShotView::mouseMoveEvent(QMouseEvent* event) { drag_.Move(this, event); }

void CZovScreenShotView::mouseReleaseEvent(QMouseEvent*) { drag_.Release(); }

void CZovScreenShotView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && event->position().y() < kCaptionHeight) ToggleFullSize();
}
