#pragma once
// CZovPlaySetup: the settings page of the right panel, shown by the main
// window's panel switch. Three sections titled "basesetup", "softserver" and
// "softinfo": the language list, the screenshot folder (edit and chooser
// button) and the pause that splits the library's drives; the update check
// button; the version line, three company and
// support lines and the notice. The map, unit, decode mode, track connection
// and play mode lists, the track toggle and the update button are created,
// filled and wired, then hidden.
//
// At creation the decode mode is set to software decoding (1) in memory and
// handed to the engine; the settings file keeps its value. Map and decode
// choices go to the main window (codes 2002, 2023), which refuses them while
// a recording plays: it then sends 4029 / 4066 (1, 1) and the page puts its
// list back to the last accepted choice.
//
// Registered as "CZovPlaySetup". Enter is swallowed on the page and its
// controls; the space bar is sent on to the parent (play/pause). Dropped files
// follow the main window's rule, reporting 4052 to the parent.
//
// User-interface thread only; code 2019 arrives through a synchronous send
// from the play window.
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include "platform/zov_window_names.h"
#include "app/zov_panel_windows.h"

class CZovButton;
class CZovComboBox;
class CZovMfcButton;
class CZovSettings;
class CZovText;
class CZovWndManager;
class QLineEdit;
class QSpinBox;

// One of the three fixed company and support variants.
enum class ZovSupportVariant { kChinese, kEnglish, kOther };

// The variant for a language name: the first of "chineses", "english",
// "jap", "France", "Deutsch", "Traditional", "korean" that the name contains
// decides; Chinese for "chineses" and "Traditional", English for "France",
// "Deutsch" and "korean", the other variant for "english", "jap" and names
// with none of the words.
ZovSupportVariant ZovSupportVariantFor(std::string_view languageName);
// The three lines of a variant, in drawing order.
const std::array<const char*, 3>& ZovSupportLines(ZovSupportVariant variant);

// A chosen folder with exactly one trailing "/" (a path that already ends
// with one, such as "/", gets none).
std::string ZovFolderWithSlash(std::string folder);

// A section title's rectangle for a client width: the left edge stays, the
// right edge moves by the width gained over the design width, the top and
// bottom scale by client width / design width.
QRect ZovSectionTitleRect(const QRect& design, int clientWidth, int designWidth);

class CZovPlaySetup : public CZovSetupPageBase {
 public:
  // Control ids.
  static constexpr int kLanguageList = 1031;
  static constexpr int kMapList = 1018;
  static constexpr int kUnitList = 1016;
  static constexpr int kDecodeList = 1035;
  static constexpr int kTrackConnectList = 1039;
  static constexpr int kPlayModeList = 1034;
  static constexpr int kUpdateButton = 1015;
  static constexpr int kFolderEdit = 1017;
  static constexpr int kFolderButton = 10275;
  static constexpr int kTrackToggle = 10271;
  static constexpr int kDriveGapBox = 10276;
  // Dialog template of the page.
  static constexpr int kTemplateId = 106;
  // Decode mode set at every start: software decoding.
  static constexpr int kStartDecodeMode = 1;

  explicit CZovPlaySetup(QWidget* parent);
  ~CZovPlaySetup() override;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  bool UserAskedForUpdate() const override { return userAskedForUpdate_ != 0; }

  // Picks a folder: title, starting folder; empty when cancelled. The
  // default opens the desktop's folder chooser; tests replace it.
  std::function<QString(const QString& title, const QString& start)> chooseFolder;

  // --- Controls and state, for the panels and tests --------------------
  CZovComboBox* LanguageList() const { return languageList_; }
  CZovComboBox* MapList() const { return mapList_; }
  CZovComboBox* UnitList() const { return unitList_; }
  CZovComboBox* DecodeList() const { return decodeList_; }
  CZovComboBox* TrackConnectList() const { return trackConnectList_; }
  CZovComboBox* PlayModeList() const { return playModeList_; }
  CZovMfcButton* UpdateButton() const { return updateButton_; }
  QLineEdit* FolderEdit() const { return folderEdit_; }
  // The longest pause inside a drive, in seconds (the library's setting).
  QSpinBox* DriveGapBox() const { return driveGapBox_; }
  CZovButton* FolderButton() const { return folderButton_.get(); }
  CZovButton* TrackToggle() const { return trackToggle_.get(); }
  CZovText* SectionTitle(int i) const { return titles_[i].get(); }
  int RememberedMap() const { return rememberedMap_; }
  int RememberedDecode() const { return rememberedDecode_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Creation (window creation, then dialog initialisation).
  void OnCreate();
  void OnInitDialog();
  CZovComboBox* MakeList(int id, const QRect& rect);
  void FillList(CZovComboBox* list, const std::vector<QString>& entries, int selection);
  std::vector<QString> LookedUp(const std::vector<std::string>& names) const;

  // Handlers.
  void OnLanguageChange(int index);
  void OnMapChange(int index);
  void OnUnitChange(int index);
  void OnDecodeChange(int index);
  void OnTrackConnectChange(int index);
  void OnPlayModeChange(int index);
  void OnUpdateClicked();
  void OnClick(int id);
  void OnChooseFolder();
  void OnTrackToggle();
  void OnDriveGapChange(int seconds);
  void OnRelabel();
  void OnMapChoice(WPARAM wParam, LPARAM lParam);
  void OnDecodeChoice(WPARAM wParam, LPARAM lParam);
  void OnInfo(int code);
  void DropFiles(const std::vector<std::string>& paths);
  // True (and handled) for the keys the page deals with itself.
  bool HandlePageKey(QKeyEvent* event, bool released);

  // Painting pieces.
  void PaintLabels(QPainter& painter);
  void PaintInformation(QPainter& painter);

  CZovSettings* settings_ = nullptr;
  CZovWndManager* directory_ = nullptr;

  std::array<std::unique_ptr<CZovText>, 3> titles_;
  CZovComboBox* languageList_ = nullptr;  // children of the page
  CZovComboBox* mapList_ = nullptr;
  CZovComboBox* unitList_ = nullptr;
  CZovComboBox* decodeList_ = nullptr;
  CZovComboBox* trackConnectList_ = nullptr;
  CZovComboBox* playModeList_ = nullptr;
  CZovMfcButton* updateButton_ = nullptr;
  QLineEdit* folderEdit_ = nullptr;
  QSpinBox* driveGapBox_ = nullptr;
  std::unique_ptr<CZovButton> folderButton_;
  std::unique_ptr<CZovButton> trackToggle_;

  int rememberedMap_ = 0;
  int rememberedDecode_ = kStartDecodeMode;
  uint8_t userAskedForUpdate_ = 0;

  QColor background_;
  QColor separator_;
  QFont editFont_, labelFont_, companyFont_, versionFont_, buttonFont_;
  QRect design_;
  QRect labelRect_, trackRowRect_, versionRect_, warnRect_, warningRect_;
};
