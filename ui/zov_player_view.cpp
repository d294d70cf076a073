#include "ui/zov_player_view.h"

#include <QPainter>
#include <QResizeEvent>
#include <QWindow>

#include <algorithm>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "engine/zov_d3d11_render_view.h"
#include "engine/zov_demuxer.h"
#include "engine/zov_media_play.h"
#include "shell/zov_wnd_manager.h"

namespace {

// Shortest time between two double-click reports in the whole program.
constexpr uint32_t kDoubleClickIntervalMs = 1000;

struct SwsDeleter {
  void operator()(SwsContext* c) const { sws_freeContext(c); }
};

}  // namespace

std::array<QRect, 3> ZovPaneCells(int arrangement, int width, int height) {
  const int b = width - 6;
  const QRect whole(0, 0, width, height);
  std::array<QRect, 3> cells{};
  switch (arrangement) {
    case 0:
    case 2:
    case 5:
      cells[0] = whole;
      break;
    case 1:
      cells[0] = QRect(QPoint(1, 0), QPoint(b / 2 - 1, height - 1));
      cells[1] = QRect(QPoint(width / 2, 0), QPoint(width - 1, height - 1));
      break;
    case 3:
    case 6:
      cells[1] = whole;
      break;
    case 4: {
      const int split = (b / 5) * 3;
      const int right = (b / 5) * 5 + 3;
      cells[0] = QRect(QPoint(0, 0), QPoint(split - 1, height - 1));
      cells[1] = QRect(QPoint(split + 3, 0), QPoint(right - 1, height / 2 - 1));
      cells[2] = QRect(QPoint(split + 3, height / 2), QPoint(right - 1, height - 1));
      break;
    }
    case 7:
      cells[2] = whole;
      break;
    default:
      break;
  }
  return cells;
}

QRect ZovFitPane(const QRect& cell) {
  const double w = cell.width(), h = cell.height();
  const double sx = w / CZovPlayerView::kFrameWidth;
  const double sy = h / CZovPlayerView::kFrameHeight;
  if (sx > sy) {
    const int width = static_cast<int>(sy * CZovPlayerView::kFrameWidth);
    const int left = cell.left() + static_cast<int>((w - sy * CZovPlayerView::kFrameWidth) * 0.5);
    return QRect(left, cell.top(), width, cell.height());
  }
  const int height = static_cast<int>(sx * CZovPlayerView::kFrameHeight);
  const int top = cell.top() + static_cast<int>((h - sx * CZovPlayerView::kFrameHeight) * 0.5);
  return QRect(cell.left(), top, cell.width(), height);
}

bool ZovReportPaneDoubleClick(CZovWndManager* directory, int id) {
  CZovUiEnv& env = CZovUiEnv::Get();
  const uint64_t now = env.TickMs();
  if (!ZovTicksApart(now, env.lastPaneDoubleClick, kDoubleClickIntervalMs)) return false;
  env.lastPaneDoubleClick = now;
  const int32_t payload = id;
  if (directory) directory->SendValue(kZovLeftTabName, ZOV_CODE_PANE_DBLCLICK, payload, 0);
  return true;
}

// --- CZovPlayerView ---------------------------------------------------------

void CZovPlayerView::AvFree::operator()(uint8_t* p) const { av_free(p); }

CZovPlayerView::CZovPlayerView() {
  renderWindow_ = new QWindow();
  renderWindow_->setSurfaceType(QSurface::OpenGLSurface);
  // Clicks on the video reach the pane.
  renderWindow_->setFlag(Qt::WindowTransparentForInput);
  videoContainer_ = QWidget::createWindowContainer(renderWindow_, this);
  videoContainer_->setAttribute(Qt::WA_TransparentForMouseEvents);
}

CZovPlayerView::~CZovPlayerView() = default;

bool CZovPlayerView::CreateEx(QWidget* parent, const ZovRect& rect, const QString& text, int id, int) {
  if (!CZovUiBase::CreateEx(parent, rect, QString(), id, kZovWsChild | kZovWsClipChildren)) return false;
  directory_ = CZovWndManager::GetInstance();
  return true;
}

