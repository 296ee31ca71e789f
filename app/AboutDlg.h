#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// Names the program and shows its file version. The version text is worked
// out once, when the dialog is created.
class TAboutDialog : public QDialog {
public:
  explicit TAboutDialog(QWidget* Parent = nullptr);

  QLabel* Label1 = nullptr;
  QLabel* lblVersionString = nullptr;
  QFrame* Bevel1 = nullptr;
  QPushButton* btnOK = nullptr;

private:
  void FormCreate();
};
