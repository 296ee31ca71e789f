#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

// Asks for the serial port the scope hangs on. Created once and reused, so it
// keeps the last choice for the rest of the run.
class TPortDialog : public QDialog {
public:
  explicit TPortDialog(QWidget* Parent = nullptr);

  // The combo box text, as picked or typed, unchecked.
  std::string GetPortName() const;

  QGroupBox* GroupBox = nullptr;
  QLabel* lblPort = nullptr;
  QComboBox* cbPort = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;

protected:
  void keyPressEvent(QKeyEvent* Event) override;
};

// The serial devices present on this machine, as full device paths, in a
// stable order: /dev/ttyUSB*, /dev/ttyACM*, /dev/serial/by-id/*, then every
// tty that DevRoot's sysfs class shows with a driver. No duplicates.
std::vector<std::string> SerialDeviceNames(const std::string& DevRoot = "/dev",
                                           const std::string& SysClassTty = "/sys/class/tty");
