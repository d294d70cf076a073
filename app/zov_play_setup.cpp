#include "app/zov_play_setup.h"

#include <algorithm>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QSpinBox>

#include "engine/zov_engine.h"
#include "shell/zov_settings.h"
#include "shell/zov_version.h"
#include "shell/zov_wnd_manager.h"
#include "ui/zov_button.h"
#include "ui/zov_combo_box.h"
#include "library/zov_file_list_store.h"
#include "library/zov_library_group.h"
#include "ui/zov_mfc_button.h"
#include "ui/zov_text.h"

namespace {

// Section titles: ids (also their rectangles) and text keys.
constexpr int kTitleIds[3] = {10233, 10234, 10235};
constexpr const char* kTitleKeys[3] = {"basesetup", "softserver", "softinfo"};

// Resource ids of the page's look.
constexpr int kDesignRectId = 10109;
constexpr int kBackground = 10232;
constexpr int kTitleBackground = 10236;
constexpr int kTitleText = 10237;
constexpr int kTitleFont = 10238;
constexpr int kLabelRect = 10239;
constexpr int kLabelText = 10242;
constexpr int kLabelFont = 10243;
constexpr int kLanguageRect = 10244;
constexpr int kMapRect = 10245;
constexpr int kUnitRect = 10246;
constexpr int kEditFont = 10249;
constexpr int kUpdateRect = 10250;
constexpr int kButtonFace = 10251;
constexpr int kButtonText = 10253;
constexpr int kButtonFont = 10254;
constexpr int kToggleRect = 10255;
constexpr int kVersionRect = 10256;
constexpr int kVersionText = 10257;
constexpr int kSupportRects[3] = {10260, 10262, 10261};
constexpr int kWarnRect = 10263;
constexpr int kWarningRect = 10264;
constexpr int kSupportText = 10265;
constexpr int kSupportFont = 10266;
constexpr int kSeparator = 10270;
constexpr int kTrackRowRect = 10272;
constexpr int kVersionFontHeight = 20;

// Places fixed by the page's design (pixels).
const QRect kFolderButtonRect(20, 100, 25, 25);
const QRect kFolderEditRect(85, 100, 215, 25);
const QRect kFilePathLabelRect(QPoint(20, 75), QPoint(149, 99));
const QRect kDecodeListRect(300, 220, 140, 20);
// The drive gap row, between the folder and the next section.
const QRect kDriveGapLabelRect(QPoint(20, 129), QPoint(224, 148));
const QRect kDriveGapBoxRect(230, 127, 90, 22);
constexpr int kDriveGapStep = 30;
// The notice keeps this distance from the right edge and is this tall.
constexpr int kWarningRightMargin = 20;
constexpr int kWarningHeight = 100;

// Lines of a drop-down list: every entry shown, without a scroll bar.
constexpr int kMinVisibleEntries = 1;

const std::array<const char*, 3> kChineseLines = {
    "QUELNA 科技有限公司",
    "技术支持：support@quelna.example.net",
    "服务热线：400-000-0000",
};
const std::array<const char*, 3> kEnglishLines = {
    "QUELNA Technology Co., Ltd.",
    "Support: support@quelna.example.net",
    "Service line: +00 00 0000 0000",
};
const std::array<const char*, 3> kOtherLines = {
    "QUELNA Technology",
    "www.quelna.example.net",
    "support@quelna.example.net",
};

ZovRect ToZovRect(const QRect& r) { return {r.left(), r.top(), r.right() + 1, r.bottom() + 1}; }

bool IsEnterKey(const QKeyEvent* key) { return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter; }

}  // namespace

ZovSupportVariant ZovSupportVariantFor(std::string_view name) {
  struct Rule {
    const char* word;
    ZovSupportVariant variant;
  };
  static constexpr Rule kRules[] = {
      {"chineses", ZovSupportVariant::kChinese}, {"english", ZovSupportVariant::kOther},
      {"jap", ZovSupportVariant::kOther},        {"France", ZovSupportVariant::kEnglish},
      {"Deutsch", ZovSupportVariant::kEnglish},  {"Traditional", ZovSupportVariant::kChinese},
      {"korean", ZovSupportVariant::kEnglish},
  };
  for (const Rule& rule : kRules)
    if (name.find(rule.word) != std::string_view::npos) return rule.variant;
  return ZovSupportVariant::kOther;
}