void CZovPlayerView::FitInto(const QRect& cell) {
  setGeometry(ZovFitPane(cell));
  pictureReady_ = 1;
  update();
}

void CZovPlayerView::SetStill(const uint8_t* bgr, int width, int height) {
  if (width <= 0 || height <= 0) return;
  const size_t bytes = size_t(width) * 3 * size_t(height);
  std::unique_ptr<uint8_t, AvFree> buffer(static_cast<uint8_t*>(av_malloc(bytes)));
  if (!buffer) return;
  std::memcpy(buffer.get(), bgr, bytes);
  picture_ = std::move(buffer);
  pictureWidth_ = width;
  pictureHeight_ = height;
  pictureSarNum_ = pictureSarDen_ = 1;
  pictureReady_ = 1;
  ShowStill(nullptr, -1);
}

bool CZovPlayerView::TakeStill(CZovMediaPlay* play, int channel) {
  if (!play || channel < 0 || channel >= int(play->players.size()) || play->channelCount < channel + 1) return false;
  CZovBasePlayer* player = play->players[channel].get();
  if (!player || !player->queue) return false;
  // A new reference: the picture stays valid even if the scheduler releases
  // the queued item meanwhile.
  AVFrameUPtr frame(player->queue->CloneFrontVideoFrame());
  if (!frame) return false;
  CZovDemuxer* main = play->GetMainDemuxer();
  AVCodecContext* context = main ? main->GetVideoCodecContext() : nullptr;
  if (!context) return false;
  int width = 0, height = 0;
  AVPixelFormat format = AV_PIX_FMT_NONE;
  {
    std::lock_guard<std::recursive_mutex> guard(main->lock);
    width = context->width;
    height = context->height;
    format = context->pix_fmt;
  }
  // The main decoder's size and format describe this picture only when they
  // match it (another channel may be recorded at another size): read the
  // picture with its own, never past its planes.
  if (width != frame->width || height != frame->height || format != frame->format) {
    width = frame->width;
    height = frame->height;
    format = static_cast<AVPixelFormat>(frame->format);
  }
  if (width <= 0 || height <= 0) return false;
  std::unique_ptr<SwsContext, SwsDeleter> scaler(
      sws_getContext(width, height, format, width, height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr));
  if (!scaler) return false;
  const size_t bytes = size_t(width) * 3 * size_t(height);
  std::unique_ptr<uint8_t, AvFree> buffer(static_cast<uint8_t*>(av_malloc(bytes)));
  if (!buffer) return false;
  uint8_t* planes[4] = {buffer.get(), nullptr, nullptr, nullptr};
  int strides[4] = {width * 3, 0, 0, 0};
  if (sws_scale(scaler.get(), frame->data, frame->linesize, 0, height, planes, strides) <= 0) return false;
  picture_ = std::move(buffer);  // the previous picture is freed
  pictureWidth_ = width;
  pictureHeight_ = height;
  pictureSarNum_ = frame->sample_aspect_ratio.num;
  pictureSarDen_ = frame->sample_aspect_ratio.den;
  pictureReady_ = 1;
  ShowStill(play, channel);
  return true;
}

void CZovPlayerView::ShowStill(CZovMediaPlay* play, int channel) {
  stillShown_ = true;
  videoContainer_->hide();
  update();
  stillPlay_ = play;
  stillChannel_ = channel;
  KillTimer(kStillWatchTimer);
  // A still of no engine channel stays until it is dropped.
  if (!play) return;
  CZovBasePlayer* player = play->players[channel].get();
  presentedAtStill_ = player && player->scheduler ? player->scheduler->presentedVideo.load() : 0;
  SetTimer(kStillWatchTimer, kStillWatchMs);
}

