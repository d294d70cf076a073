#pragma once
// CPlayDialog: the strip of transport controls under the video (previous,
// play/pause, next, stop, open file, sound, screenshot, seek bar, volume,
// time text, latitude and longitude). It owns playback: it asks the file list
// store which recording is current, opens it through the engine (CZovEngine), polls
// position and end twice a second, sends the GPS point of each new second to
// the map panel and the main window, and writes screenshots. A moment row
// plays its whole drive: the moment's channels together, moment after moment
// (the engine changes moments itself), the seek bar and time on the drive
// clock; the tick makes the playing moment's row and track current.
//
// Registered in the window directory as "CPlayDialog".
//
// Threads. Everything here runs on the user-interface thread. The start-up's
// long part, loading the file's GPS track (the store may scan the whole
// file), runs on the store's loader thread, which posts kMsgStartupDone back;
// the store owns that thread, stops it and joins it at its end. Nothing here
// waits for it: there is no lock between the two.
//
// The last request wins. Every start and stop takes a new serial; what the
// loader, the end of a recording or a failed open post back carries the
// serial it belongs to and is dropped once a later request came. A start
// asked for while another loads replaces it (the store stops the scan in
// progress), so a burst of next/previous clicks ends with the file of the
// last one playing.
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QRect>

#include "platform/zov_message_records.h"
#include "platform/zov_window_names.h"
#include "library/zov_ab_marks.h"
#include "app/zov_panel_windows.h"
#include "app/zov_play_dialog_transport.h"

struct ZovDrivePlan;
class CZovButton;
class CZovExportWindow;
class CZovFileListStore;
class CZovEngine;
class CZovProcess;
class CZovSpeedControl;
class CZovSettings;
class CZovText;
class CZovWarning;
class CZovWndManager;
class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;

class CPlayDialog : public CZovPlayWindowBase {
 public:
  // Private message: the store's loader has made the file's track current.
  // wParam 1 when it did, 0 when the load was stopped; lParam the serial of
  // the start it belongs to.
  static constexpr UINT kMsgStartupDone = WM_USER + 3100;
  // Private message: the recording of start lParam has ended (continuous
  // play) or failed to open; the next file of the list starts.
  static constexpr UINT kMsgPlayNext = WM_USER + 3102;
  // Private message: the store's loader has made the track of the drive's
  // playing moment current (lParam the serial of the start it belongs to).
  static constexpr UINT kMsgMomentTrack = WM_USER + 3103;
  // Skin rectangle of the play window itself.
  static constexpr int kSkinWindowRect = 10163;
  // Skin ids of the window's background and of the position texts' colour.
  static constexpr int kSkinBackground = 10180;
  static constexpr int kSkinPositionColour = 10182;

  explicit CPlayDialog(QWidget* parent = nullptr);
  ~CPlayDialog() override;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // CZovPlayWindowBase
  QRect DesignRect() const override;
  bool IsPlaying() const override;
  // Stops playback and any start in progress (the close command calls it).
  void StopPlayback() override { Stop(true); }
  void SetVideoArea(QWidget* area) override { videoArea_ = area; }

  // What a screenshot writes: the video area as the panes present it, from
  // the views' own pictures (not from the screen). Null when nothing shows.
  QImage VideoAreaPicture() const;
  // The screenshot command's file step: the path written, or none.
  std::optional<std::string> TakeScreenshot();
  // The open-file dialog's result: list the folder, select and play `path`.
  void OpenChosenFile(const std::string& path);
  // The drop handler: add the media files among `paths` and play the first.
  void DropFiles(const std::vector<std::string>& paths);