const std::array<const char*, 3>& ZovSupportLines(ZovSupportVariant variant) {
  switch (variant) {
    case ZovSupportVariant::kChinese:
      return kChineseLines;
    case ZovSupportVariant::kEnglish:
      return kEnglishLines;
    default:
      return kOtherLines;
  }
}

std::string ZovFolderWithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

QRect ZovSectionTitleRect(const QRect& design, int clientWidth, int designWidth) {
  if (designWidth <= 0) return design;
  const int top = static_cast<int>(static_cast<long long>(design.top()) * clientWidth / designWidth);
  const int bottom = static_cast<int>(static_cast<long long>(design.bottom() + 1) * clientWidth / designWidth);
  const int right = design.right() + 1 + (clientWidth - designWidth);
  return QRect(QPoint(design.left(), top), QPoint(right - 1, bottom - 1));
}

// --- Creation -------------------------------------------------------------------

CZovPlaySetup::CZovPlaySetup(QWidget* parent) : CZovSetupPageBase(parent) {
  setAcceptDrops(true);
  setFocusPolicy(Qt::ClickFocus);
  chooseFolder = [this](const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(this, title, start, QFileDialog::ShowDirsOnly);
  };
  OnCreate();
  OnInitDialog();
}

CZovPlaySetup::~CZovPlaySetup() {
  if (directory_) directory_->Unregister(kZovPlaySetupName);
}

void CZovPlaySetup::OnCreate() {
  settings_ = CZovSettings::GetInstance();
  const QFont titleFont = settings_->CreateBoldFont(kTitleFont);
  for (int i = 0; i < 3; ++i) {
    titles_[i] = std::make_unique<CZovText>();
    titles_[i]->CreateEx(this, settings_->LoadRect(kTitleIds[i]), settings_->GetQText(kTitleKeys[i]),
                         kTitleIds[i]);
    titles_[i]->text = settings_->GetQText(kTitleKeys[i]);
    titles_[i]->font = titleFont;
    titles_[i]->textColor = settings_->LoadColor(kTitleText);
    titles_[i]->backgroundColor = settings_->LoadColor(kTitleBackground);
  }
  editFont_ = settings_->CreateNormalFont(kEditFont);
  labelFont_ = settings_->CreateNormalFont(kLabelFont);
  companyFont_ = settings_->CreateNormalFont(kSupportFont);
  versionFont_ = settings_->CreateFontOfHeight(kVersionFontHeight);
  buttonFont_ = settings_->CreateNormalFont(kButtonFont);
  directory_ = CZovWndManager::GetInstance();
  directory_->Register(kZovPlaySetupName, this);
}

