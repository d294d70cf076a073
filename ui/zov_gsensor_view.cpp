#include "ui/zov_gsensor_view.h"

#include <algorithm>
#include <cmath>

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

#include "library/zov_file_list_store.h"
#include "platform/zov_hand_over.h"
#include "shell/zov_settings.h"
#include "shell/zov_wnd_manager.h"

namespace {

// The play window's background colour: the timeline reads as part of it.
constexpr int kSkinBackground = 10180;
// Legend text colour (the play window's position text).
constexpr int kSkinLegendColour = 10182;
constexpr int kLegendHeight = 15;
constexpr int kFontHeight = 11;
constexpr int kMargin = 4;
constexpr int kMarkSize = 5;
// The graphs' scales never shrink below these, so a slow drive or a calm one
// does not fill the height with noise.
constexpr double kMinSpeedScaleKmh = 30.0;
constexpr double kMinAccelScaleG = 0.6;
constexpr double kKnotsToKmh = 1.852;

QColor Rgb(QRgb rgb, int alpha = 255) {
  QColor c(rgb);
  c.setAlpha(alpha);
  return c;
}

QRgb ShadeOf(const ZovPlanMoment& m) {
  if (!m.playable) return CZovGsensorView::kBrokenShade;
  switch (m.mode) {
    case ZovMode::kEvent:
    case ZovMode::kManual:
      return CZovGsensorView::kEventShade;
    case ZovMode::kLocked:
      return CZovGsensorView::kLockedShade;
    case ZovMode::kParking:
      return CZovGsensorView::kParkingShade;
    default:
      return 0;
  }
}

QRgb MarkColour(ZovMarkKind kind) {
  switch (kind) {
    case ZovMarkKind::kHardBraking:
      return CZovGsensorView::kBrakingColour;
    case ZovMarkKind::kHardAcceleration:
      return CZovGsensorView::kAcceleratingColour;
    default:
      return CZovGsensorView::kImpactColour;
  }
}

// A mark's glyph: braking points down, acceleration up, an impact a diamond.
QPolygon MarkGlyph(ZovMarkKind kind, int x, int y) {
  const int s = kMarkSize;
  if (kind == ZovMarkKind::kHardBraking) return QPolygon({QPoint(x - s, y), QPoint(x + s, y), QPoint(x, y + s)});
  if (kind == ZovMarkKind::kHardAcceleration)
    return QPolygon({QPoint(x - s, y + s), QPoint(x + s, y + s), QPoint(x, y)});
  return QPolygon({QPoint(x, y), QPoint(x + s, y + s / 2 + 1), QPoint(x, y + s + 1), QPoint(x - s, y + s / 2 + 1)});
}

}  // namespace

int ZovTimelineX(int64_t ms, int64_t lengthMs, int left, int width) {
  if (lengthMs <= 0 || width <= 1) return left;
  const int64_t clamped = std::clamp<int64_t>(ms, 0, lengthMs);
  return left + static_cast<int>((clamped * (width - 1) + lengthMs / 2) / lengthMs);
}

int64_t ZovTimelineMs(int x, int64_t lengthMs, int left, int width) {
  if (lengthMs <= 0 || width <= 1) return 0;
  const int64_t along = std::clamp(x - left, 0, width - 1);
  return (along * lengthMs + (width - 1) / 2) / (width - 1);
}

// ---- Life ----------------------------------------------------------------------

CZovGsensorView::CZovGsensorView() = default;

CZovGsensorView::~CZovGsensorView() {
  // The worker hands its result to this object: it ends before the object.
  reader_.reset();
  if (CZovWndManager* d = CZovWndManager::Peek()) d->Unregister(kZovGsensorViewName);
}

bool CZovGsensorView::Create(QWidget* parent) {
  if (!CreateEx(parent, ZovRect{0, 0, 0, kZovTimelineHeight}, QString(), 0, kZovWsChild)) return false;
  backgroundColor = settings()->LoadColor(kSkinBackground);
  font_ = settings()->CreateFontOfHeight(kFontHeight);
  directory_ = CZovWndManager::GetInstance();
  directory_->Register(kZovGsensorViewName, this);
  return true;
}

void CZovGsensorView::SetReadFunction(CZovDriveMotionReader::ReadFn read) {
  read_ = std::move(read);
  reader_.reset();
}