void CZovPlayerView::OnStillWatch() {
  if (!stillShown_) {
    KillTimer(kStillWatchTimer);
    return;
  }
  CZovBasePlayer* player = stillPlay_ && stillChannel_ >= 0 ? stillPlay_->players[stillChannel_].get() : nullptr;
  // Still paused on the same picture: keep showing the still.
  if (player && player->scheduler && player->scheduler->presentedVideo.load() == presentedAtStill_) return;
  stillShown_ = false;
  KillTimer(kStillWatchTimer);
  videoContainer_->show();
}

void CZovPlayerView::DropPicture() {
  picture_.reset();
  pictureWidth_ = 0;
  pictureHeight_ = 0;
  pictureReady_ = 0;
  stillShown_ = false;
  KillTimer(kStillWatchTimer);
  videoContainer_->show();
}

QImage CZovPlayerView::PictureImage() const {
  if (!picture_) return QImage();
  return QImage(picture_.get(), pictureWidth_, pictureHeight_, pictureWidth_ * 3, QImage::Format_BGR888).copy();
}

LRESULT CZovPlayerView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kStillWatchTimer) OnStillWatch();
  return CZovUiBase::WindowProc(message, wParam, lParam);
}

void CZovPlayerView::OnMouseMove(const QPoint&) {
  if (!tracked_) {
    TrackMouseLeave();
    tracked_ = 1;
  }
}

void CZovPlayerView::OnLButtonDown(const QPoint&) {
  pressed_ = 1;
  tracked_ = 0;
}

void CZovPlayerView::OnLButtonUp(const QPoint&) {
  if (!pressed_) return;
  ++clickCount_;
  pressed_ = 0;
  const uint64_t now = CZovUiEnv::Get().TickMs();
  if (ZovTicksApart(now, lastClickSent_, kClickIntervalMs)) {
    lastClickSent_ = now;
    SendToParent(ZOVWM_CLICK, static_cast<WPARAM>(ControlId()), 0);
  }
  update();
}

void CZovPlayerView::OnMouseLeave() {
  pressed_ = 0;
  tracked_ = 0;
}

void CZovPlayerView::OnLButtonDblClk(const QPoint&) { ZovReportPaneDoubleClick(directory_, ControlId()); }

void CZovPlayerView::resizeEvent(QResizeEvent* event) {
  videoContainer_->setGeometry(QRect(QPoint(0, 0), event->size()));
  update();
}

