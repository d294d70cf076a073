#pragma once
// CZovFileListContrl: the add/delete bar of the file list, a small frameless
// popup that the list view places along its bottom edge. Two hand-drawn
// buttons share its width: "add" on the left (template button 1015) and
// "delete" on the right (1003); a click sends ZOVWM_CLICK to the owner with
// wParam 1 (add) or 2 (delete), lParam 0. The captions are looked up in the
// current language at every paint, so they follow a language change.
//
// Threads: user-interface thread only.
#include <memory>

#include <QFont>

#include "platform/zov_wnd.h"

class CZovMfcButton;
class CZovSettings;

class CZovFileListContrl : public CZovWnd {
 public:
  static constexpr int kTemplateId = 180;
  static constexpr int kAddButtonId = 1015;
  static constexpr int kDeleteButtonId = 1003;
  static constexpr int kFaceColor = 10297;
  static constexpr int kTextColor = 10299;
  static constexpr int kFont = 10300;

  CZovFileListContrl();
  ~CZovFileListContrl() override;

  // Creates the popup (hidden) over `owner`, which gets the clicks.
  bool Create(CZovWnd* owner);

  CZovMfcButton* AddButton() const { return add_.get(); }
  CZovMfcButton* DeleteButton() const { return delete_.get(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Report(WPARAM button);
  void PlaceButtons();

  CZovWnd* owner_ = nullptr;
  CZovSettings* settings_ = nullptr;
  std::unique_ptr<CZovMfcButton> add_;
  std::unique_ptr<CZovMfcButton> delete_;
  QFont font_;
};
