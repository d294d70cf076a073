#pragma once
// CZovPlayDlg: the program's one top-level window. Frameless; it paints its
// own title strip (title text and the 2-pixel download bar) with four title
// buttons (10101 close, 10102 panel switch, 10103 maximise/restore, 10104
// minimise) and holds the two panels below the strip: CZovLeftTab (video
// panes and play window) and CZovRightTab (map page or setup page).
//
// It owns the application-wide shortcuts Ctrl+T/I/O/G/F, the dropped files,
// the network check that starts the update check (timer 1, every 30 s), the
// update notices (code 2009, progress 2008) and the update box CUpdateDlg,
// and the file information window (Ctrl+F).
//
// Two ends: the close command (10101) stops playback and ends the process
// at once with exit code 0 (OnOK); Esc and the window manager's close end the
// modal run (OnCancel) and the start-up's shutdown list follows.
//
// Registered as "CZovPlayDlg". User-interface thread only; codes 2008 and
// 2009 arrive through synchronous sends from the update client's threads.
#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

#include "platform/zov_window_names.h"
#include "platform/zov_wnd.h"

class QEventLoop;
class QShortcut;
class CUpdateDlg;
class CZovButton;
class CZovLeftTab;
class CZovRightTab;
class CZovSettings;
class CZovVersion;
class CZovWndManager;
class UpdateClient;

// Title button commands (ZOVWM_CLICK wParam).
inline constexpr int kZovCmdClose = 10101;
inline constexpr int kZovCmdPanelSwitch = 10102;
inline constexpr int kZovCmdMaximise = 10103;
inline constexpr int kZovCmdMinimise = 10104;
// Posted to itself on a double click of the background; nothing acts on it.
inline constexpr int kZovCmdCaptionDoubleClick = 10156;

// Network check timer: id and period.
inline constexpr UINT kZovNetTimerId = 1;
inline constexpr UINT kZovNetTimerMs = 30000;

// Results of the modal run.
inline constexpr int kZovIdOk = 1;
inline constexpr int kZovIdCancel = 2;

class CZovPlayDlg : public CZovWnd {
 public:
  CZovPlayDlg();
  ~CZovPlayDlg() override;

  // Dialog initialisation: panels, title buttons, skin values, directory
  // entry, shortcuts, placement, timer 1. Called once by DoModal (tests may
  // call it and show the window themselves).
  void Create();
  // Creates, shows and runs the window until the modal run ends; returns
  // kZovIdCancel after Esc or the window manager's close.
  int DoModal();
  // Ends the modal run with `result`.
  void EndModal(int result);

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The OK action: ends the process at once with exit code 0. Tests replace
  // the ending (the default calls std::exit(0)).
  std::function<void(int)> exitProcess;

  // Files named on the command line: treated as one drop once the modal run
  // has shown the window (OpenStartFiles).
  void SetStartFiles(std::vector<std::string> files) { startFiles_ = std::move(files); }
  void OpenStartFiles();

  // --- State, for the panels and tests ---------------------------------
  CZovLeftTab* LeftTab() const { return leftTab_; }
  CZovRightTab* RightTab() const { return rightTab_; }
  CUpdateDlg* UpdateWindow() const { return updateWindow_; }
  CZovWnd* FileInfoWindow() const { return fileInfo_; }
  // Title button of command `id` (10101..10104), or null.
  CZovButton* TitleButton(int id) const;
  const QString& TitleText() const { return titleText_; }
  bool RightShown() const { return rightShown_ != 0; }
  int PanelSwitchState() const { return panelSwitch_; }
  bool Maximised() const { return maximised_ != 0; }
  bool ProgressShown() const { return progressShown_ != 0; }
  int ProgressPercent() const { return progressPercent_; }
  int SplitX() const { return split_; }
  int StripHeight() const { return strip_.height(); }
  bool Closing() const { return closing_ != 0; }
  int NetTicks() const { return netTicks_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Initialisation steps.
  void LoadSkin();
  void CreateTitleButtons();
  void CreateShortcuts();
  void PlaceInitially();
  // The least client size that keeps every control whole (the window's minimum size).
  QSize MinimumClientSize() const;

  // Handlers of the window procedure.
  void OnCommand(int id);
  void OnClose();
  void OnPanelSwitch();
  void OnMaximise();
  void OnShowRight(bool show);
  void OnVideoOnly(bool restore);
  void OnInfo(int code, LPARAM record);
  void OnTitleText(const std::u16string& text);
  // Where the title text goes: from its design place to just before the
  // leftmost title button.
  QRect TitleTextRect() const;
  void OnProgress(uint32_t done, uint32_t total);
  void OnMapChoice(int index);
  void OnDecodeChoice(int index);
  void OnUpdateNotice();
  void OnTimer(UINT id);
  void OnHotKey(int id);
  void ToggleFileInfo();
  void CloseFileInfo();
  void DropFiles(const std::vector<std::string>& paths);

  void Layout();
  void PlaceRightPanel();
  void ShowTitleButtons(bool show);
  bool CheckNetwork();
  bool PlayWindowPlaying() const;
  void OnOK();
  void OnCancel();

  CZovWndManager* directory_ = nullptr;
  CZovVersion* version_ = nullptr;
  CZovSettings* settings_ = nullptr;
  CZovLeftTab* leftTab_ = nullptr;         // child, owned
  CZovRightTab* rightTab_ = nullptr;       // child, owned
  CZovWnd* fileInfo_ = nullptr;            // owned, made on the first Ctrl+F
  CUpdateDlg* updateWindow_ = nullptr;     // owned, made on the first update notice
  UpdateClient* updateClient_ = nullptr;
  std::vector<std::pair<int, QShortcut*>> shortcuts_;  // id, child
  // The four title buttons, in the order of kTitleButtons (zov_play_dlg.cpp).
  std::array<std::unique_ptr<CZovButton>, 4> titleButtons_;

  QString titleText_;
  QColor stripColour_, textColour_, progressColour_;
  QFont titleFont_;
  QRect design_;       // rectangle 10106: the designed size
  QRect strip_;        // rectangle 10111: the strip height
  QRect titleRect_;    // rectangle 10115: where the title text goes
  int split_ = 0;
  int lastWidth_ = 0;
  QRect leftRect_;
  int initialised_ = 0;
  int rightShown_ = 1;
  int panelSwitch_ = 0;
  int maximised_ = 0;
  int fileInfoShown_ = 0;
  int progressShown_ = 0;
  int progressPercent_ = 0;
  int userAsked_ = 0;
  int closing_ = 0;
  int netTicks_ = 0;
  std::mutex timerLock_;  // guards the network check

  std::vector<std::string> startFiles_;
  QEventLoop* modalLoop_ = nullptr;
  int modalResult_ = kZovIdCancel;
};