  bool IsStarting() const { return starting_; }
  bool IsOpening() const { return opening_; }
  int SeekCount() const { return seekCount_; }
  const ZovAbMarks& Marks() const { return marks_; }
  CZovExportWindow* ExportWindow() const { return exportWindow_; }
  QString TimeText() const;
  CZovButton* Button(int id) const;
  CZovProcess* SeekBar() const { return seekBar_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateControls();
  CZovButton* MakeButton(int id, int rectId, int states);
  CZovProcess* MakeSlider(int id, int trackColour, int playedColour, int trackRect, int rectId,
                          int maximum);
  void SetToolTips();
  void Layout();

  // Message handlers.
  void OnClick(int id);
  void OnSlider(UINT message, int id, int value);
  void OnInfo(int code, LPARAM record);
  void OnSpace();
  void OnTick();
  void OnStartupDone(bool loaded, uint64_t serial);
  void OnPlayNext(uint64_t serial);
  void OnOpenFileCommand();
  void OnScreenshotCommand();
  void OnSoundCommand();

  // Transport.
  // Starts the current file; a start in progress is replaced by this one.
  void StartPlaying();
  // Stop, then start the current file (next, previous, a row chosen).
  void Restart();
  // Forgets a start in progress: its load is stopped and its result dropped.
  void CancelStart();
  void OpenCurrent(const std::string& path);
  // Plays the drive that holds the moment row `path`, from that moment: its
  // played channels in the panes, the seek bar and time on the drive clock.
  // False when `path` is no moment's lead (it plays as a file on its own).
  bool OpenDrive(const std::string& path);
  // Opens `plan` at moment `start`, `withinMs` into it, and plays it.
  void StartDrive(std::shared_ptr<const ZovDrivePlan> plan, size_t start, int64_t withinMs);
  // Another choice of cameras (code 2050): the drive again from where it is.
  void OnReplayMoment();
  // The drive went on to another moment: the list's current row, the title
  // and the map's track follow it.
  void FollowMoment(size_t moment);
  // The second within the playing moment of drive time `ms` (the position
  // itself when no drive plays), for the GPS ticks of the moment's track.
  int GpsSecondOf(int64_t ms) const;
  // Tells the map page and the timeline the drive position (a drive only).
  void SendDrivePosition(int64_t ms);
  // The playing moment's length (the recording's when no drive plays).
  int64_t MomentLengthMs() const;
  void OnOpenFailed(int pathCount);
  void Stop(bool resetSeekBar);
  void Pause();
  void Resume();
  void Seek(int value);
  // The Left and Right arrow keys: seeks `seconds` from the position, within
  // the recording; a paused recording shows the new picture and stays paused.
  // A repeat of a held key within kStepRepeatGapMs of the last step is dropped.
  void StepSeek(int seconds, bool repeat);
  void SendGpsTick(int second, int mode);
  void SetPlayLook(bool pauseLook);
  void SetTimeText(const std::string& text);
  void ClearPositionTexts();

  // Picture steps and playback speed: the keys . , [ ] (true when `key` is
  // one of them), the two step buttons and the speed control (ZOVWM_CLICK
  // with +1 or -1: true when `id` is one of them).
  void CreateSpeedControl();
  bool OnPictureKey(int key);
  // The Qt key of a virtual key code the main window passes on (0: none).
  static int PictureKeyOf(WPARAM vk);
  bool OnPictureCommand(int id, int direction);
  // One picture forward (> 0) or back, every pane together; pauses first.
  void StepPicture(int direction);
  // The offered speed `steps` places from the current one.
  void ChangeSpeed(int steps);

  // A-B marks and the export window: the keys A and B (true when `key` is
  // one of them), the timeline's menu (ZOV_CODE_SET_MARK) and Ctrl+E.
  bool OnMarkKey(int key);
  void SetMark(ZovMarkAction action, int64_t ms);
  // The marks belong to the drive (or file) `owner`: another one clears them.
  void TakeMarksFor(const std::string& owner);
  // Shows the marks on the seek bar and tells the timeline.
  void ShowMarks();
  void OnExportCommand();

  void ShowBusy();
  void HideBusy();
  // Screenshot helpers.
  void ShowShot(const std::string& path);
  std::string AskShotPlace(bool recordingOpen, int positionSeconds);
  bool WriteShot(const std::string& path);

  CZovEngine* engine_ = nullptr;
  CZovSettings* settings_ = nullptr;
  CZovWndManager* directory_ = nullptr;
  CZovFileListStore* store_ = nullptr;

  // Controls (children of this window).
  std::vector<std::pair<int, CZovButton*>> buttons_;
  CZovProcess* seekBar_ = nullptr;
  CZovProcess* volume_ = nullptr;
  CZovSpeedControl* speed_ = nullptr;
  CZovText* timeText_ = nullptr;
  CZovText* latitudeText_ = nullptr;
  CZovText* longitudeText_ = nullptr;
  CZovWarning* busyPopup_ = nullptr;  // made on first use
  QWidget* videoArea_ = nullptr;

  // User-interface thread only.
  bool starting_ = false;  // a start waits for its track load
  bool opening_ = false;   // from a start until a stop or a failed open
  uint64_t startSerial_ = 0;  // moves on at every start and stop
  int channelCount_ = 0;
  int lastGpsSecond_ = -1;
  bool initialized_ = false;
  bool soundOff_ = false;
  int seekCount_ = 0;
  std::string playingPath_;
  std::shared_ptr<const ZovDrivePlan> drive_;  // the drive playing; null: a file on its own
  size_t driveMoment_ = 0;                     // its moment the panes show
  ZovAbMarks marks_;        // on the drive clock (the recording's for a file)
  std::string marksOwner_;  // the drive's first moment (or the file) they belong to
  CZovExportWindow* exportWindow_ = nullptr;  // made on the first Ctrl+E, a child
  zov_play::CommandFilter commandFilter_;
  zov_play::SeekTarget seekTarget_;
  int64_t lastStepSeekMs_ = 0;  // when the last arrow-key seek ended
};
