#include "app/qt/AboutDlg.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "app/VersionInfo.h"

TAboutDialog::TAboutDialog(QWidget* Parent) : QDialog(Parent) {
  setWindowTitle(QStringLiteral("About HXT24"));
  setFixedSize(177, 102);

  Label1 = new QLabel(QStringLiteral("HXT24 Scope Software"), this);
  QFont Bold = Label1->font();
  Bold.setBold(true);
  Label1->setFont(Bold);
  Label1->move(16, 16);
  lblVersionString = new QLabel(this);
  lblVersionString->setTextFormat(Qt::PlainText);
  lblVersionString->move(16, 32);
  // A separator across the dialog: the line lies along the bevel's top edge.
  Bevel1 = new QFrame(this);
  Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  Bevel1->setGeometry(0, 64, 177, 2);
  btnOK = new QPushButton(QStringLiteral("OK"), this);
  btnOK->setGeometry(96, 72, 75, 25);
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

  FormCreate();
}

void TAboutDialog::showEvent(QShowEvent* Event) {
  if (!FSized) {
    FSized = true;
    Label1->adjustSize();
  }
  QDialog::showEvent(Event);
}

void TAboutDialog::FormCreate() {
  lblVersionString->setText(QStringLiteral("Version: ") +
                            QString::fromStdString(GetVersionValue("FileVersion")));
  lblVersionString->adjustSize();
}
