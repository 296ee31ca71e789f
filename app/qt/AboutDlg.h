#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// Names the program and shows its file version. The version text is worked
// out once, when the dialog is created; the bold title is measured when the
// dialog is first shown (loading the bold face at start-up shows nothing).
class TAboutDialog : public QDialog {
public:
  explicit TAboutDialog(QWidget* Parent = nullptr);

  QLabel* Label1 = nullptr;
  QLabel* lblVersionString = nullptr;
  QFrame* Bevel1 = nullptr;
  QPushButton* btnOK = nullptr;

protected:
  void showEvent(QShowEvent* Event) override;

private:
  void FormCreate();
  bool FSized = false;
};
