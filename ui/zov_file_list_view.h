#pragma once
// CZovFileListView: the play list panel under the map. One row per file of
// CZovFileListStore (its full path), a title strip "filelist", a vertical
// scroll bar (CZovVProcess) shown when the rows overflow, and the add/delete
// bar CZovFileListContrl, a small popup along the panel's bottom edge that a
// right-click toggles and that hides itself after 11 seconds. A right-click
// on a drive or moment row opens the library's menu instead ("Camera clock").
//
//   click          highlights a row (at most one press handled per second)
//   double-click   makes the highlighted file current and asks "CPlayDialog"
//                  to play it (code 2010)
//   wheel          goes to the scroll bar: one notch scrolls one row
//   drop           adds the media files, selects the first dropped one and
//                  asks "CPlayDialog" to play it (code 2018)
//   bar "add"      multi-selection open dialog; duplicates give one box
//   bar "delete"   removes the highlighted files, stopping the playing one first
//
// Library rows (a dropped folder, read in the background): a drive row in
// bold, its moments indented with their channel letters and a badge for a
// mode that is not normal, and files that cannot play greyed with their
// reason (a double-click does not play them). While the scan runs, the
// title strip shows "done / total" and a bar; a click on them cancels it.
//
// Messages (WindowProc): ZOVWM_CLICK from the bar (1 add, 2 delete),
// ZOVWM_VSCROLLPOS from the scroll bar, ZOVWM_LISTSELECT (lParam = index),
// ZOVWM_LISTLAYOUT (re-place the bar), ZOVWM_RELABEL (repaint), ZOVWM_INFO_E codes 2031 (playing:
// its store index) and 2010 (stopped), WM_TIMER 1 (bar auto-hide).
// Registered in the window directory as "CZovFileListView".
//
// Rows are laid out in content coordinates (row i spans i*rowHeight to
// (i+1)*rowHeight, the content is count+2 rows tall) and painted from the
// row records for the part the scroll offset shows, so memory does not grow
// with the length of the list.
//
// Threads: user-interface thread only. The store is any-thread.
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QRect>
#include <QStringList>

#include "platform/zov_window_names.h"
#include "library/zov_library_model.h"
#include "platform/zov_wnd.h"

class CZovFileListContrl;
class CZovFileListStore;
class CZovSettings;
class CZovVProcess;
class CZovWndManager;
class QFileDialog;
class CZovCameraClockDialog;

// The open dialog's filter (ZovOpenFileFilter of library/zov_media_extensions.h)
// as Qt name filters: "text (patterns separated by spaces)"
// per pair; the dialog hides the parenthesised part, so the text shows as is.
QStringList ZovQtNameFilters(const std::string& filter);

// Scroll offset that shows row `index` when the playing file changes: the row's
// top when the row lies outside offset..offset+visible; 0 when the whole
// content fits; never past the point where space shows below the last row.
int ZovPlayingScrollOffset(int offset, int index, int rowHeight, int count, int visibleHeight);

class CZovFileListView : public CZovWnd {
 public:
  static constexpr int kTemplateId = 113;
  // Layout and look (resource ids).
  static constexpr int kTitleRect = 10285;
  static constexpr int kRowRect = 10290;
  static constexpr int kScrollRect = 10301;  // also the scroll bar's control id
  static constexpr int kScrollUpPng = 10281;
  static constexpr int kScrollDownPng = 10282;
  static constexpr int kThumbColor = 10305;
  static constexpr int kPanelColor = 10286;
  static constexpr int kTitleTextColor = 10287;
  static constexpr int kTitleFont = 10288;
  static constexpr int kListColor = 10284;
  static constexpr int kRowFont = 10292;
  static constexpr int kRowTextColor = 10291;
  static constexpr int kSelectedFill = 10294;
  static constexpr int kSelectedText = 10293;
  // Bar buttons as the bar reports them.
  static constexpr int kBarAdd = 1;
  static constexpr int kBarDelete = 2;
  // Timer of the bar's auto-hide: one tick a second, hidden on the tick after 11.
  static constexpr UINT kBarTimer = 1;
  static constexpr UINT kBarTimerMs = 1000;
  static constexpr int kBarHideTicks = 11;
  // Margin between the Add/Delete bar and the list's edges.
  static constexpr int kBarInset = 4;
  // Play window button that stops playback.
  static constexpr WPARAM kStopButtonId = 10154;

  struct Row {
    QRect rect;  // content coordinates
    std::string path;
    ZovRowKind kind = ZovRowKind::kFile;
    std::string text;   // what the row shows (file rows: the path)
    std::string badge;  // moment rows: the mode when not normal
    std::string source; // moment rows: the card that tells it apart, or ""
  };

  CZovFileListView();
  ~CZovFileListView() override;

