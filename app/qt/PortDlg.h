#pragma once

#include <QDialog>

#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

// Asks for the serial port the scope hangs on. Created once and reused, so it
// keeps the last choice for the rest of the run. The list holds COM1-COM4,
// then the ports the device layer finds on this machine, each with what is
// behind it as its tooltip; the machine's ports are read again each time the
// dialog is shown (an adapter plugged in meanwhile is offered). The dialog
// keeps its text itself: what it was last given or what the user left in it,
// whatever the list's selection; it opens with the focus in the port field,
// the text selected, so typing replaces it and Enter is OK.
class TPortDialog : public QDialog {
public:
  explicit TPortDialog(QWidget* Parent = nullptr);

  // The text as picked or typed when the dialog was last closed (OK or
  // Cancel), or as last given; unchecked.
  std::string GetPortName() const;
  // Makes Name the text the dialog shows when next opened.
  void SetPortName(const std::string& Name);

  QGroupBox* GroupBox = nullptr;
  QLabel* lblPort = nullptr;
  QComboBox* cbPort = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;

  void done(int Result) override;

protected:
  void keyPressEvent(QKeyEvent* Event) override;
  void showEvent(QShowEvent* Event) override;

private:
  // The list: COM1-COM4, then the ports found now.
  void FillList();
  // Shows FPortName in the field, with the list entry of that name current
  // (none when it is not in the list).
  void ShowPortName();

  std::string FPortName = "COM1";
};