QRect CZovGsensorView::GraphRect() const {
  return QRect(kMargin, kLegendHeight, std::max(2, width() - 2 * kMargin),
               std::max(2, height() - kLegendHeight - 2));
}

int64_t CZovGsensorView::MsAt(int x) const {
  const QRect g = GraphRect();
  return ZovTimelineMs(x, motion_ ? motion_->lengthMs : 0, g.left(), g.width());
}

// ---- Messages ------------------------------------------------------------------

LRESULT CZovGsensorView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == ZOVWM_INFO_E) {
    OnInfo(wParam, lParam);
    return 0;
  }
  if (message == ZOVWM_RELABEL) {
    update();
    return 0;
  }
  return CZovUiBase::WindowProc(message, wParam, lParam);
}

void CZovGsensorView::OnInfo(WPARAM code, LPARAM lParam) {
  if (code == static_cast<WPARAM>(ZOV_CODE_DRIVE)) {
    OnDrive();
  } else if (code == static_cast<WPARAM>(ZOV_CODE_DRIVE_POSITION)) {
    if (auto at = ZovReadRecord<ZOV_CODE_DRIVE_POSITION>(lParam)) OnPosition(at->ms);
  } else if (code == static_cast<WPARAM>(ZOV_CODE_DRIVE_MARKS)) {
    if (auto marks = ZovReadRecord<ZOV_CODE_DRIVE_MARKS>(lParam)) {
      markA_ = marks->a;
      markB_ = marks->b;
      update();
    }
  } else if (code == static_cast<WPARAM>(ZOV_CODE_STOPPED)) {
    Clear();
  }
}

void CZovGsensorView::OnDrive() {
  std::shared_ptr<const ZovDrivePlan> plan = CZovFileListStore::GetInstance()->PlayingDrive();
  if (!plan || plan->moments.empty()) {
    Clear();
    return;
  }
  if (plan == plan_) return;  // the same drive told again: its read goes on
  plan_ = plan;
  // The plan alone gives speed and the GPS-derived acceleration at once; the
  // G-sensor samples follow from the worker.
  motion_ = std::make_shared<const ZovDriveMotion>(ZovBuildDriveMotion(*plan, {}));
  sensorsRead_ = false;
  positionMs_ = 0;
  dragging_ = pendingSeek_ = false;
  const uint64_t generation = ++generation_;
  if (!reader_) reader_ = std::make_unique<CZovDriveMotionReader>(read_);
  reader_->Start(plan, [this, generation](std::shared_ptr<const ZovDriveMotion> motion) {
    // On the worker: the view outlives it (the destructor joins it first).
    ZovInvokeOn(this, [this, generation, motion = std::move(motion)]() mutable {
      OnMotionRead(std::move(motion), generation);
    });
  });
  ShowTimeline(true);
  update();
}

void CZovGsensorView::OnMotionRead(std::shared_ptr<const ZovDriveMotion> motion, uint64_t generation) {
  if (generation != generation_ || !plan_) return;  // a later drive, or stopped
  motion_ = std::move(motion);
  sensorsRead_ = true;
  update();
}

void CZovGsensorView::OnPosition(int64_t ms) {
  if (dragging_ || !motion_) return;  // the pointer places the line while dragging
  const QRect g = GraphRect();
  const int before = ZovTimelineX(positionMs_, motion_->lengthMs, g.left(), g.width());
  const int after = ZovTimelineX(ms, motion_->lengthMs, g.left(), g.width());
  const bool wasShown = positionMs_ >= 0;
  positionMs_ = ms;
  if (before != after || !wasShown) update();
}

void CZovGsensorView::Clear() {
  if (reader_) reader_->Cancel();
  ++generation_;
  plan_.reset();
  motion_.reset();
  sensorsRead_ = false;
  positionMs_ = -1;
  markA_ = markB_ = -1;
  dragging_ = pendingSeek_ = false;
  ShowTimeline(false);
}

void CZovGsensorView::ShowTimeline(bool shown) {
  if (shown == !isHidden()) return;
  setVisible(shown);
  if (onShownChanged) onShownChanged(shown);
}

// ---- Input ---------------------------------------------------------------------

