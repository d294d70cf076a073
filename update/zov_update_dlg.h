#pragma once
// CUpdateDlg: the small box in the middle of the main window that tells where
// the update stands ("updating", "updatingfinish", "newestversion"). The main
// window creates it on the first update notice, places it, shows or hides it
// and sets its notice; the box only draws the notice centred above its
// confirm button, and the button hides it (it is not destroyed).
//
// User-interface thread only.
#include <QDialog>
#include <QString>

class QPushButton;
class CZovSettings;

// Control id of the confirm button.
inline constexpr int kZovUpdateConfirmId = 1015;
// The confirm button: its size and its top's distance from the bottom edge.
inline constexpr int kZovUpdateButtonWidth = 80;
inline constexpr int kZovUpdateButtonHeight = 25;
inline constexpr int kZovUpdateButtonLift = 45;
// The notice is centred in the part of the box above this fraction of its height.
inline constexpr double kZovUpdateNoticeFraction = 0.78;

class CUpdateDlg : public QDialog {
 public:
  explicit CUpdateDlg(QWidget* parent);
  ~CUpdateDlg() override;

  // Notice := text, repaint.
  void SetNotice(const QString& text);
  const QString& Notice() const { return notice_; }
  QPushButton* ConfirmButton() const { return confirm_; }

  // The confirm button's place in a client area `width` x `height`.
  static QRect ButtonRect(int width, int height);
  // The rectangle the notice is centred in.
  static QRect NoticeRect(int width, int height);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void OnConfirm();

  QString notice_;
  CZovSettings* settings_ = nullptr;
  QPushButton* confirm_ = nullptr;  // child
};
