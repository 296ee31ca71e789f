#include "app/qt/PortDlg.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "cport/platform/ComDevice.h"

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

void TPortDialog::showEvent(QShowEvent* Event) {
  if (!FPortsFound) {
    FPortsFound = true;
    AddFoundPorts();
  }
  QDialog::showEvent(Event);
}

// Appends the ports found on this machine after COM1-COM4. The current entry
// and any text typed or set before stay as they are.
void TPortDialog::AddFoundPorts() {
  for (const TComPortInfo& Found : DefaultComDevice().ListPorts()) {
    // The entry is the name alone, so that picking it gives that name.
    cbPort->addItem(QString::fromStdString(Found.Name));
    cbPort->setItemData(cbPort->count() - 1, QString::fromStdString(Found.Description),
                        Qt::ToolTipRole);
  }
}

std::string TPortDialog::GetPortName() const {
  return cbPort->currentText().toStdString();
}

void TPortDialog::SetPortName(const std::string& Name) {
  const QString Text = QString::fromStdString(Name);
  if (cbPort->currentText() != Text)
    cbPort->setEditText(Text);
}

void TPortDialog::keyPressEvent(QKeyEvent* Event) {
  // Esc is bound to nothing here; only Cancel and the close box cancel.
  if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier) {
    Event->accept();
    return;
  }
  QDialog::keyPressEvent(Event);
}
