#include "ui/zov_file_list_view.h"

#include <algorithm>

#include <QApplication>
#include <QCoreApplication>
#include <QMetaObject>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>

#include "platform/zov_hand_over.h"
#include "shell/zov_settings.h"
#include "shell/zov_wnd_manager.h"
#include "ui/zov_camera_clock_dialog.h"
#include "ui/zov_file_list_contrl.h"
#include "library/zov_file_list_store.h"
#include "library/zov_media_extensions.h"
#include "ui/zov_ui_base.h"
#include "ui/zov_vprocess.h"

namespace {

constexpr int kRowTextFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
// Library rows: moments are indented under their drive; the progress of a
// scan takes this part of the title strip's width, at most this many pixels.
constexpr int kMomentIndent = 14;
constexpr int kProgressMaxWidth = 160;
constexpr int kBadgePadding = 4;

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(sep, start)) != std::string::npos; start = at + 1)
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

// Halfway between a text colour and the list's background: greyed rows
// and the dimmed parts of a row.
QColor Blend(const QColor& text, const QColor& background) {
  return QColor((text.red() + background.red()) / 2, (text.green() + background.green()) / 2,
                (text.blue() + background.blue()) / 2);
}

}  // namespace

QStringList ZovQtNameFilters(const std::string& filter) {
  QStringList filters;
  const std::vector<std::string> parts = Split(filter, '|');
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty()) break;  // "||" ends the list
    filters << QString::fromStdString(parts[i] + " (" + ZovDialogPatterns(parts[i + 1]) + ")");
  }
  return filters;
}

int ZovPlayingScrollOffset(int offset, int index, int rowHeight, int count, int visibleHeight) {
  const int top = index * rowHeight;
  if (top < offset || top > offset + visibleHeight) offset = top;
  const int contentHeight = rowHeight * (count + 2);
  if (contentHeight <= visibleHeight) return 0;
  const int lastRowBottom = rowHeight * count;
  return std::clamp(offset, 0, std::max(0, lastRowBottom - visibleHeight));
}

// ---- Creation --------------------------------------------------------------

CZovFileListView::CZovFileListView() : CZovWnd(nullptr) {}

CZovFileListView::~CZovFileListView() {
  if (store_) store_->SetLibraryListener(nullptr);
  if (directory_) directory_->Unregister(kZovFileListViewName);
}

bool CZovFileListView::Create(QWidget* parent, const QRect& rect) {
  if (initialised_) return false;
  settings_ = CZovSettings::GetInstance();
  store_ = CZovFileListStore::GetInstance();
  directory_ = CZovWndManager::GetInstance();
  setParent(parent);
  LoadLook();
  setAcceptDrops(true);

  scroll_ = std::make_unique<CZovVProcess>();
  scroll_->CreateEx(this, settings_->LoadRect(kScrollRect), QString(), kScrollRect, kZovWsChild);
  scroll_->SetSkin(kScrollUpPng, kScrollDownPng, settings_->LoadColor(kThumbColor));
  scroll_->hide();

  bar_ = std::make_unique<CZovFileListContrl>();
  bar_->Create(this);
  initialised_ = true;
  setGeometry(rect);
  show();
  // The bar is a window of its own: shown now, or with the panel when the
  // panel's window is not on screen yet.
  if (isVisible()) ShowBar();
  else barShownBeforeHide_ = true;
  PlaceBar();
  directory_->Register(kZovFileListViewName, this);
  // The scan thread tells the store's listener; the call is posted here and
  // runs on this thread, where the view is known to be still alive.
  QPointer<CZovFileListView> self(this);
  store_->SetLibraryListener([self] {
    ZovInvokeOn(qApp, [self] { if (self) self->OnLibraryChanged(); });
  });
  return true;
}

void CZovFileListView::LoadLook() {
  titleHeight_ = settings_->LoadRect(kTitleRect).Height();
  rowHeight_ = std::max(1, settings_->LoadRect(kRowRect).Height());
  panelColor_ = settings_->LoadQColor(kPanelColor);
  titleTextColor_ = settings_->LoadQColor(kTitleTextColor);
  listColor_ = settings_->LoadQColor(kListColor);
  rowTextColor_ = settings_->LoadQColor(kRowTextColor);
  selectedFill_ = settings_->LoadQColor(kSelectedFill);
  selectedText_ = settings_->LoadQColor(kSelectedText);
  titleFont_ = settings_->CreateBoldFont(kTitleFont);
  rowFont_ = settings_->CreateNormalFont(kRowFont);
}