void CZovGsensorView::SendSeek(int64_t ms) {
  pendingSeek_ = false;
  lastSendTick_ = CZovUiEnv::Get().TickMs();
  if (directory_) directory_->Send<ZOV_CODE_SEEK_DRIVE>(kZovPlayDialogName, ZovDriveTimeRecord{ms});
}

void CZovGsensorView::OnLButtonDown(const QPoint& pt) {
  if (!motion_ || motion_->lengthMs <= 0) return;
  dragging_ = true;
  TrackMouseLeave();
  positionMs_ = MsAt(pt.x());
  update();
  SendSeek(positionMs_);
}

void CZovGsensorView::OnMouseMove(const QPoint& pt) {
  if (!dragging_) return;
  positionMs_ = MsAt(pt.x());
  update();
  if (ZovTicksApart(CZovUiEnv::Get().TickMs(), lastSendTick_, kZovTimelineDragSendMs - 1)) {
    SendSeek(positionMs_);
  } else {
    pendingSeek_ = true;
    pendingMs_ = positionMs_;
  }
}

void CZovGsensorView::OnLButtonUp(const QPoint& pt) {
  if (!dragging_) return;
  dragging_ = false;
  positionMs_ = MsAt(pt.x());
  SendSeek(positionMs_);
}

void CZovGsensorView::contextMenuEvent(QContextMenuEvent* event) {
  if (!motion_ || motion_->lengthMs <= 0 || !GraphRect().contains(event->pos())) return;
  const int64_t ms = MsAt(event->pos().x());
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  CZovSettings* s = settings();
  menu->addAction(s->GetQText(kZovTextMarkA), this, [this, ms] { SendMark(int(ZovMarkAction::kSetA), ms); });
  menu->addAction(s->GetQText(kZovTextMarkB), this, [this, ms] { SendMark(int(ZovMarkAction::kSetB), ms); });
  QAction* clear = menu->addAction(s->GetQText(kZovTextMarksClear), this,
                                   [this, ms] { SendMark(int(ZovMarkAction::kClear), ms); });
  clear->setEnabled(markA_ >= 0 || markB_ >= 0);
  menu->popup(event->globalPos());
}

void CZovGsensorView::SendMark(int action, int64_t ms) {
  if (directory_)
    directory_->Send<ZOV_CODE_SET_MARK>(kZovPlayDialogName, ZovDriveMarkRecord{ms, static_cast<ZovMarkAction>(action)});
}

void CZovGsensorView::OnMouseLeave() {
  // A release outside the view is not ours: leaving ends the drag where the
  // pointer was last seen.
  if (!dragging_) return;
  dragging_ = false;
  if (pendingSeek_) SendSeek(pendingMs_);
}

// ---- Drawing -------------------------------------------------------------------

void CZovGsensorView::paintEvent(QPaintEvent*) {
  PaintClient([this](QPainter& dc, const QRect& client) { Draw(dc, client); });
}

void CZovGsensorView::Draw(QPainter& dc, const QRect& client) {
  if (!motion_ || !plan_) return;
  const QRect graph = GraphRect();
  dc.setFont(font_);
  dc.fillRect(graph, QColor(0, 0, 0, 60));
  DrawMoments(dc, graph);
  DrawRange(dc, graph);
  DrawGraphs(dc, graph);
  DrawMarks(dc, graph);
  if (positionMs_ >= 0) {
    const int x = ZovTimelineX(positionMs_, motion_->lengthMs, graph.left(), graph.width());
    dc.fillRect(QRect(x - 1, graph.top(), 2, graph.height()), Rgb(kPositionColour));
  }
  DrawLegend(dc, QRect(client.left() + kMargin, 0, client.width() - 2 * kMargin, kLegendHeight));
}