void CZovPlayerView::paintEvent(QPaintEvent*) {
  QPainter dc(this);
  const QRect client = rect();
  if (stillShown_ && picture_) {
    // The still stands in for the video window; Qt may ask for it again at
    // any time (expose, resize), so it is drawn on every paint, at the same
    // place and shape as the video window draws the playing picture.
    dc.fillRect(client, ZovToQColor(backgroundColor));
    const ZovPictureRect r = CZovD3D11RenderView::PictureRect(client.width(), client.height(), pictureWidth_,
                                                              pictureHeight_, pictureSarNum_, pictureSarDen_);
    const QImage picture =
        PictureImage().scaled(QSize(r.width, r.height), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    dc.drawImage(QPoint(r.x, r.y), picture);
    pictureReady_ = 0;
    return;
  }
  // With no-fill set the video window covers the pane: nothing to paint.
  if (!noFill_ || videoContainer_->isHidden()) dc.fillRect(client, ZovToQColor(backgroundColor));
}

// --- CZovPlayerListView -----------------------------------------------------

CZovPlayerListView::CZovPlayerListView() { backgroundColor = ZovRgb(0, 0, 0); }

CZovPlayerListView::~CZovPlayerListView() = default;

bool CZovPlayerListView::CreateEx(QWidget* parent, const ZovRect& rect, const QString&, int id, int) {
  if (!CZovUiBase::CreateEx(parent, rect, QString(), id, kZovWsChild | kZovWsClipChildren)) return false;
  directory_ = CZovWndManager::GetInstance();
  return true;
}

void CZovPlayerListView::SetChannels(int a, int b) {
  if (a == 2) {
    channelCount_ = 2;
    if (b == 0) arrangement_ = 2;
    else if (b == 1) arrangement_ = 3;
  } else if (a == 0) {
    // At most the four panes there are.
    channelCount_ = std::clamp(b, 0, kMaxPanes);
    arrangement_ = b == 1 ? 0 : b == 2 ? 1 : 4;
  } else {
    return;
  }
  MakePanes();
  for (int i = 0; i < channelCount_; ++i) {
    panes_[i]->SetNoFill(true);
    panes_[i]->update();
  }
  active_ = 1;
  Layout();
}

void CZovPlayerListView::MakePanes() {
  for (int i = 0; i < channelCount_; ++i) {
    if (panes_[i]) continue;
    auto pane = std::make_unique<CZovPlayerView>();
    pane->backgroundColor = ZovRgb(0, 0, 0);
    if (!pane->CreateEx(this, {0, 0, CZovPlayerView::kFrameWidth, CZovPlayerView::kFrameHeight}, QString(),
                        kZovPlayerViewIds[i]))
      return;
    panes_[i] = std::move(pane);
  }
}

void CZovPlayerListView::NextArrangement() {
  if (channelCount_ == 2) arrangement_ = arrangement_ >= 1 && arrangement_ < 3 ? arrangement_ + 1 : 1;
  else if (channelCount_ == 3) arrangement_ = arrangement_ >= 4 && arrangement_ < 7 ? arrangement_ + 1 : 4;
  Layout();
}

void CZovPlayerListView::Layout() {
  if (!panes_[0]) return;
  if (!active_) {
    for (auto& pane : panes_) {
      if (!pane) continue;
      pane->hide();
      pane->FitInto(QRect(0, 0, CZovPlayerView::kFrameWidth, CZovPlayerView::kFrameHeight));
    }
    return;
  }
  if (frozen) return;
  const std::array<QRect, 3> cells = ZovPaneCells(arrangement_, width(), height());
  for (int i = 0; i < 3; ++i) {
    CZovPlayerView* pane = panes_[i].get();
    if (!pane) continue;
    if (cells[i].isEmpty()) {
      pane->hide();
      continue;
    }
    if (pane->parentWidget() != this) pane->setParent(this);
    pane->FitInto(cells[i]);
    pane->show();
  }
}

void CZovPlayerListView::TakeStills() { TakeStills(CZovMediaPlay::Instance()); }

void CZovPlayerListView::TakeStills(CZovMediaPlay* play) {
  if (panes_[0]) panes_[0]->TakeStill(play, 0);
  if (panes_[1] && arrangement_ != 0) panes_[1]->TakeStill(play, 1);
  // The third camera's window does not redraw on an expose either.
  if (panes_[2] && channelCount_ == 3) panes_[2]->TakeStill(play, 2);
}

void CZovPlayerListView::HideStills() {
  active_ = 0;
  for (int i = 0; i < kMaxPanes; ++i) {
    if (!panes_[i]) continue;
    panes_[i]->hide();
    if (i < 3) panes_[i]->DropPicture();
  }
  for (auto& pane : panes_) {
    if (!pane) continue;
    pane->SetNoFill(false);
    pane->update();
  }
  update();  // the idle look comes back
}

void CZovPlayerListView::FillRenderWindows(std::array<QWindow*, 4>& windows) const {
  for (int i = 0; i < 3; ++i)
    if (panes_[i]) windows[i] = panes_[i]->RenderWindow();
}

LRESULT CZovPlayerListView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  // A pane that was clicked holds the focus and reports the space key here;
  // the owner of the panes pauses and resumes with it.
  if (message == WM_KEYUP && wParam == VK_SPACE) return SendToParent(message, wParam, lParam);
  return CZovUiBase::WindowProc(message, wParam, lParam);
}

void CZovPlayerListView::OnLButtonDblClk(const QPoint&) { ZovReportPaneDoubleClick(directory_, ControlId()); }

void CZovPlayerListView::resizeEvent(QResizeEvent*) {
  Layout();
  update();
}

void CZovPlayerListView::paintEvent(QPaintEvent*) {
  QPainter dc(this);
  dc.fillRect(rect(), Qt::black);
  if (!active_ && idleLook) idleLook(dc, rect());
}