  // Creates the panel as a child of `parent` at `rect`, with its scroll bar
  // and bar, and registers it. False when already created.
  bool Create(QWidget* parent, const QRect& rect);

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Lays the rows out again from the store, highlighting `selected` (row 0
  // when it names no row) and making it current in the store.
  void Rebuild(int selected);
  // Rebuild, after which the file that plays (if still listed) stays the
  // store's current entry: used when the list changes under playback
  // (add, delete, panel size), not when a row is chosen to be played.
  void RebuildKeepingPlaying(int selected);

  // State, for the owner and for tests.
  int ScrollOffset() const { return scrollOffset_; }
  int SelectedIndex() const { return selected_; }
  bool Playing() const { return playing_ != 0; }
  const std::string& PlayingPath() const { return playingPath_; }
  int TitleHeight() const { return titleHeight_; }
  int RowHeight() const { return rowHeight_; }
  int ContentHeight() const { return contentHeight_; }
  // Width of the widest row text, at most the content width - 1.
  int WidestRowText() const;
  const std::vector<Row>& Rows() const { return rows_; }
  // Where the scan's progress shows in the title strip (and a click cancels).
  QRect ProgressRect() const;
  CZovVProcess* ScrollBar() const { return scroll_.get(); }
  CZovFileListContrl* Bar() const { return bar_.get(); }
  CZovCameraClockDialog* ClockDialog() const { return clockDialog_.get(); }
  bool BarRequested() const { return barRequested_ != 0; }
  int BarTicks() const { return tickCounter_; }

  // Hooks: the calendar clock of the one-press-per-second rule, and the open
  // dialog (returns the chosen paths; empty when cancelled).
  std::function<std::time_t()> secondsClock = [] { return std::time(nullptr); };
  std::function<QStringList()> chooseFiles;
  // The open dialog of the bar's "add" (made on first use and kept), with
  // its filters set in the current language.
  QFileDialog* OpenDialog();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void LoadLook();
  // Message handlers.
  void OnBarClick(WPARAM button);
  void OnScrollPosition(int position);
  void OnListSelect(int index);
  void OnInfo(WPARAM code, LPARAM record);
  void OnCodePlaying(int index);
  void OnBarTimer();
  // The library changed or its scan moved on (posted by the store's listener).
  void OnLibraryChanged();
  void PaintProgress(QPainter& painter);
  void PaintRow(QPainter& painter, const Row& row, const QRect& r, bool marked, int textWidth);
  // Input handlers.
  void OnLButtonDown(const QPoint& pt);
  void OnLButtonDblClk(const QPoint& pt);
  // Highlights the row at `pt` (panel coordinates), unmarking the others.
  void HighlightRowAt(const QPoint& pt);
  void OnRButtonDown(const QPoint& pt);
  // A right click on a drive or moment row: the library's own menu.
  void ShowLibraryMenu(size_t row, const QPoint& pt);
  void OpenCameraClock(size_t row);
  void OnDropFiles(const std::vector<std::string>& paths);
  void OnAddFiles();
  void OnDeleteFiles();

  // Highlights row `index` and unmarks every other row (click and code 2031).
  void HighlightOnly(int index);
  int ListHeight() const { return height() - titleHeight_; }
  bool ScrollBarShown() const;
  void PlaceBar();
  void ShowBar();
  void RaiseBar();
  void WatchPanelWindow();
  bool eventFilter(QObject* watched, QEvent* event) override;
  QStringList RunOpenDialog();
  template <int Code>
  void SendPlayRequest();

  CZovSettings* settings_ = nullptr;
  CZovWndManager* directory_ = nullptr;
  CZovFileListStore* store_ = nullptr;
  std::unique_ptr<CZovVProcess> scroll_;
  std::unique_ptr<CZovFileListContrl> bar_;
  std::unique_ptr<QFileDialog> openDialog_;
  std::unique_ptr<CZovCameraClockDialog> clockDialog_;
  QPointer<QWidget> watchedWindow_;  // the panel's top-level window

  // Layout and look.
  int titleHeight_ = 0;
  int rowHeight_ = 0;
  int contentHeight_ = 0;
  int contentWidth_ = 0;
  QColor panelColor_, titleTextColor_, listColor_, rowTextColor_, selectedFill_, selectedText_;
  QFont titleFont_, rowFont_;

  std::vector<Row> rows_;
  int32_t scrollOffset_ = 0;
  int32_t selected_ = 0;
  bool initialised_ = false;
  int32_t playing_ = 0;
  std::string playingPath_;
  int32_t barRequested_ = 0;
  int32_t tickCounter_ = 0;
  bool barShownBeforeHide_ = false;
  std::time_t lastPressSecond_ = 0;
  CZovLibraryScanner::Progress progress_;  // as of the last notification
};

// The Add/Delete bar's place in a list `width` x `height` (list pixels): the
// bottom strip `barHeight` high, inset by kBarInset at the sides and the
// bottom, left of a scroll bar `scrollWidth` wide (0 when hidden).
QRect ZovListBarRect(int width, int height, int barHeight, int scrollWidth);

// The badge colour of a mode ("EVENT", "LOCKED" ...) in the play list.
QColor ZovBadgeColor(const std::string& badge);