void CZovGsensorView::DrawMoments(QPainter& dc, const QRect& graph) {
  const int64_t length = motion_->lengthMs;
  const QFontMetrics metrics(font_);
  const QString broken = settings()->GetQText(kZovTextTimelineBroken);
  for (size_t k = 0; k < plan_->moments.size(); ++k) {
    const ZovPlanMoment& m = plan_->moments[k];
    const int x0 = ZovTimelineX(m.offsetMs, length, graph.left(), graph.width());
    const int x1 = std::max(x0 + 1, ZovTimelineX(m.offsetMs + m.lengthMs, length, graph.left(), graph.width()));
    const QRect band(x0, graph.top(), x1 - x0, graph.height());
    if (const QRgb shade = ShadeOf(m)) dc.fillRect(band, Rgb(shade));
    if (!m.playable) {
      // A moment that could not be read: hatched, with the notice when it fits.
      dc.fillRect(band, QBrush(Rgb(kBrakingColour, 110), Qt::BDiagPattern));
      const QString text = metrics.horizontalAdvance(broken) + 4 <= band.width() ? broken : QStringLiteral("!");
      dc.setPen(Rgb(0xFFFFFF));
      dc.drawText(band, Qt::AlignCenter | Qt::TextSingleLine, text);
    }
    if (k > 0) dc.fillRect(QRect(x0, graph.top(), 1, graph.height()), Rgb(kBoundaryColour));
  }
}

void CZovGsensorView::DrawGraphs(QPainter& dc, const QRect& graph) {
  const int64_t length = motion_->lengthMs;
  const double bottom = graph.bottom();
  const double height = graph.height() - 2;
  // Acceleration: a filled area from the bottom.
  double maxG = kMinAccelScaleG;
  for (const ZovAccelPoint& p : motion_->accel) maxG = std::max(maxG, double(p.g));
  dc.setRenderHint(QPainter::Antialiasing, true);
  for (const ZovAccelPoint& p : motion_->accel) {
    const int x = ZovTimelineX(p.ms, length, graph.left(), graph.width());
    const int h = static_cast<int>(std::lround(p.g / maxG * height));
    if (h > 0) dc.fillRect(QRect(x - 1, int(bottom) - h + 1, 2, h), Rgb(kAccelColour, p.measured ? 220 : 150));
  }
  // Speed: a line per track segment, each fix where the nudge puts it
  // against the pictures.
  const int64_t nudge = CZovFileListStore::GetInstance()->CameraClock().gpsNudgeMs;
  double maxKmh = kMinSpeedScaleKmh;
  for (const auto& segment : motion_->speed)
    for (const ZovDrivePoint& p : segment) maxKmh = std::max(maxKmh, p.speedKnots * kKnotsToKmh);
  // The speed keeps the graph's top free for the marks.
  const double speedHeight = height - 2 * kMarkSize;
  dc.setPen(QPen(Rgb(kSpeedColour), 1.5));
  for (const auto& segment : motion_->speed) {
    QPolygonF line;
    for (const ZovDrivePoint& p : segment)
      line << QPointF(ZovTimelineX(p.ms + nudge, length, graph.left(), graph.width()),
                      bottom - p.speedKnots * kKnotsToKmh / maxKmh * speedHeight);
    if (line.size() > 1) dc.drawPolyline(line);
  }
  dc.setRenderHint(QPainter::Antialiasing, false);
}

void CZovGsensorView::DrawRange(QPainter& dc, const QRect& graph) {
  const int64_t length = motion_->lengthMs;
  const int a = markA_ >= 0 ? ZovTimelineX(markA_, length, graph.left(), graph.width()) : -1;
  const int b = markB_ >= 0 ? ZovTimelineX(markB_, length, graph.left(), graph.width()) : -1;
  if (a >= 0 && b >= 0) dc.fillRect(QRect(a, graph.top(), std::max(1, b - a), graph.height()), Rgb(kRangeColour, 50));
  const QFontMetrics metrics(font_);
  for (const auto& [x, letter] : {std::pair{a, QStringLiteral("A")}, std::pair{b, QStringLiteral("B")}}) {
    if (x < 0) continue;
    dc.fillRect(QRect(x - 1, graph.top(), 2, graph.height()), Rgb(kRangeColour));
    dc.setPen(Rgb(kRangeColour));
    dc.drawText(QRect(x + 3, graph.bottom() - metrics.height(), metrics.horizontalAdvance(letter) + 2, metrics.height()),
                Qt::AlignLeft | Qt::AlignBottom, letter);
  }
}

QString CZovGsensorView::ClockText() const {
  if (!plan_ || positionMs_ < 0) return {};
  return QString::fromStdString(
      ZovDriveClockText(*plan_, positionMs_, CZovFileListStore::GetInstance()->CameraClock()));
}

