#include "app/qt/PortDlg.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
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
  // No inline completion: with the whole text selected (as after a show or a
  // Tab into the field) the completer took the selection for its proposal,
  // and Enter then only accepted the proposal of the empty prefix, "COM1",
  // instead of pressing OK.
  cbPort->setCompleter(nullptr);
  cbPort->setGeometry(16, 40, 145, cbPort->sizeHint().height());
  // The four names only until the dialog is first shown: the machine's ports
  // are read then (nobody sees the list at start-up).
  for (const char* Name : {"COM1", "COM2", "COM3", "COM4"})
    cbPort->addItem(QString::fromLatin1(Name));
  ShowPortName();

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
  FillList();
  ShowPortName();
  // The focus goes to the field at every show, also after a Cancel clicked
  // last time (Qt would give it back to the Cancel button).
  cbPort->setFocus(Qt::OtherFocusReason);
  cbPort->lineEdit()->selectAll();
  QDialog::showEvent(Event);
}

void TPortDialog::FillList() {
  cbPort->clear();
  for (const char* Name : {"COM1", "COM2", "COM3", "COM4"})
    cbPort->addItem(QString::fromLatin1(Name));
  for (const TComPortInfo& Found : DefaultComDevice().ListPorts()) {
    // The entry is the name alone, so that picking it gives that name.
    cbPort->addItem(QString::fromStdString(Found.Name));
    cbPort->setItemData(cbPort->count() - 1, QString::fromStdString(Found.Description),
                        Qt::ToolTipRole);
  }
}

void TPortDialog::ShowPortName() {
  // An editable combo box whose current entry differs from its text puts
  // that entry's text back on Enter: the current entry is always the one
  // named by the text, or none.
  const QString Text = QString::fromStdString(FPortName);
  cbPort->setCurrentIndex(cbPort->findText(Text, Qt::MatchExactly | Qt::MatchCaseSensitive));
  cbPort->setEditText(Text);
}

void TPortDialog::done(int Result) {
  FPortName = cbPort->currentText().toStdString();
  QDialog::done(Result);
}

std::string TPortDialog::GetPortName() const {
  return FPortName;
}

void TPortDialog::SetPortName(const std::string& Name) {
  FPortName = Name;
  ShowPortName();
}

void TPortDialog::keyPressEvent(QKeyEvent* Event) {
  // Esc is bound to nothing here; only Cancel and the close box cancel.
  if (Event->key() == Qt::Key_Escape && Event->modifiers() == Qt::NoModifier) {
    Event->accept();
    return;
  }
  QDialog::keyPressEvent(Event);
}
