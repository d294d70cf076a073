#pragma once
// CPlayDialog: the strip of transport controls under the video (previous,
// play/pause, next, stop, open file, sound, screenshot, seek bar, volume,
// time text, latitude and longitude). It owns playback: it asks the file list
// store which recording is current, opens it through CZovMediaPlay, polls
// position and end twice a second, sends the GPS point of each new second to
// the map panel and the main window, and writes screenshots.
//
// Registered in the window directory as "CPlayDialog".
//
// Threads. Everything here runs on the user-interface thread except the
// start-up thread's body (StartupBody), which only loads the GPS track of the
// file through the store (which may scan the file for a long time) and then
// posts kMsgStartupDone back. The engine, the controls, the timer and every
// directory send are driven from the user-interface thread, so nothing that
// thread does can wait for the start-up thread: there is no lock between
// them. `starting_` and `opening_` are atomics because the busy state is read
// by both.
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QRect>

#include "app/zov_panel_windows.h"
#include "app/zov_play_dialog_transport.h"

class CZovButton;
class CZovFileListStore;
class CZovMediaPlay;
class CZovProcess;
class CZovSettings;
class CZovText;
class CZovWarning;
class CZovWndManager;
class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;

// Directory name of the play window.
inline constexpr const char* kZovPlayDialogName = "CPlayDialog";

class CPlayDialog : public CZovPlayWindowBase {
 public:
  // Private message: the start-up thread has made the file's track current.
  // wParam 1 when there is a recording to open, 0 when nothing is current.
  static constexpr UINT kMsgStartupDone = WM_USER + 3100;
  // Private message: a paused seek has shown its picture; pause again.
  static constexpr UINT kMsgRepause = WM_USER + 3101;
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
  void OnStartupDone(bool haveRecording);
  void OnOpenFileCommand();
  void OnScreenshotCommand();
  void OnSoundCommand();

  // Transport.
  void StartPlaying();
  static void StartupBody(CZovTargetRef self, CZovFileListStore* store, std::string path);
  void OpenCurrent(const std::string& path);
  void OnOpenFailed(int pathCount);
  void Stop(bool resetSeekBar);
  void Pause();
  void Resume();
  void Seek(int value);
  // The Left and Right arrow keys: seeks `seconds` from the position, within
  // the recording; a paused recording shows the new picture and stays paused.
  // A repeat of a held key within kStepRepeatGapMs of the last step is dropped.
  void StepSeek(int seconds, bool repeat);
  // After a seek made while paused: shows the new picture, then pauses again.
  void RepauseAfterSeek();
  void SendGpsTick(int second, int mode);
  void SetPlayLook(bool pauseLook);
  void SetTimeText(const std::string& text);
  void ClearPositionTexts();

  void ShowBusy();
  void HideBusy();
  // Screenshot helpers.
  void ShowShot(const std::string& path);
  std::string AskShotPlace(bool recordingOpen, int positionSeconds);
  bool WriteShot(const std::string& path);

  CZovMediaPlay* m_pMediaPlay = nullptr;
  CZovSettings* settings_ = nullptr;
  CZovWndManager* directory_ = nullptr;
  CZovFileListStore* store_ = nullptr;

  // Controls (children of this window).
  std::vector<std::pair<int, CZovButton*>> buttons_;
  CZovProcess* seekBar_ = nullptr;
  CZovProcess* volume_ = nullptr;
  CZovText* timeText_ = nullptr;
  CZovText* latitudeText_ = nullptr;
  CZovText* longitudeText_ = nullptr;
  CZovWarning* busyPopup_ = nullptr;  // made on first use
  QWidget* videoArea_ = nullptr;

  // Busy state, read by both threads.
  std::atomic<bool> starting_{false};
  std::atomic<bool> opening_{false};

  // User-interface thread only.
  int channelCount_ = 0;
  int lastGpsSecond_ = -1;
  bool initialized_ = false;
  bool soundOff_ = false;
  int seekCount_ = 0;
  std::string playingPath_;
  zov_play::CommandFilter commandFilter_;
  zov_play::SeekTarget seekTarget_;
  int64_t lastStepSeekMs_ = 0;  // when the last arrow-key seek ended
};