// ---- Messages --------------------------------------------------------------

LRESULT CZovFileListView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case ZOVWM_CLICK:
      OnBarClick(wParam);
      return 0;
    case ZOVWM_VSCROLLPOS:
      OnScrollPosition(static_cast<int>(lParam));
      return 0;
    case ZOVWM_LISTSELECT:
      OnListSelect(static_cast<int>(lParam));
      return 0;
    case ZOVWM_LISTLAYOUT:  // the main window moved or changed
      PlaceBar();
      RaiseBar();
      return 0;
    case ZOVWM_RELABEL:  // the title and the bar's captions follow the language
      update();
      bar_->update();
      return 0;
    case ZOVWM_INFO_E:
      OnInfo(wParam, lParam);
      return 0;
    case WM_TIMER:
      if (wParam == kBarTimer) OnBarTimer();
      return 0;
    default:
      return CZovWnd::WindowProc(message, wParam, lParam);
  }
}

void CZovFileListView::OnBarClick(WPARAM button) {
  if (button == kBarAdd) OnAddFiles();
  else if (button == kBarDelete) OnDeleteFiles();
}

void CZovFileListView::OnScrollPosition(int position) {
  scrollOffset_ = position;
  update();
}

void CZovFileListView::OnListSelect(int index) {
  scrollOffset_ = 0;
  Rebuild(index);
  store_->SelectIfNone(selected_);
}

void CZovFileListView::OnInfo(WPARAM code, LPARAM lParam) {
  if (code == static_cast<WPARAM>(ZOV_CODE_PLAYING_INDEX)) {
    if (auto row = ZovReadRecord<ZOV_CODE_PLAYING_INDEX>(lParam)) OnCodePlaying(row->index);
  } else if (code == static_cast<WPARAM>(ZOV_CODE_STOPPED)) {
    playing_ = 0;
  }
}

void CZovFileListView::OnCodePlaying(int index) {
  HighlightOnly(index);
  selected_ = index;
  const int count = static_cast<int>(rows_.size());
  scrollOffset_ = ZovPlayingScrollOffset(scrollOffset_, index, rowHeight_, count, height() - 2 * titleHeight_);
  scroll_->SetPosition(scrollOffset_);
  update();
  playing_ = 1;
  store_->CopyPlayingPaths(&playingPath_);
}

void CZovFileListView::OnBarTimer() {
  if (tickCounter_ == kBarHideTicks) {
    tickCounter_ = 0;
    KillTimer(kBarTimer);
    bar_->hide();
    return;
  }
  ++tickCounter_;
}

// ---- Rows ------------------------------------------------------------------

void CZovFileListView::Rebuild(int selected) {
  if (!initialised_) return;
  const std::vector<ZovListRow> listed = store_->Rows();
  const int count = static_cast<int>(listed.size());
  contentHeight_ = rowHeight_ * (count + 2);
  const bool overflow = contentHeight_ > ListHeight();
  contentWidth_ = 3 * width() - (overflow ? scroll_->width() : 0);
  rows_.clear();
  if (count > 0) {
    if (selected >= count) selected = 0;
    if (selected == 0) scrollOffset_ = 0;
    for (int i = 0; i < count; ++i) {
      const QRect rect(1, i * rowHeight_, contentWidth_ - 1, rowHeight_);
      const ZovListRow& l = listed[static_cast<size_t>(i)];
      rows_.push_back({rect, l.path, l.kind, l.text, l.badge, l.source});
      store_->SetMarked(i, i == selected);
      if (i == selected) {
        store_->SelectIndex(i);
        scrollOffset_ = std::min(scrollOffset_, rect.top());
      }
    }
    selected_ = selected;
  }
  if (overflow && count > 0) {
    scroll_->SetRange(contentHeight_, rowHeight_);
    // The bar's thumb follows the rows' offset (SetRange put it back at 0),
    // and the offset stays within what the bar can reach.
    scroll_->SetPosition(scrollOffset_);
    scrollOffset_ = scroll_->Position();
    scroll_->show();
  } else {
    // Every row fits: none may stay hidden above the top with no bar to
    // scroll back (after a delete or when the panel grows).
    scrollOffset_ = 0;
    scroll_->hide();
  }
  PlaceBar();
  update();
}