void CZovPlaySetup::OnInitDialog() {
  design_ = settings_->LoadRect(kDesignRectId).ToQRect();
  background_ = settings_->LoadQColor(kBackground);
  separator_ = settings_->LoadQColor(kSeparator);

  updateButton_ = new CZovMfcButton(this);
  updateButton_->SetFont(&buttonFont_);
  updateButton_->SetFaceColor(settings_->LoadColor(kButtonFace));
  updateButton_->SetTextColor(settings_->LoadColor(kButtonText));
  updateButton_->setText(settings_->GetQText("softup"));
  updateButton_->setGeometry(settings_->LoadRect(kUpdateRect).ToQRect());
  connect(updateButton_, &QAbstractButton::clicked, this, [this] { OnUpdateClicked(); });

  folderButton_ = std::make_unique<CZovButton>();
  folderButton_->LoadImage(kFolderButton);
  folderButton_->CreateEx(this, ToZovRect(kFolderButtonRect), QString(), kFolderButton, 1);
  folderButton_->backgroundColor = settings_->LoadColor(kButtonFace);

  folderEdit_ = new QLineEdit(this);
  folderEdit_->setGeometry(kFolderEditRect);
  folderEdit_->setFont(editFont_);
  folderEdit_->setText(QString::fromStdString(settings_->ScreenshotFolder()));
  // The folder is chosen with the button; typed text would be shown but
  // never stored, so the edit only shows the stored folder.
  folderEdit_->setReadOnly(true);
  folderEdit_->installEventFilter(this);

  // Seconds of the library's drive gap; a change regroups the library in
  // the background (the store's scan stores it).
  driveGapBox_ = new QSpinBox(this);
  driveGapBox_->setObjectName(QString::number(kDriveGapBox));
  driveGapBox_->setGeometry(kDriveGapBoxRect);
  driveGapBox_->setFont(editFont_);
  driveGapBox_->setRange(0, kZovMaxDriveGap);
  driveGapBox_->setSingleStep(kDriveGapStep);
  driveGapBox_->setSuffix(QStringLiteral(" s"));
  driveGapBox_->setKeyboardTracking(false);  // typed digits count once complete
  driveGapBox_->setValue(CZovFileListStore::GetInstance()->DriveGap());
  driveGapBox_->installEventFilter(this);
  connect(driveGapBox_, &QSpinBox::valueChanged, this, [this](int seconds) { OnDriveGapChange(seconds); });

  labelRect_ = settings_->LoadRect(kLabelRect).ToQRect();
  trackRowRect_ = settings_->LoadRect(kTrackRowRect).ToQRect();
  versionRect_ = settings_->LoadRect(kVersionRect).ToQRect();
  warnRect_ = settings_->LoadRect(kWarnRect).ToQRect();
  warningRect_ = settings_->LoadRect(kWarningRect).ToQRect();

  std::vector<QString> languages;
  for (const auto& language : settings_->Languages()) languages.push_back(settings_->GetQText(language.name));
  languageList_ = MakeList(kLanguageList, settings_->LoadRect(kLanguageRect).ToQRect());
  FillList(languageList_, languages, settings_->LanguageIndex());

  mapList_ = MakeList(kMapList, settings_->LoadRect(kMapRect).ToQRect());
  std::vector<std::string> mapNames;
  for (const auto& map : settings_->Maps()) mapNames.push_back(map.name);
  FillList(mapList_, LookedUp(mapNames), settings_->MapIndex());
  rememberedMap_ = settings_->MapIndex();

  std::vector<QString> units;
  for (const auto& unit : settings_->Units()) units.push_back(QString::fromStdString(unit.name));
  unitList_ = MakeList(kUnitList, settings_->LoadRect(kUnitRect).ToQRect());
  FillList(unitList_, units, settings_->UnitIndex());

  trackConnectList_ = MakeList(kTrackConnectList, trackRowRect_);
  playModeList_ = MakeList(kPlayModeList, trackRowRect_);

  // Software decoding at every start, in memory only; the file keeps its value.
  settings_->OverrideDecodeMode(kStartDecodeMode);
  rememberedDecode_ = kStartDecodeMode;
  decodeList_ = MakeList(kDecodeList, kDecodeListRect);
  decodeList_->setFixedHeight(kDecodeListRect.height());
  FillList(decodeList_, LookedUp(settings_->DecodeModes()), settings_->DecodeModeIndex());
  CZovEngine::Get().SetDecodeMode(rememberedDecode_);

  trackToggle_ = std::make_unique<CZovButton>();
  trackToggle_->LoadImage(kTrackToggle);
  trackToggle_->CreateEx(this, settings_->LoadRect(kToggleRect), QString(), kTrackToggle, 2);
  trackToggle_->backgroundColor = settings_->LoadColor(kBackground);
  trackToggle_->stateIndex = settings_->TrackFlag();

  for (QWidget* hidden : std::initializer_list<QWidget*>{trackToggle_.get(), mapList_, unitList_, trackConnectList_,
                                                         playModeList_, decodeList_, updateButton_})
    hidden->hide();
}

