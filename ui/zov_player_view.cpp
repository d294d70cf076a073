#include "ui/zov_player_view.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QRasterWindow>
#include <QResizeEvent>
#include <QWindow>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/zov_engine.h"
#include "shell/zov_settings.h"
#include "shell/zov_wnd_manager.h"

namespace {

// Shortest time between two double-click reports in the whole program.
constexpr uint32_t kDoubleClickIntervalMs = 1000;
// Space between the large pane and the others.
constexpr int kPaneGap = 3;
// The corner tag: text height, margin from the pane's corner, padding, and
// the narrowest pane that still shows one.
constexpr int kTagTextPx = 12;
constexpr int kTagMargin = 6;
constexpr int kTagPadding = 5;
constexpr int kTagLeastPaneWidth = 120;
// The end label's text height: a twelfth of the pane, within these bounds.
constexpr int kEndLabelLeastPx = 11;
constexpr int kEndLabelMostPx = 28;

// The large cell and the cells of `others` (1 or 2) panes beside it (stacked)
// or below it (side by side), whichever leaves the large one more room; the
// group is centred, so black shows only along one pair of edges.
std::array<QRect, 3> LargeAndOthers(int others, int width, int height) {
  const double aspect = double(CZovPlayerView::kFrameWidth) / CZovPlayerView::kFrameHeight;
  // Two others split the large one's side; one other takes what the area's
  // shape leaves, from half the large one's width up to the same width.
  const double shape = double(width) / std::max(1, height);
  const double scale = others == 2 ? 0.5 : std::clamp(shape / aspect - 1.0, 0.5, 1.0);
  const double besideWidth = std::min((width - kPaneGap) / (1 + scale), height * aspect);
  const double belowWidth = std::min<double>(width, (height - kPaneGap) * aspect / (1 + scale));
  std::array<QRect, 3> cells{};
  if (besideWidth >= belowWidth) {
    const int lw = std::max(0, int(besideWidth));
    const int lh = int(lw / aspect);
    const int room = others == 1 ? lh : (lh - kPaneGap) / 2;
    const int sw = std::max(0, std::min(width - kPaneGap - lw, int(room * aspect)));
    const int sh = int(sw / aspect);
    const int left = (width - (lw + kPaneGap + sw)) / 2;
    const int top = (height - lh) / 2;
    const int x = left + lw + kPaneGap;
    cells[0] = QRect(left, top, lw, lh);
    if (others == 1) {
      cells[1] = QRect(x, top + (lh - sh) / 2, sw, sh);
    } else {
      cells[1] = QRect(x, top, sw, sh);
      cells[2] = QRect(x, top + lh - sh, sw, sh);
    }
    return cells;
  }
  const int lw = std::max(0, int(belowWidth));
  const int lh = int(lw / aspect);
  const int room = others == 1 ? lw : (lw - kPaneGap) / 2;
  const int sh = std::max(0, std::min(height - kPaneGap - lh, int(room / aspect)));
  const int sw = int(sh * aspect);
  const int left = (width - lw) / 2;
  const int top = (height - (lh + kPaneGap + sh)) / 2;
  const int y = top + lh + kPaneGap;
  cells[0] = QRect(left, top, lw, lh);
  if (others == 1) {
    cells[1] = QRect(left + (lw - sw) / 2, y, sw, sh);
  } else {
    cells[1] = QRect(left, y, sw, sh);
    cells[2] = QRect(left + lw - sw, y, sw, sh);
  }
  return cells;
}

// The tag's look, drawn by the tag window over the video and by the pane
// itself while it shows a still or a stopped channel.
QFont TagFont(const QFont& base) {
  QFont f = base;
  f.setPixelSize(kTagTextPx);
  return f;
}

QSize TagSize(const QFont& font, const QString& text) {
  const QFontMetrics metrics(font);
  return QSize(metrics.horizontalAdvance(text) + 2 * kTagPadding, metrics.height() + 4);
}

void DrawTag(QPainter& dc, const QRect& box, const QString& text) {
  dc.fillRect(box, QColor(0, 0, 0));
  dc.setPen(QColor(235, 235, 235));
  dc.drawText(box, Qt::AlignCenter, text);
}

// The channel name in a pane's corner over the playing video: a child window
// of the video window (a widget over it would need native windows around
// it, which takes the video window's surface away from the engine), so the
// engine's drawing leaves it alone. It lets the mouse through to the pane.
class CZovPaneTag : public QRasterWindow {
 public:
  explicit CZovPaneTag(QWindow* parent) : QRasterWindow(parent) {
    setFlag(Qt::WindowTransparentForInput);
    font_ = TagFont(QFont());
  }
  void SetText(const QString& text) {
    text_ = text;
    resize(TagSize(font_, text));
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter dc(this);
    dc.setFont(font_);
    DrawTag(dc, QRect(QPoint(0, 0), size()), text_);
  }