void CZovGsensorView::DrawMarks(QPainter& dc, const QRect& graph) {
  const QFontMetrics metrics(font_);
  int labelEnd = graph.left() - 1;  // labels never overlap: a crowded one is left out
  for (const ZovMotionMark& mark : motion_->marks) {
    const int x = ZovTimelineX(mark.ms, motion_->lengthMs, graph.left(), graph.width());
    dc.setPen(Qt::NoPen);
    dc.setBrush(Rgb(MarkColour(mark.kind)));
    dc.drawPolygon(MarkGlyph(mark.kind, x, graph.top() + 1));
    const QString label = QString::number(mark.peakG, 'f', 2) + QStringLiteral(" g");
    const int w = metrics.horizontalAdvance(label);
    int left = x + kMarkSize + 2;
    if (left + w > graph.right()) left = x - kMarkSize - 2 - w;
    if (left <= labelEnd || left < graph.left()) continue;
    dc.setPen(Rgb(MarkColour(mark.kind)));
    dc.drawText(QRect(left, graph.top(), w + 1, metrics.height()), Qt::AlignLeft | Qt::AlignTop, label);
    labelEnd = left + w + 4;
  }
  dc.setBrush(Qt::NoBrush);
}

std::vector<QString> CZovGsensorView::LegendTexts(const std::function<QString(const char* key)>& text,
                                                  const QString& unitName, bool anyDerived) {
  QString accel = text(kZovTextTimelineAccel) + QStringLiteral(", g");
  if (anyDerived) accel += QStringLiteral(" (") + text(kZovTextTimelineFromGps) + ')';
  const QString speed = text(kZovTextTimelineSpeed) + (unitName.isEmpty() ? QString() : ", " + unitName);
  return {speed, accel, text(kZovTextTimelineBraking), text(kZovTextTimelineAccelerating),
          text(kZovTextTimelineImpact)};
}

namespace {
constexpr int kLegendGap = 12;
int LegendItemWidth(const QFontMetrics& metrics, const QString& text) {
  return 2 * kMarkSize + 4 + metrics.horizontalAdvance(text);
}
}  // namespace

int CZovGsensorView::LegendWidth(const QFont& font, const std::vector<QString>& texts) {
  const QFontMetrics metrics(font);
  int width = 0;
  for (const QString& t : texts) width += (width ? kLegendGap : 0) + LegendItemWidth(metrics, t);
  return width;
}

void CZovGsensorView::DrawLegend(QPainter& dc, const QRect& line) {
  const QFontMetrics metrics(font_);
  const QColor textColour = settings()->LoadQColor(kSkinLegendColour);
  CZovSettings* s = settings();
  const std::vector<QString> texts = LegendTexts([s](const char* key) { return s->GetQText(key); },
                                                 QString::fromStdString(s->UnitName()), motion_->anyDerived);
  const QRgb colours[] = {kSpeedColour, kAccelColour, kBrakingColour, kAcceleratingColour, kImpactColour};
  const int glyphs[] = {-1, -1, int(ZovMarkKind::kHardBraking), int(ZovMarkKind::kHardAcceleration),
                        int(ZovMarkKind::kImpact)};  // -1 a square
  // The clock at the right end; the legend items give way to it.
  const QString clock = ClockText();
  const int clockWidth = clock.isEmpty() ? 0 : metrics.horizontalAdvance(clock) + kLegendGap;
  if (!clock.isEmpty()) {
    dc.setPen(textColour);
    dc.drawText(line, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, clock);
  }
  int x = line.left();
  const int y = line.top() + (line.height() - 2 * kMarkSize) / 2;
  for (size_t i = 0; i < texts.size(); ++i) {
    const int w = LegendItemWidth(metrics, texts[i]);
    if (x + w > line.right() - clockWidth) break;  // what does not fit is left out, in order
    dc.setPen(Qt::NoPen);
    dc.setBrush(Rgb(colours[i]));
    if (glyphs[i] < 0) dc.drawRect(QRect(x, y + 1, 2 * kMarkSize - 2, 2 * kMarkSize - 2));
    else dc.drawPolygon(MarkGlyph(static_cast<ZovMarkKind>(glyphs[i]), x + kMarkSize, y));
    dc.setBrush(Qt::NoBrush);
    dc.setPen(textColour);
    dc.drawText(QRect(x + 2 * kMarkSize + 3, line.top(), w, line.height()),
                Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, texts[i]);
    x += w + kLegendGap;
  }
}
