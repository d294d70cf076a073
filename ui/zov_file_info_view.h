#pragma once
// CFileInfoView: the small translucent popup (alpha 240) that lists facts
// about the recording being played and about the machine's video abilities.
// The main window creates it on the first Ctrl+F, then shows and hides it;
// its close button asks the main window (code 10101) to destroy it. The
// machine facts are probed once, at Create; the rows are built at every paint
// from the store's open media and the current language, so they follow a
// language change and the file being played: while shown, a 500 ms timer
// repaints the view when the open recording's facts differ from the drawn
// ones (nothing else tells the view that a recording opened or stopped).
// Any point of the view drags it.
//
// Threads: user-interface thread only. The open media is read without the
// store's lock: the play window replaces it on this same thread.
#include <functional>
#include <memory>
#include <vector>

#include <QColor>
#include <QFont>
#include <QPoint>

#include "platform/zov_window_names.h"
#include "platform/zov_wnd.h"
#include "ui/zov_file_info_rows.h"

class CZovButton;
class CZovSettings;
class CZovWndManager;

class CFileInfoView : public CZovWnd {
 public:
  // Dialog template of the view.
  static constexpr int kTemplateId = 111;
  // Id and PNG of the close button; layout rectangle of its size.
  static constexpr int kCloseId = 10321;
  static constexpr int kCloseSizeRect = 10340;
  // Distance of the close button from the top and the right edge.
  static constexpr int kCloseMargin = 5;
  // Window alpha (of 255).
  static constexpr int kAlpha = 240;
  // While shown, the view looks this often whether the open recording
  // changed (one opened, stopped, its track arrived) and repaints then.
  static constexpr int kRefreshMs = 500;

  CFileInfoView();
  ~CFileInfoView() override;

  // Creates the popup over `parent` (hidden), the fonts, colours and close
  // button, and runs the machine probes. False when already created.
  bool Create(QWidget* parent);

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // What the rows show now.
  std::vector<ZovInfoRow> Rows() const;
  // The media facts of the last paint: what the screen shows.
  const ZovMediaFacts& DrawnMedia() const { return drawn_; }
  const ZovMachineFacts& MachineFacts() const { return machine_; }
  CZovButton* CloseButton() const { return close_.get(); }

  // Where the media facts come from; by default the file list store's open
  // media, current entry and current track. Tests may set another source.
  std::function<ZovMediaFacts()> mediaSource;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void RunProbes();
  ZovMediaFacts CurrentMedia() const;
  std::vector<ZovInfoRow> RowsOf(const ZovMediaFacts& media) const;
  void PlaceCloseButton();
  void OnRefreshTick();
  void OnCloseClicked();

  CZovSettings* settings_ = nullptr;
  CZovWndManager* directory_ = nullptr;
  QFont rowFont_;
  QFont titleFont_;
  QColor background_;
  QColor rowText_;
  QColor titleBackground_;
  QColor titleText_;
  std::unique_ptr<CZovButton> close_;
  ZovMachineFacts machine_;
  ZovMediaFacts drawn_;
  bool created_ = false;
  // Pointer offset from the window's top-left while dragging.
  bool dragging_ = false;
  QPoint dragOffset_;
};

// The media facts of the file list store: its open media, the path of its
// current entry and the current track's point count.
ZovMediaFacts ZovStoreMediaFacts();