int CZovFileListView::WidestRowText() const {
  // Measured on demand: measuring every row at each rebuild costs more than
  // the rebuild itself with thousands of rows.
  const QFontMetrics metrics(rowFont_);
  int widest = 0;
  for (const Row& row : rows_) widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(row.text)));
  return std::min(widest, std::max(0, contentWidth_ - 1));
}

void CZovFileListView::HighlightOnly(int index) {
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i) store_->SetMarked(i, i == index);
}

void CZovFileListView::paintEvent(QPaintEvent*) {
  if (!initialised_) return;
  QPainter painter(this);
  painter.fillRect(rect(), panelColor_);
  painter.setFont(titleFont_);
  painter.setPen(titleTextColor_);
  painter.drawText(QRect(0, 0, width(), titleHeight_), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   settings_->GetQText("filelist"));
  const QRect list(0, titleHeight_, width(), ListHeight());
  painter.fillRect(list, listColor_);
  painter.setClipRect(list);
  painter.setFont(rowFont_);
  const int textWidth = std::max(1, width() - (ScrollBarShown() ? scroll_->width() : 0) - 6);
  // Rows in view: content y from the scroll offset, drawn at y = title height.
  const int first = std::max(0, scrollOffset_ / rowHeight_);
  const int last = std::min(static_cast<int>(rows_.size()) - 1, (scrollOffset_ + ListHeight()) / rowHeight_);
  for (int i = first; i <= last; ++i) {
    const QRect r = rows_[static_cast<size_t>(i)].rect.translated(0, titleHeight_ - scrollOffset_);
    const bool marked = store_->IsMarked(i);
    if (marked) painter.fillRect(r, selectedFill_);
    PaintRow(painter, rows_[static_cast<size_t>(i)], r, marked, textWidth);
  }
  painter.setClipping(false);
  PaintProgress(painter);
}

QColor ZovBadgeColor(const std::string& badge) {
  // Events and locked clips are what a driver looks for first: red; kept
  // by hand: amber; recorded while parked: blue.
  if (badge == "EVENT" || badge == "LOCKED") return QColor(0xd0, 0x3a, 0x32);
  if (badge == "MANUAL") return QColor(0xd8, 0x8a, 0x1c);
  return QColor(0x3a, 0x6e, 0xc8);
}

void CZovFileListView::PaintRow(QPainter& painter, const Row& row, const QRect& r, bool marked,
                                int textWidth) {
  const QFontMetrics metrics(rowFont_);
  const QColor text = marked ? selectedText_ : rowTextColor_;
  const QString label = QString::fromStdString(row.text);
  switch (row.kind) {
    case ZovRowKind::kFile:
      // A path wider than the row shows its start and its file name with
      // "..." between them: cut at the right edge, rows of one long folder
      // would all look alike.
      painter.setPen(text);
      painter.drawText(r, kRowTextFlags, metrics.elidedText(label, Qt::ElideMiddle, textWidth));
      return;
    case ZovRowKind::kDrive: {
      QFont bold = rowFont_;
      bold.setBold(true);
      painter.setFont(bold);
      painter.setPen(text);
      painter.drawText(r, kRowTextFlags, QFontMetrics(bold).elidedText(label, Qt::ElideRight, textWidth));
      painter.setFont(rowFont_);
      return;
    }
    case ZovRowKind::kMoment: {
      const QRect inner = r.adjusted(kMomentIndent, 0, 0, 0);
      painter.setPen(text);
      painter.drawText(inner, kRowTextFlags, label);
      int x = inner.left() + metrics.horizontalAdvance(label) + 2 * kBadgePadding;
      if (!row.badge.empty()) {
        const QString badge = QString::fromStdString(row.badge);
        const QRect box(x, r.top() + 2, metrics.horizontalAdvance(badge) + 2 * kBadgePadding, r.height() - 4);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(ZovBadgeColor(row.badge));
        painter.drawRoundedRect(box, 3, 3);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(Qt::white);
        painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, badge);
        painter.setRenderHint(QPainter::Antialiasing, false);
        x = box.right() + 1 + 2 * kBadgePadding;
      }
      // The card a moment comes from, when moments of several cards meet:
      // dimmed, after the letters and the badge, cut in its middle.
      if (!row.source.empty()) {
        painter.setPen(Blend(text, listColor_));
        const int room = std::max(0, r.left() + textWidth - x);
        painter.drawText(QRect(x, r.top(), room, r.height()), kRowTextFlags,
                         metrics.elidedText(QString::fromStdString(row.source), Qt::ElideMiddle, room));
      }
      return;
    }
    case ZovRowKind::kUnplayable: {
      painter.setPen(Blend(text, listColor_));
      painter.drawText(r.adjusted(kMomentIndent, 0, 0, 0), kRowTextFlags,
                       metrics.elidedText(label, Qt::ElideMiddle, textWidth - kMomentIndent));
      return;
    }
  }
}