CZovComboBox* CZovPlaySetup::MakeList(int id, const QRect& rect) {
  auto* list = new CZovComboBox(this);
  list->setObjectName(QString::number(id));
  list->setFont(editFont_);
  // The rectangle's height is the dropped-down list's; the closed box is
  // one line high.
  list->setGeometry(rect.left(), rect.top(), rect.width(), list->sizeHint().height());
  list->installEventFilter(this);
  connect(list, &QComboBox::activated, this, [this, id](int index) {
    switch (id) {
      case kLanguageList: OnLanguageChange(index); break;
      case kMapList: OnMapChange(index); break;
      case kUnitList: OnUnitChange(index); break;
      case kDecodeList: OnDecodeChange(index); break;
      case kTrackConnectList: OnTrackConnectChange(index); break;
      case kPlayModeList: OnPlayModeChange(index); break;
      default: break;
    }
  });
  return list;
}

void CZovPlaySetup::FillList(CZovComboBox* list, const std::vector<QString>& entries, int selection) {
  list->clear();
  for (const QString& entry : entries) list->addItem(entry);
  // Opened, the list is tall enough for every entry.
  list->setMaxVisibleItems(std::max<int>(kMinVisibleEntries, static_cast<int>(entries.size())));
  list->setCurrentIndex(selection >= 0 && selection < list->count() ? selection : -1);
}

std::vector<QString> CZovPlaySetup::LookedUp(const std::vector<std::string>& names) const {
  std::vector<QString> out;
  for (const auto& name : names) out.push_back(settings_->GetQText(name));
  return out;
}

// --- Window procedure ---------------------------------------------------------

LRESULT CZovPlaySetup::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case ZOVWM_CLICK:
      OnClick(static_cast<int>(wParam));
      return 0;
    case ZOVWM_RELABEL:
      OnRelabel();
      return 0;
    case ZOVWM_MAPCHOICE:
      OnMapChoice(wParam, lParam);
      return 0;
    case ZOVWM_DECODECHOICE:
      OnDecodeChoice(wParam, lParam);
      return 0;
    case ZOVWM_INFO_E:
      OnInfo(static_cast<int>(wParam));
      return 0;
    case WM_KEYUP:  // space released on one of the page's own controls
      if (auto* parent = dynamic_cast<CZovMsgTarget*>(parentWidget())) return parent->SendMessage(message, wParam, lParam);
      return 0;
    default:
      return CZovSetupPageBase::WindowProc(message, wParam, lParam);
  }
}

void CZovPlaySetup::OnClick(int id) {
  if (id == kFolderButton) OnChooseFolder();
  if (id == kTrackToggle) OnTrackToggle();
}

void CZovPlaySetup::OnDriveGapChange(int seconds) { CZovFileListStore::GetInstance()->SetDriveGap(seconds); }

void CZovPlaySetup::OnLanguageChange(int index) {
  settings_->SetLanguage(index);
  directory_->Send<ZOV_CODE_LANGUAGE>(kZovMainWindowName);
  std::vector<std::string> mapNames;
  for (const auto& map : settings_->Maps()) mapNames.push_back(map.name);
  FillList(mapList_, LookedUp(mapNames), settings_->MapIndex());
  FillList(trackConnectList_, LookedUp(settings_->TrackConnects()), settings_->TrackConnectIndex());
  FillList(playModeList_, LookedUp(settings_->PlayModes()), settings_->PlayModeIndex());
  FillList(decodeList_, LookedUp(settings_->DecodeModes()), settings_->DecodeModeIndex());
  update();
}

void CZovPlaySetup::OnMapChange(int index) {
  directory_->Send<ZOV_CODE_MAP>(kZovMainWindowName, ZovChoiceRecord{static_cast<int32_t>(index)});
}

void CZovPlaySetup::OnUnitChange(int index) {
  settings_->SetUnit(index);
  directory_->Send<ZOV_CODE_UNIT>(kZovMapPageName);
}

