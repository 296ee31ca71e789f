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
// behind it as its tooltip. The machine's ports are looked up when the dialog
// is first shown (not at start-up, where nobody sees the list yet).
class TPortDialog : public QDialog {
public:
  explicit TPortDialog(QWidget* Parent = nullptr);

  // The combo box text, as picked or typed, unchecked.
  std::string GetPortName() const;
  // Makes Name the combo box text (what the dialog offers when next shown).
  void SetPortName(const std::string& Name);

  QGroupBox* GroupBox = nullptr;
  QLabel* lblPort = nullptr;
  QComboBox* cbPort = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;

protected:
  void keyPressEvent(QKeyEvent* Event) override;
  void showEvent(QShowEvent* Event) override;

private:
  void AddFoundPorts();
  bool FPortsFound = false;
};
