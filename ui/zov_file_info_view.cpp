#include "ui/zov_file_info_view.h"

#include <unistd.h>

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include "shell/zov_settings.h"
#include "shell/zov_wnd_manager.h"
#include "ui/zov_button.h"
#include "ui/zov_file_info_probes.h"
#include "library/zov_file_list_store.h"

namespace {

// Resource ids of the view's look.
constexpr int kRowFont = 10329;
constexpr int kTitleFont = 10327;
constexpr int kBackground = 10323;
constexpr int kRowText = 10328;
constexpr int kTitleBackground = 10325;
constexpr int kTitleText = 10326;
constexpr int kPlacementRect = 10322;

constexpr int kRowFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;

// A row too long for its rectangle loses the middle of its text, not its
// end: the end of a long path is the recording's own name.
QString FittedRow(const QFontMetrics& metrics, const std::string& text, int width) {
  return metrics.elidedText(QString::fromStdString(text), Qt::ElideMiddle, width);
}

int ProcessorCount() {
  const long count = sysconf(_SC_NPROCESSORS_ONLN);
  return count > 0 ? static_cast<int>(count) : 1;
}

}  // namespace

CFileInfoView::CFileInfoView() : CZovWnd(nullptr) { mediaSource = ZovStoreMediaFacts; }

CFileInfoView::~CFileInfoView() = default;

bool CFileInfoView::Create(QWidget* parent) {
  if (created_) return false;
  created_ = true;
  settings_ = CZovSettings::GetInstance();
  // A frameless window of its own that stays over the main window.
  setParent(parent, Qt::Tool | Qt::FramelessWindowHint);
  setWindowOpacity(kAlpha / 255.0);
  const ZovRect place = settings_->LoadRect(kPlacementRect);
  resize(place.Width(), place.Height());
  rowFont_ = settings_->CreateNormalFont(kRowFont);
  titleFont_ = settings_->CreateBoldFont(kTitleFont);
  background_ = settings_->LoadQColor(kBackground);
  rowText_ = settings_->LoadQColor(kRowText);
  titleBackground_ = settings_->LoadQColor(kTitleBackground);
  titleText_ = settings_->LoadQColor(kTitleText);
  close_ = std::make_unique<CZovButton>();
  close_->LoadImage(kCloseId);
  close_->CreateEx(this, settings_->LoadRect(kCloseSizeRect), QString(), kCloseId);
  close_->show();
  directory_ = CZovWndManager::GetInstance();
  RunProbes();
  PlaceCloseButton();
  auto* refresh = new QTimer(this);
  refresh->setInterval(kRefreshMs);
  QObject::connect(refresh, &QTimer::timeout, this, [this] { OnRefreshTick(); });
  refresh->start();
  return true;
}

void CFileInfoView::OnRefreshTick() {
  if (isVisible() && !(CurrentMedia() == drawn_)) update();
}

void CFileInfoView::RunProbes() {
  const ZovGlProbe gl = ZovProbeOpenGl();
  machine_.adapter = gl.renderer;
  machine_.shaderSupport = gl.shaderOk ? "YES" : "NO";
  const ZovHwProfileLists lists = ZovBuildHwProfileLists(ZovQueryVaapiProfiles());
  machine_.h264List = lists.h264;
  machine_.hevcList = lists.hevc;
  machine_.systemText = ZovSystemText(ZovReadPrettyName(), ProcessorCount());
}

LRESULT CFileInfoView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case ZOVWM_CLICK:
      if (wParam == kCloseId) OnCloseClicked();
      return 0;
    case ZOVWM_RELABEL:
      update();
      return 0;
    default:
      return CZovWnd::WindowProc(message, wParam, lParam);
  }
}

void CFileInfoView::OnCloseClicked() {
  if (directory_) directory_->Send<ZOV_CODE_CLOSE_FILEINFO>(kZovMainWindowName);
}

ZovMediaFacts CFileInfoView::CurrentMedia() const { return mediaSource ? mediaSource() : ZovMediaFacts{}; }

std::vector<ZovInfoRow> CFileInfoView::RowsOf(const ZovMediaFacts& media) const {
  CZovSettings* settings = settings_ ? settings_ : CZovSettings::GetInstance();
  return ZovFileInfoRows(media, machine_, [settings](std::string_view key) { return settings->GetText(key); });
}

std::vector<ZovInfoRow> CFileInfoView::Rows() const { return RowsOf(CurrentMedia()); }

void CFileInfoView::paintEvent(QPaintEvent* event) {
  if (!settings_) return;
  const ZovMediaFacts media = CurrentMedia();
  // Only a paint of the whole view puts every row on the screen; after a
  // partial one (under the close button) the refresh tick repaints it all.
  if (event->region().contains(rect())) drawn_ = media;
  QPainter painter(this);
  painter.fillRect(rect(), background_);
  painter.setFont(rowFont_);
  painter.setPen(rowText_);
  for (const ZovInfoRow& row : RowsOf(media)) {
    const QRect place = settings_->LoadRect(row.rectId).ToQRect();
    painter.drawText(place, kRowFlags, FittedRow(painter.fontMetrics(), row.text, place.width()));
  }
  QRect title = settings_->LoadRect(kZovInfoTitleRect).ToQRect();
  title.setLeft(0);
  painter.fillRect(title, titleBackground_);
  painter.setFont(titleFont_);
  painter.setPen(titleText_);
  painter.drawText(title, kRowFlags, settings_->GetQText("mediainfo"));
}

void CFileInfoView::resizeEvent(QResizeEvent* event) {
  CZovWnd::resizeEvent(event);
  PlaceCloseButton();
}

void CFileInfoView::PlaceCloseButton() {
  if (!close_ || !settings_) return;
  const ZovRect size = settings_->LoadRect(kCloseSizeRect);
  close_->setGeometry(width() - kCloseMargin - size.Width(), kCloseMargin, size.Width(), size.Height());
}

void CFileInfoView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragging_ = true;
  dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CFileInfoView::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_ && (event->buttons() & Qt::LeftButton))
    move(event->globalPosition().toPoint() - dragOffset_);
}

void CFileInfoView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragging_ = false;
}

ZovMediaFacts ZovStoreMediaFacts() {
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  return ZovMediaFactsOf(store->OpenMedia(), store->GetCurrentPath(), store->CurrentPointCount());
}