void CZovPlaySetup::OnDecodeChange(int index) {
  directory_->Send<ZOV_CODE_DECODE_MODE>(kZovMainWindowName, ZovChoiceRecord{static_cast<int32_t>(index)});
}

void CZovPlaySetup::OnTrackConnectChange(int index) {
  settings_->SetTrackConnect(index);
  CZovFileListStore::GetInstance()->SetAllTracks(index != 0);
}

void CZovPlaySetup::OnPlayModeChange(int index) { settings_->SetPlayMode(index); }

void CZovPlaySetup::OnUpdateClicked() {
  // The main window reads the flag while it handles the notice, so it is set
  // first: the very first press already shows the update box.
  userAskedForUpdate_ = 1;
  directory_->Send<ZOV_CODE_UPDATE>(kZovMainWindowName);
}

void CZovPlaySetup::OnChooseFolder() {
  if (!chooseFolder) return;
  const QString picked =
      chooseFolder(settings_->GetQText("setfilepath"), QString::fromStdString(settings_->ScreenshotFolder()));
  if (picked.isEmpty()) return;
  const std::string folder = ZovFolderWithSlash(picked.toStdString());
  settings_->SetScreenshotFolder(folder);
  folderEdit_->setText(QString::fromStdString(folder));
}

void CZovPlaySetup::OnTrackToggle() {
  const int flag = settings_->TrackFlag() ? 0 : 1;
  settings_->SetTrackFlag(flag);
  settings_->SetTrack(flag);
  trackToggle_->stateIndex = flag;
  trackToggle_->update();
  update();
}

void CZovPlaySetup::OnRelabel() {
  for (int i = 0; i < 3; ++i) {
    titles_[i]->text = settings_->GetQText(kTitleKeys[i]);
    titles_[i]->update();
  }
  updateButton_->setText(settings_->GetQText("softup"));
  update();
}

void CZovPlaySetup::OnMapChoice(WPARAM wParam, LPARAM lParam) {
  if (wParam == kZovChoiceAnswer && lParam == kZovChoiceRefused) {
    mapList_->setCurrentIndex(rememberedMap_);
  } else if (lParam == kZovChoiceAccepted) {
    rememberedMap_ = mapList_->currentIndex();
  }
}

void CZovPlaySetup::OnDecodeChoice(WPARAM wParam, LPARAM lParam) {
  if (wParam == kZovChoiceAnswer && lParam == kZovChoiceRefused) {
    decodeList_->setCurrentIndex(rememberedDecode_);
  } else if (lParam == kZovChoiceAccepted) {
    rememberedDecode_ = decodeList_->currentIndex();
  }
  CZovEngine::Get().SetDecodeMode(rememberedDecode_);
}

void CZovPlaySetup::OnInfo(int code) {
  if (code == ZOV_CODE_SHOT_FOLDER) folderEdit_->setText(QString::fromStdString(settings_->ScreenshotFolder()));
}

// --- Keys -----------------------------------------------------------------------

bool CZovPlaySetup::HandlePageKey(QKeyEvent* key, bool released) {
  // Enter would otherwise travel up to the main window, whose Enter ends the
  // program.
  if (IsEnterKey(key)) return true;
  // The space bar is play/pause everywhere: it goes to the parent and no
  // further (the edit's text is only ever set by the folder chooser).
  if (key->key() == Qt::Key_Space) {
    auto* parent = dynamic_cast<CZovMsgTarget*>(parentWidget());
    if (parent && !key->isAutoRepeat()) parent->SendMessage(released ? WM_KEYUP : WM_KEYDOWN, VK_SPACE, 0);
    return true;
  }
  return false;
}

void CZovPlaySetup::keyPressEvent(QKeyEvent* event) {
  if (!HandlePageKey(event, false)) CZovSetupPageBase::keyPressEvent(event);
}

