#include "app/PortDlg.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Entries of Dir whose names start with Prefix, sorted; nothing when Dir is
// missing or unreadable.
std::vector<std::string> ListEntries(const fs::path& Dir, const std::string& Prefix) {
  std::vector<std::string> Names;
  std::error_code Error;
  for (fs::directory_iterator It(Dir, Error), End; !Error && It != End; It.increment(Error)) {
    const std::string Name = It->path().filename().string();
    if (Name.compare(0, Prefix.size(), Prefix) == 0)
      Names.push_back(Name);
  }
  std::sort(Names.begin(), Names.end());
  return Names;
}

} // namespace

std::vector<std::string> SerialDeviceNames(const std::string& DevRoot,
                                           const std::string& SysClassTty) {
  std::vector<std::string> Result;
  const auto Add = [&Result](const std::string& Path) {
    if (std::find(Result.begin(), Result.end(), Path) == Result.end())
      Result.push_back(Path);
  };
  const fs::path Dev(DevRoot);
  for (const char* Prefix : {"ttyUSB", "ttyACM"})
    for (const auto& Name : ListEntries(Dev, Prefix))
      Add((Dev / Name).string());
  for (const auto& Name : ListEntries(Dev / "serial" / "by-id", ""))
    Add((Dev / "serial" / "by-id" / Name).string());
  // A tty with a driver behind it is a real port (consoles and ptys have none).
  for (const auto& Name : ListEntries(SysClassTty, "")) {
    std::error_code Error;
    if (fs::exists(fs::path(SysClassTty) / Name / "device" / "driver", Error))
      Add((Dev / Name).string());
  }
  return Result;
}

TPortDialog::TPortDialog(QWidget* Parent) : QDialog(Parent) {
  setWindowTitle(QStringLiteral("Connect"));
  setFixedSize(282, 99);

  GroupBox = new QGroupBox(this);
  GroupBox->setGeometry(8, 8, 185, 81);
  lblPort = new QLabel(QStringLiteral("Connect using port:"), GroupBox);
  lblPort->move(16, 20);
  lblPort->adjustSize();
  cbPort = new QComboBox(GroupBox);
  cbPort->setEditable(true);
  cbPort->setInsertPolicy(QComboBox::NoInsert);
  cbPort->setGeometry(16, 40, 145, cbPort->sizeHint().height());
  for (const char* Name : {"COM1", "COM2", "COM3", "COM4"})
    cbPort->addItem(QString::fromLatin1(Name));
  for (const auto& Path : SerialDeviceNames())
    cbPort->addItem(QString::fromStdString(Path));
  cbPort->setCurrentIndex(0);

  btnOK = new QPushButton(QStringLiteral("OK"), this);
  btnOK->setGeometry(200, 16, 75, 25);
  btnOK->setDefault(true);
  btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
  btnCancel->setGeometry(200, 48, 75, 25);
  // Enter presses the focused button: Cancel takes the default while it has
  // the focus, and OK gets it back when the focus leaves.
  btnCancel->setAutoDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::string TPortDialog::GetPortName() const {
  return cbPort->currentText().toStdString();
}

void TPortDialog::keyPressEvent(QKeyEvent* Event) {
  // Esc is bound to nothing here; only Cancel and the close box cancel.
  if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier) {
    Event->accept();
    return;
  }
  QDialog::keyPressEvent(Event);
}