QRect CZovFileListView::ProgressRect() const {
  const int w = std::min(kProgressMaxWidth, width() / 2);
  return QRect(width() - w - 4, 0, w, titleHeight_);
}

void CZovFileListView::PaintProgress(QPainter& painter) {
  if (!progress_.scanning) return;
  const QRect area = ProgressRect();
  painter.setFont(rowFont_);
  painter.setPen(titleTextColor_);
  const QString count = QString("%1 / %2").arg(progress_.done).arg(progress_.total);
  const int textWidth = QFontMetrics(rowFont_).horizontalAdvance(count) + 6;
  painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, count);
  // The bar: its outline, filled by the share of recordings read.
  const QRect bar(area.left() + textWidth, area.top() + area.height() / 3, std::max(8, area.width() - textWidth),
                  std::max(3, area.height() / 3));
  painter.setPen(titleTextColor_);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(bar.adjusted(0, 0, -1, -1));
  const double share = progress_.total ? static_cast<double>(progress_.done) / progress_.total : 0.0;
  painter.fillRect(QRect(bar.left() + 1, bar.top() + 1, static_cast<int>((bar.width() - 2) * share), bar.height() - 2),
                   selectedFill_);
}

void CZovFileListView::OnLibraryChanged() {
  progress_ = store_->LibraryProgress();
  RebuildKeepingPlaying(selected_);
  // A dropped card plays its first moment as soon as that is known.
  if (store_->TakePlayRequest()) {
    const int first = store_->FirstMomentIndex();
    if (first >= 0) {
      Rebuild(first);
      SendPlayRequest<ZOV_CODE_PLAY_CURRENT>();
    }
  }
}

// ---- Input -----------------------------------------------------------------

void CZovFileListView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) OnLButtonDown(event->position().toPoint());
  else if (event->button() == Qt::RightButton) OnRButtonDown(event->position().toPoint());
}

void CZovFileListView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) OnLButtonDblClk(event->position().toPoint());
}

void CZovFileListView::OnLButtonDown(const QPoint& pt) {
  if (progress_.scanning && ProgressRect().contains(pt)) {
    store_->CancelLibraryScan();
    return;
  }
  const std::time_t now = secondsClock();
  if (now <= lastPressSecond_ || pt.y() <= titleHeight_) return;
  lastPressSecond_ = now;
  HighlightRowAt(pt);
}

void CZovFileListView::HighlightRowAt(const QPoint& pt) {
  const int y = pt.y() - titleHeight_ + scrollOffset_;
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
    const QRect& r = rows_[static_cast<size_t>(i)].rect;
    const bool inside = y > r.top() && y < r.top() + r.height();
    if (inside) {
      store_->SetMarked(i, true);
      selected_ = i;
    } else if (store_->IsMarked(i)) {
      store_->SetMarked(i, false);
    } else {
      continue;
    }
    update(r.translated(0, titleHeight_ - scrollOffset_));
  }
}

void CZovFileListView::OnLButtonDblClk(const QPoint& pt) {
  // The row double-clicked is the one to play, also when its first press
  // came within the second of an earlier press and so was not handled.
  if (pt.y() > titleHeight_) HighlightRowAt(pt);
  if (selected_ == store_->GetCurrentIndex()) return;
  const size_t at = static_cast<size_t>(selected_);
  if (at < rows_.size() && rows_[at].kind == ZovRowKind::kUnplayable) return;  // never played as black
  store_->SelectIndex(selected_);
  SendPlayRequest<ZOV_CODE_STOPPED>();
}