 private:
  QString text_;
  QFont font_;
};

QString Text(std::string_view key) { return CZovSettings::GetInstance()->GetQText(key); }

}  // namespace

std::array<QRect, 3> ZovPaneCells(int arrangement, int width, int height) {
  const QRect whole(0, 0, width, height);
  std::array<QRect, 3> cells{};
  switch (arrangement) {
    case 0:
    case 2:
    case 5:
      cells[0] = whole;
      break;
    case 1:
      return LargeAndOthers(1, width, height);
    case 3:
    case 6:
      cells[1] = whole;
      break;
    case 4:
      return LargeAndOthers(2, width, height);
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

std::vector<std::string> ZovToggleShownChannel(std::vector<std::string> shown, const std::string& key,
                                               size_t most) {
  const auto it = std::find(shown.begin(), shown.end(), key);
  if (it != shown.end()) {
    if (shown.size() > 1) shown.erase(it);
    return shown;
  }
  if (most == 0) return shown;
  if (shown.size() >= most) shown.resize(most - 1);
  shown.push_back(key);
  return shown;
}

QString ZovChannelTitle(const std::string& key) {
  // "rear-2": the second rear camera.
  const size_t dash = key.find('-');
  const std::string kind = key.substr(0, dash);
  const QString name = Text("chan" + kind);
  if (name.isEmpty()) return QString::fromStdString(key);
  return dash == std::string::npos ? name : name + " " + QString::fromStdString(key.substr(dash + 1));
}

bool ZovPaneDoubleClickDue() {
  CZovUiEnv& env = CZovUiEnv::Get();
  const uint64_t now = env.TickMs();
  if (!ZovTicksApart(now, env.lastPaneDoubleClick, kDoubleClickIntervalMs)) return false;
  env.lastPaneDoubleClick = now;
  return true;
}

bool ZovReportPaneDoubleClick(CZovWndManager* directory, int id) {
  if (!ZovPaneDoubleClickDue()) return false;
  if (directory) directory->Send<ZOV_CODE_PANE_DBLCLICK>(kZovLeftTabName, ZovPaneRecord{id}, 0);
  return true;
}

// --- CZovPlayerView ---------------------------------------------------------


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

void CZovPlayerView::SetTitle(const QString& title) {
  title_ = title;
  if (!tag_ && !title.isEmpty()) tag_ = new CZovPaneTag(renderWindow_);
  if (tag_) static_cast<CZovPaneTag*>(tag_)->SetText(title);
  PlaceTag();
  update();
}

void CZovPlayerView::PlaceTag() {
  if (!tag_) return;
  tag_->setPosition(kTagMargin, kTagMargin);
  tag_->setVisible(TagShows());
}

bool CZovPlayerView::TagShows() const {
  const QSize tag = TagSize(TagFont(font()), title_);
  return !title_.isEmpty() && width() >= kTagLeastPaneWidth && width() >= tag.width() + 2 * kTagMargin;
}

void CZovPlayerView::PaintTag(QPainter& dc) {
  if (!TagShows()) return;
  dc.setFont(TagFont(font()));
  DrawTag(dc, QRect(QPoint(kTagMargin, kTagMargin), TagSize(dc.font(), title_)), title_);
}

void CZovPlayerView::SetEnd(ZovPaneEnd end, const QImage& last) {
  end_ = end;
  lastLook_ = end == ZovPaneEnd::kNone ? QImage() : last;
  // The video window covers the pane: it steps aside while the pane draws
  // the last picture and the label itself.
  if (end != ZovPaneEnd::kNone) videoContainer_->hide();
  else if (!stillShown_) videoContainer_->show();
  PlaceTag();
  update();
}

QString CZovPlayerView::EndLabel() const {
  if (end_ == ZovPaneEnd::kNone) return QString();
  const QString name = title_.isEmpty() ? ZovChannelTitle("extra") : title_;
  return Text(end_ == ZovPaneEnd::kEnded ? "chanended" : "chanfailed").arg(name);
}

void CZovPlayerView::FitInto(const QRect& cell) {
  setGeometry(ZovFitPane(cell));
  pictureReady_ = 1;
  update();
}

void CZovPlayerView::SetStill(const uint8_t* bgr, int width, int height) {
  if (width <= 0 || height <= 0) return;
  const size_t bytes = size_t(width) * 3 * size_t(height);
  picture_.assign(bgr, bgr + bytes);
  pictureWidth_ = width;
  pictureHeight_ = height;
  pictureSarNum_ = pictureSarDen_ = 1;
  pictureReady_ = 1;
  ShowStill(nullptr, -1);
}

bool CZovPlayerView::TakeStill(CZovEngine* engine, int channel) {
  ZovStill still;
  if (!engine || !engine->StillOf(channel, &still)) return false;
  picture_ = std::move(still.bgr);  // the previous picture is freed
  pictureWidth_ = still.width;
  pictureHeight_ = still.height;
  pictureSarNum_ = still.sarNum;
  pictureSarDen_ = still.sarDen;
  pictureReady_ = 1;
  ShowStill(engine, channel);
  return true;
}

void CZovPlayerView::ShowStill(CZovEngine* engine, int channel) {
  stillShown_ = true;
  videoContainer_->hide();
  update();
  stillEngine_ = engine;
  stillChannel_ = channel;
  KillTimer(kStillWatchTimer);
  // A still of no engine channel stays until it is dropped.
  if (!engine) return;
  presentedAtStill_ = engine->PresentedCount(channel);
  SetTimer(kStillWatchTimer, kStillWatchMs);
}

void CZovPlayerView::OnStillWatch() {
  if (!stillShown_) {
    KillTimer(kStillWatchTimer);
    return;
  }
  // Still paused on the same picture: keep showing the still.
  if (stillEngine_ && stillChannel_ >= 0 && stillEngine_->PresentedCount(stillChannel_) == presentedAtStill_) return;
  stillShown_ = false;
  KillTimer(kStillWatchTimer);
  if (end_ == ZovPaneEnd::kNone) videoContainer_->show();
}

void CZovPlayerView::DropPicture() {
  picture_.clear();
  picture_.shrink_to_fit();
  pictureWidth_ = 0;
  pictureHeight_ = 0;
  pictureReady_ = 0;
  stillShown_ = false;
  KillTimer(kStillWatchTimer);
  if (end_ == ZovPaneEnd::kNone) videoContainer_->show();
}

QImage CZovPlayerView::PictureImage() const {
  if (picture_.empty()) return QImage();
  return QImage(picture_.data(), pictureWidth_, pictureHeight_, pictureWidth_ * 3, QImage::Format_BGR888).copy();
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

void CZovPlayerView::OnLButtonDblClk(const QPoint&) {
  if (!ZovPaneDoubleClickDue()) return;
  // A small pane becomes the large one; any other double click is the left
  // panel's (video-only mode).
  auto* list = dynamic_cast<CZovPlayerListView*>(parentWidget());
  if (list && list->MakeLarge(ControlId() - kZovPlayerViewIds[0])) return;
  if (directory_) directory_->Send<ZOV_CODE_PANE_DBLCLICK>(kZovLeftTabName, ZovPaneRecord{ControlId()}, 0);
}

void CZovPlayerView::resizeEvent(QResizeEvent* event) {
  videoContainer_->setGeometry(QRect(QPoint(0, 0), event->size()));
  PlaceTag();
  update();
}

void CZovPlayerView::paintEvent(QPaintEvent*) {
  QPainter dc(this);
  const QRect client = rect();
  if (end_ != ZovPaneEnd::kNone) {
    // The window's last look (bars included) stretched to the pane, which
    // has the window's shape; then the label, light on a dark box.
    dc.fillRect(client, Qt::black);
    if (!lastLook_.isNull()) dc.drawImage(client, lastLook_);
    QFont f = font();
    f.setPixelSize(std::clamp(client.height() / 12, kEndLabelLeastPx, kEndLabelMostPx));
    f.setBold(true);
    dc.setFont(f);
    const QFontMetrics metrics(f);
    const int pad = f.pixelSize() / 2;
    const QString label = metrics.elidedText(EndLabel(), Qt::ElideRight, std::max(0, client.width() - 4 * pad));
    QRect box(0, 0, metrics.horizontalAdvance(label) + 2 * pad, metrics.height() + pad);
    box.moveCenter(client.center());
    dc.fillRect(box, QColor(0, 0, 0, 190));
    dc.setPen(QColor(255, 255, 255));
    dc.drawText(box, Qt::AlignCenter, label);
    PaintTag(dc);
    return;
  }
  if (stillShown_ && !picture_.empty()) {
    // The still stands in for the video window; Qt may ask for it again at
    // any time (expose, resize), so it is drawn on every paint, at the same
    // place and shape as the video window draws the playing picture.
    dc.fillRect(client, ZovToQColor(backgroundColor));
    const QRect r = CZovEngine::PictureRect(client.width(), client.height(), pictureWidth_, pictureHeight_,
                                            pictureSarNum_, pictureSarDen_);
    const QImage picture = PictureImage().scaled(r.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    dc.drawImage(r.topLeft(), picture);
    pictureReady_ = 0;
    PaintTag(dc);
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
  if (large_ >= std::min(channelCount_, 3)) large_ = 0;
  MakePanes();
  for (int i = 0; i < channelCount_; ++i) {
    panes_[i]->SetNoFill(true);
    panes_[i]->update();
  }
  // A new recording: every channel plays again until the engine says otherwise.
  ClearEnds();
  TitlePanes();
  active_ = 1;
  if (engine_) SetTimer(kChannelWatchTimer, kChannelWatchMs);
  Layout();
}

void CZovPlayerListView::SetEngine(CZovEngine* engine) {
  engine_ = engine;
  if (engine_ && active_) SetTimer(kChannelWatchTimer, kChannelWatchMs);
  else KillTimer(kChannelWatchTimer);
}

void CZovPlayerListView::WatchChannels() {
  if (!engine_ || !active_) return;
  // The main channel's end is the recording's end, which the play window
  // handles; the others may stop early and leave their pane a label.
  for (int i = 1; i < std::min(channelCount_, 3); ++i) {
    CZovPlayerView* pane = panes_[i].get();
    if (!pane) continue;
    const ZovChannelState state = engine_->ChannelState(i);
    const int64_t now = NowMs();
    if (state != ZovChannelState::kEnded) endedSince_[size_t(i)] = 0;
    else if (endedSince_[size_t(i)] == 0) endedSince_[size_t(i)] = now;
    if (state == ZovChannelState::kPlaying && pane->End() != ZovPaneEnd::kNone) {
      pane->SetEnd(ZovPaneEnd::kNone);  // played again after a seek back
    } else if (state == ZovChannelState::kEnded && pane->End() != ZovPaneEnd::kEnded &&
               now - endedSince_[size_t(i)] >= kEndedLabelDelayMs) {
      pane->SetEnd(ZovPaneEnd::kEnded, engine_->ShownPicture(i, pane->width(), pane->height()).picture);
    } else if (state == ZovChannelState::kFailed && pane->End() != ZovPaneEnd::kFailed) {
      pane->SetEnd(ZovPaneEnd::kFailed);
    }
  }
}

void CZovPlayerListView::ClearEnds() {
  for (auto& pane : panes_)
    if (pane && pane->End() != ZovPaneEnd::kNone) pane->SetEnd(ZovPaneEnd::kNone);
}

void CZovPlayerListView::SetChannelKeys(const std::vector<std::string>& shown, const std::vector<std::string>& all) {
  shownKeys_ = shown;
  allKeys_ = all;
  TitlePanes();
}

void CZovPlayerListView::TitlePanes() {
  for (int i = 0; i < std::min(channelCount_, 3); ++i)
    if (panes_[i]) panes_[i]->SetTitle(size_t(i) < shownKeys_.size() ? ZovChannelTitle(shownKeys_[size_t(i)]) : QString());
}

std::unique_ptr<QMenu> CZovPlayerListView::MakeChannelMenu() {
  if (allKeys_.size() < 2) return nullptr;
  auto menu = std::make_unique<QMenu>(this);
  menu->addSection(Text("chanmenu"));
  for (const std::string& key : allKeys_) {
    QAction* action = menu->addAction(ZovChannelTitle(key));
    action->setCheckable(true);
    action->setChecked(std::find(shownKeys_.begin(), shownKeys_.end(), key) != shownKeys_.end());
    action->setData(QString::fromStdString(key));
    QObject::connect(action, &QAction::triggered, menu.get(), [this, key] {
      const std::vector<std::string> next = ZovToggleShownChannel(shownKeys_, key);
      if (next != shownKeys_ && chooseChannels) chooseChannels(next);
    });
  }
  return menu;
}

void CZovPlayerListView::contextMenuEvent(QContextMenuEvent* event) {
  if (std::unique_ptr<QMenu> menu = MakeChannelMenu()) menu->exec(event->globalPos());
}

bool CZovPlayerListView::MakeLarge(int pane) {
  if (!active_ || (arrangement_ != 1 && arrangement_ != 4)) return false;
  if (pane < 0 || pane >= std::min(channelCount_, 3) || pane == large_ || !panes_[pane]) return false;
  large_ = pane;
  Layout();
  return true;
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
  std::array<QRect, 3> cells = ZovPaneCells(arrangement_, width(), height());
  // The pane made large trades cells with pane 0.
  if ((arrangement_ == 1 || arrangement_ == 4) && large_ > 0 && large_ < 3) std::swap(cells[0], cells[large_]);
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

void CZovPlayerListView::TakeStills() { TakeStills(&CZovEngine::Get()); }

void CZovPlayerListView::TakeStills(CZovEngine* engine) {
  if (panes_[0]) panes_[0]->TakeStill(engine, 0);
  if (panes_[1] && arrangement_ != 0) panes_[1]->TakeStill(engine, 1);
  // The third camera's window does not redraw on an expose either.
  if (panes_[2] && channelCount_ == 3) panes_[2]->TakeStill(engine, 2);
}

void CZovPlayerListView::HideStills() {
  active_ = 0;
  KillTimer(kChannelWatchTimer);
  ClearEnds();
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
  if (message == WM_TIMER && wParam == kChannelWatchTimer) WatchChannels();
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