void CZovPlaySetup::keyReleaseEvent(QKeyEvent* event) {
  if (!HandlePageKey(event, true)) CZovSetupPageBase::keyReleaseEvent(event);
}

bool CZovPlaySetup::eventFilter(QObject* watched, QEvent* event) {
  const auto type = event->type();
  if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
    if (HandlePageKey(static_cast<QKeyEvent*>(event), type == QEvent::KeyRelease)) return true;
  }
  return CZovSetupPageBase::eventFilter(watched, event);
}

// --- Dropped files ------------------------------------------------------------

void CZovPlaySetup::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CZovPlaySetup::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CZovPlaySetup::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  event->acceptProposedAction();
  DropFiles(paths);
}

void CZovPlaySetup::DropFiles(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  const int index = CZovFileListStore::GetInstance()->AddDropped(paths);
  if (auto* parent = dynamic_cast<CZovMsgTarget*>(parentWidget()))
    parent->SendMessage(ZOVWM_LISTSELECT, 0, std::max(index, 0));
  if (index >= 0) directory_->Send<ZOV_CODE_PLAY_CURRENT>(kZovPlayDialogName);
}

// --- Painting and layout --------------------------------------------------------

void CZovPlaySetup::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), background_);
  painter.setPen(QPen(separator_, 1));
  for (int i = 1; i < 3; ++i) {
    const int y = titles_[i]->geometry().top() - 1;
    painter.drawLine(0, y, width() - 1, y);
  }
  PaintLabels(painter);
  PaintInformation(painter);
}

void CZovPlaySetup::PaintLabels(QPainter& painter) {
  painter.setFont(labelFont_);
  painter.setPen(settings_->LoadQColor(kLabelText));
  const QRect fromLabel(labelRect_.topLeft(), QSize(width() - labelRect_.left(), labelRect_.height()));
  painter.drawText(fromLabel, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   settings_->GetQText("selectlanguage"));
  // Both labels may run on to the right edge: nothing else sits beside them,
  // and a longer translation is then not cut.
  const QRect pathLabel(kFilePathLabelRect.topLeft(),
                        QSize(std::max(kFilePathLabelRect.width(), width() - kFilePathLabelRect.left()),
                              kFilePathLabelRect.height()));
  painter.drawText(pathLabel, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, settings_->GetQText("filepath"));
  const QFontMetrics metrics(labelFont_);
  painter.drawText(kDriveGapLabelRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   metrics.elidedText(settings_->GetQText("drivegap"), Qt::ElideRight, kDriveGapLabelRect.width()));
}

void CZovPlaySetup::PaintInformation(QPainter& painter) {
  painter.setFont(versionFont_);
  painter.setPen(settings_->LoadQColor(kVersionText));
  const QString version = QStringLiteral("QUELNA.") + QString::fromStdString(CZovVersion::GetInstance()->buildDate);
  painter.drawText(versionRect_, Qt::AlignCenter | Qt::TextSingleLine, version);

  painter.setFont(companyFont_);
  painter.setPen(settings_->LoadQColor(kSupportText));
  const auto& lines = ZovSupportLines(ZovSupportVariantFor(settings_->Texts().CurrentLanguageName()));
  for (int i = 0; i < 3; ++i)
    painter.drawText(settings_->LoadRect(kSupportRects[i]).ToQRect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     QString::fromUtf8(lines[i]));

  painter.drawText(warnRect_, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, settings_->GetQText("warn"));
  QRect notice = warningRect_;
  notice.setRight(width() - kWarningRightMargin - 1);
  notice.setBottom(notice.top() + kWarningHeight - 1);
  painter.drawText(notice, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, settings_->GetQText("warning"));
}

void CZovPlaySetup::resizeEvent(QResizeEvent* event) {
  CZovSetupPageBase::resizeEvent(event);
  for (int i = 0; i < 3; ++i) {
    if (!titles_[i]) continue;
    titles_[i]->setGeometry(
        ZovSectionTitleRect(settings_->LoadRect(kTitleIds[i]).ToQRect(), width(), design_.width()));
  }
}