template <int Code>
void CZovFileListView::SendPlayRequest() {
  directory_->Send<Code>(kZovPlayDialogName);
}

void CZovFileListView::OnRButtonDown(const QPoint& pt) {
  const int y = pt.y() - titleHeight_ + scrollOffset_;
  for (size_t i = 0; pt.y() > titleHeight_ && i < rows_.size(); ++i) {
    const QRect& r = rows_[i].rect;
    if (y > r.top() && y < r.top() + r.height() &&
        (rows_[i].kind == ZovRowKind::kDrive || rows_[i].kind == ZovRowKind::kMoment)) {
      ShowLibraryMenu(i, pt);
      return;
    }
  }
  barRequested_ = barRequested_ ? 0 : 1;
  if (barRequested_) {
    ShowBar();
    SetTimer(kBarTimer, kBarTimerMs);
  } else {
    KillTimer(kBarTimer);
    bar_->hide();
  }
}

void CZovFileListView::ShowLibraryMenu(size_t row, const QPoint& pt) {
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->addAction(settings_->GetQText("cameraclock") + QStringLiteral("…"), this,
                  [this, row] { OpenCameraClock(row); });
  menu->popup(mapToGlobal(pt));
}

void CZovFileListView::OpenCameraClock(size_t row) {
  // A drive row has no path: its first moment (the next row) stands for it.
  std::string path;
  for (size_t i = row; i < rows_.size() && path.empty(); ++i) path = rows_[i].path;
  clockDialog_ = std::make_unique<CZovCameraClockDialog>(this, settings_, store_->CameraClock(),
                                                         store_->DrivePlanOf(path));
  connect(clockDialog_.get(), &QDialog::accepted, this,
          [this] { store_->SetCameraClock(clockDialog_->Clock()); });
  clockDialog_->open();
}

void CZovFileListView::wheelEvent(QWheelEvent* event) {
  if (ScrollBarShown()) QCoreApplication::sendEvent(scroll_.get(), event);
  event->accept();
}

void CZovFileListView::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CZovFileListView::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  event->acceptProposedAction();
  OnDropFiles(paths);
}

void CZovFileListView::OnDropFiles(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  const int index = store_->AddDropped(paths);
  SendMessage(ZOVWM_LISTSELECT, 0, std::max(index, 0));
  if (index >= 0) SendPlayRequest<ZOV_CODE_PLAY_CURRENT>();
}

QFileDialog* CZovFileListView::OpenDialog() {
  if (!openDialog_) {
    openDialog_ = std::make_unique<QFileDialog>(this);
    openDialog_->setFileMode(QFileDialog::ExistingFiles);
    openDialog_->setAcceptMode(QFileDialog::AcceptOpen);
    // A desktop's own dialog shows only the text before the first "(" of a
    // filter; this one shows the filter texts whole.
    openDialog_->setOption(QFileDialog::DontUseNativeDialog);
    openDialog_->setOption(QFileDialog::HideNameFilterDetails);
    // It first opens on the folder of the file in hand (the day's card, as
    // a rule), not wherever the program was started; later it stays where
    // the user left it.
    const std::string folder = store_->CurrentFolder();
    if (!folder.empty()) openDialog_->setDirectory(QString::fromStdString(folder));
  }
  // The texts follow the current language.
  openDialog_->setNameFilters(
      ZovQtNameFilters(ZovOpenFileFilter(settings_->GetText("video"), settings_->GetText("allfile"))));
  return openDialog_.get();
}

QStringList CZovFileListView::RunOpenDialog() {
  if (chooseFiles) return chooseFiles();
  QFileDialog* dialog = OpenDialog();
  if (dialog->exec() != QDialog::Accepted) return {};
  return dialog->selectedFiles();
}

void CZovFileListView::OnAddFiles() {
  const QStringList chosen = RunOpenDialog();
  if (chosen.isEmpty()) return;
  bool duplicate = false;
  for (const QString& path : chosen)
    if (store_->AddFile(path.toStdString()) == kZovAddDuplicate) duplicate = true;
  if (duplicate) CZovUiEnv::Get().NoCaptionBox(settings_->GetQText("same file"));
  const int marked = store_->FirstMarked();
  RebuildKeepingPlaying(marked < 0 ? 0 : marked);
}

void CZovFileListView::OnDeleteFiles() {
  int removedAt = -1;
  for (int i = 0; i < store_->Count();) {
    if (!store_->IsMarked(i)) {
      ++i;
      continue;
    }
    if (playing_ && store_->PathAt(i) == playingPath_) directory_->PostTo(kZovPlayDialogName, ZOVWM_CLICK, kStopButtonId, 0);
    store_->RemoveAt(i);
    removedAt = i;
  }
  if (removedAt >= 0) RebuildKeepingPlaying(removedAt);
}

void CZovFileListView::RebuildKeepingPlaying(int selected) {
  Rebuild(selected);
  // The row highlighted may be another one, but while a file plays it stays
  // the current one: "next" and the end of the file go on from it rather
  // than from a row that was clicked, or from where a deleted row was.
  const int playingIndex = playing_ ? store_->FindIndex(playingPath_) : -1;
  if (playingIndex >= 0) store_->SelectIndex(playingIndex);
}

// ---- Geometry --------------------------------------------------------------

bool CZovFileListView::ScrollBarShown() const { return scroll_ && !scroll_->isHidden(); }

void CZovFileListView::resizeEvent(QResizeEvent* event) {
  CZovWnd::resizeEvent(event);
  if (!initialised_) return;
  const ZovRect place = settings_->LoadRect(kScrollRect);
  scroll_->setGeometry(width() - place.Width(), place.top, place.Width(), std::max(0, height() - place.top));
  RebuildKeepingPlaying(selected_);
}

void CZovFileListView::moveEvent(QMoveEvent* event) {
  CZovWnd::moveEvent(event);
  PlaceBar();
}

void CZovFileListView::showEvent(QShowEvent* event) {
  CZovWnd::showEvent(event);
  WatchPanelWindow();
  // The bar is a window of its own: it comes back with the panel.
  if (bar_ && barShownBeforeHide_) ShowBar();
  barShownBeforeHide_ = false;
  PlaceBar();
}

void CZovFileListView::hideEvent(QHideEvent* event) {
  CZovWnd::hideEvent(event);
  if (bar_ && bar_->isVisible()) {
    barShownBeforeHide_ = true;
    bar_->hide();
  }
}

// The bar is a window of its own over the panel's window. Shown while that
// window is being shown (or made again) it would end up beneath it, so it is
// raised once the event loop runs again, after the window system has put the
// panel's window on screen.
void CZovFileListView::ShowBar() {
  bar_->show();
  PlaceBar();
  QTimer::singleShot(0, this, [this] { RaiseBar(); });
}

void CZovFileListView::RaiseBar() {
  if (bar_ && bar_->isVisible()) bar_->raise();
}

// The panel's window is made again by the toolkit (for instance when a video
// or browser view first appears in it); the new one lies over the bar and no
// longer holds it as its popup. Showing the bar again ties it to the new one.
void CZovFileListView::WatchPanelWindow() {
  QWidget* top = window();
  if (top == watchedWindow_ || top == this) return;
  if (watchedWindow_) watchedWindow_->removeEventFilter(this);
  watchedWindow_ = top;
  top->installEventFilter(this);
}

bool CZovFileListView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == watchedWindow_ && event->type() == QEvent::WinIdChange && bar_ && bar_->isVisible()) {
    bar_->hide();
    QTimer::singleShot(0, this, [this] {
      if (isVisible()) ShowBar();
    });
  }
  return CZovWnd::eventFilter(watched, event);
}

void CZovFileListView::PlaceBar() {
  if (!bar_ || !initialised_) return;
  const QPoint topLeft = mapToGlobal(QPoint(0, 0));
  const QRect place = ZovListBarRect(width(), height(), titleHeight_, ScrollBarShown() ? scroll_->width() : 0);
  bar_->setGeometry(place.translated(topLeft));
}

QRect ZovListBarRect(int width, int height, int barHeight, int scrollWidth) {
  // The bar takes the strip as high as the title at the list's bottom, with
  // a margin inside it, so its buttons' frames show whole above the
  // window's bottom edge and beside the scroll bar.
  const int inset = CZovFileListView::kBarInset;
  return QRect(inset, height - barHeight, std::max(0, width - scrollWidth - 2 * inset),
               std::max(0, barHeight - inset));
}
