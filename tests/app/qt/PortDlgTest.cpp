#include "app/qt/PortDlg.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QApplication>

#include <gtest/gtest.h>

#include <filesystem>

#include "../../TestUtil.h"
#include "cport/platform/FakeDevice.h"
#include "cport/platform/PosixPorts.h"
#include "AppTestUtil.h"

namespace {

// Runs the dialog modally; Act runs inside its loop.
int ExecWith(TPortDialog& Dialog, std::function<void()> Act) {
  QTimer::singleShot(0, &Dialog, std::move(Act));
  return Dialog.exec();
}

} // namespace

TEST(PortDlg, ControlsAndGeometry) {
  TPortDialog Dialog;
  EXPECT_EQ(Dialog.windowTitle(), "Connect");
  EXPECT_EQ(Dialog.size(), QSize(282, 99));
  EXPECT_EQ(Dialog.minimumSize(), Dialog.maximumSize());
  EXPECT_EQ(Dialog.GroupBox->geometry(), QRect(8, 8, 185, 81));
  EXPECT_EQ(Dialog.GroupBox->title(), "");
  EXPECT_EQ(Dialog.lblPort->parent(), Dialog.GroupBox);
  EXPECT_EQ(Dialog.lblPort->pos(), QPoint(16, 20));
  EXPECT_EQ(Dialog.lblPort->text(), "Connect using port:");
  EXPECT_EQ(Dialog.cbPort->parent(), Dialog.GroupBox);
  EXPECT_EQ(Dialog.cbPort->pos(), QPoint(16, 40));
  EXPECT_EQ(Dialog.cbPort->width(), 145);
  EXPECT_TRUE(Dialog.cbPort->isEditable());
  ASSERT_GE(Dialog.cbPort->count(), 4);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(Dialog.cbPort->itemText(i), QStringLiteral("COM%1").arg(i + 1));
  EXPECT_EQ(Dialog.cbPort->currentText(), "COM1");
  EXPECT_EQ(Dialog.btnOK->geometry(), QRect(200, 16, 75, 25));
  EXPECT_EQ(Dialog.btnOK->text(), "OK");
  EXPECT_TRUE(Dialog.btnOK->isDefault());
  EXPECT_EQ(Dialog.btnCancel->geometry(), QRect(200, 48, 75, 25));
  EXPECT_EQ(Dialog.btnCancel->text(), "Cancel");
}

TEST(PortDlg, OkUntouchedGivesCom1AndTheLastChoiceIsKept) {
  TPortDialog Dialog;
  EXPECT_EQ(ExecWith(Dialog, [&] { Dialog.btnOK->click(); }), QDialog::Accepted);
  EXPECT_EQ(Dialog.GetPortName(), "COM1");

  EXPECT_EQ(ExecWith(Dialog,
                     [&] {
                       Dialog.cbPort->setCurrentIndex(2);
                       Dialog.btnOK->click();
                     }),
            QDialog::Accepted);
  EXPECT_EQ(Dialog.GetPortName(), "COM3");

  // The next Connect opens with COM3 still chosen.
  QString Shown;
  ExecWith(Dialog, [&] {
    Shown = Dialog.cbPort->currentText();
    Dialog.btnOK->click();
  });
  EXPECT_EQ(Shown, "COM3");
}

TEST(PortDlg, EnterIsOkEscIsNothingAndTheCloseBoxCancels) {
  TPortDialog Dialog;
  bool StillOpenAfterEsc = false;
  const int Result = ExecWith(Dialog, [&] {
    QKeyEvent Esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&Dialog, &Esc);
    StillOpenAfterEsc = Dialog.isVisible();
    Dialog.close();
  });
  EXPECT_TRUE(StillOpenAfterEsc);
  EXPECT_EQ(Result, QDialog::Rejected);

  EXPECT_EQ(ExecWith(Dialog,
                     [&] {
                       QKeyEvent Enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                       QCoreApplication::sendEvent(Dialog.cbPort, &Enter);
                     }),
            QDialog::Accepted);
  EXPECT_EQ(ExecWith(Dialog, [&] { Dialog.btnCancel->click(); }), QDialog::Rejected);
}

TEST(PortDlg, EnterPressesTheFocusedButtonAndOkOtherwise) {
  // Enter goes to whatever has the focus, as a key press from the keyboard.
  // One dialog for all rows, as Connect reuses it: what one use leaves must
  // not change the next.
  struct Row {
    const char* Focus;
    int Result;
  } const Rows[] = {{"Cancel", QDialog::Rejected},
                    {"port", QDialog::Accepted},
                    {"OK", QDialog::Accepted},
                    {"port", QDialog::Accepted},
                    {"Cancel, then port", QDialog::Accepted},
                    {"Cancel", QDialog::Rejected},
                    {"port", QDialog::Accepted}};
  TPortDialog Dialog;
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Focus);
    QWidget* Focused = nullptr;
    const int Result = ExecWith(Dialog, [&] {
      QApplication::setActiveWindow(&Dialog);
      const std::string Focus = R.Focus;
      if (Focus.rfind("Cancel", 0) == 0)
        Dialog.btnCancel->setFocus(Qt::TabFocusReason);
      if (Focus == "OK")
        Dialog.btnOK->setFocus(Qt::TabFocusReason);
      if (Focus.find("port") != std::string::npos)
        Dialog.cbPort->setFocus(Qt::TabFocusReason);
      Focused = QApplication::focusWidget();
      for (const auto Key : {Qt::Key_Return, Qt::Key_Enter}) {
        if (!Focused || !Dialog.isVisible())
          break;
        QKeyEvent Press(QEvent::KeyPress, Key, Qt::NoModifier);
        QCoreApplication::sendEvent(QApplication::focusWidget(), &Press);
      }
      if (Dialog.isVisible())
        Dialog.close();
    });
    ASSERT_TRUE(Focused);
    EXPECT_EQ(Result, R.Result);
  }
}

TEST(PortDlg, TypedNamesPassUnchanged) {
  TPortDialog Dialog;
  for (const char* Typed : {"/dev/ttyUSB7", "COM12", " com 3 ", ""}) {
    ExecWith(Dialog, [&] {
      Dialog.cbPort->setEditText(QString::fromUtf8(Typed));
      Dialog.btnOK->click();
    });
    EXPECT_EQ(Dialog.GetPortName(), Typed);
  }
}

TEST(PortDlg, FoundPortsFollowTheFourComNamesWithTheirDescriptions) {
  TFakeComDevice Device;
  Device.SetPortList({{"/dev/ttyS0", "Serial port (16550A)"},
                      {"/dev/serial/by-id/usb-FTDI_FT232R_A10KZ3QX-if00-port0",
                       "FTDI FT232R USB UART (A10KZ3QX)"}});
  SetDefaultComDevice(&Device);
  struct TRestore {
    ~TRestore() { SetDefaultComDevice(nullptr); }
  } Restore;
  TPortDialog Dialog;
  // The machine's ports are looked up when the dialog is shown; a name given
  // before (--port) stays the offered text.
  Dialog.SetPortName("/dev/ttyUSB3");
  QString Offered;
  int Count = 0;
  ExecWith(Dialog, [&] {
    Offered = Dialog.cbPort->currentText();
    Count = Dialog.cbPort->count();
    Dialog.btnCancel->click();
  });
  EXPECT_EQ(Offered, "/dev/ttyUSB3");
  ASSERT_EQ(Count, 6);
  EXPECT_EQ(Dialog.cbPort->itemText(3), "COM4");
  EXPECT_EQ(Dialog.cbPort->itemText(4), "/dev/ttyS0");
  EXPECT_EQ(Dialog.cbPort->itemData(4, Qt::ToolTipRole).toString(), "Serial port (16550A)");
  EXPECT_EQ(Dialog.cbPort->itemData(5, Qt::ToolTipRole).toString(),
            "FTDI FT232R USB UART (A10KZ3QX)");
  // Shown again, the list is not doubled.
  ExecWith(Dialog, [&] {
    Count = Dialog.cbPort->count();
    Dialog.cbPort->setCurrentIndex(5);
    Dialog.btnOK->click();
  });
  EXPECT_EQ(Count, 6);
  // A port picked from the list is its name, nothing more.
  EXPECT_EQ(Dialog.GetPortName(), "/dev/serial/by-id/usb-FTDI_FT232R_A10KZ3QX-if00-port0");
}

// The machine's ports are read again each time the dialog shows: an adapter
// plugged in after the first Connect is offered at the next.
TEST(PortDlg, APortThatAppearsBetweenTwoShowsIsListedTheSecondTime) {
  namespace fs = std::filesystem;
  TTempDir Dir;
  const fs::path Sys = Dir.Path() / "sys";
  const fs::path Dev = Dir.Path() / "dev";
  const auto Plug = [&](const std::string& Name) {
    const fs::path Interface = Sys / "devices" / "usb1" / ("1-" + Name) / "1:1.0";
    fs::create_directories(Interface);
    fs::create_directories(Sys / "class" / "tty" / Name);
    fs::create_symlink(Interface, Sys / "class" / "tty" / Name / "device");
  };
  class TSysfsDevice : public TFakeComDevice {
  public:
    TSysfsDevice(std::string SysRoot, std::string DevRoot)
        : FSys(std::move(SysRoot)), FDev(std::move(DevRoot)) {}
    std::vector<TComPortInfo> ListPorts() override { return DiscoverPosixPorts(FSys, FDev); }

  private:
    std::string FSys, FDev;
  } Device(Sys.string(), Dev.string());
  SetDefaultComDevice(&Device);
  struct TRestore {
    ~TRestore() { SetDefaultComDevice(nullptr); }
  } Restore;

  Plug("ttyACM0");
  TPortDialog Dialog;
  const auto Listed = [&] {
    QStringList Names;
    ExecWith(Dialog, [&] {
      for (int i = 0; i < Dialog.cbPort->count(); ++i)
        Names << Dialog.cbPort->itemText(i);
      Dialog.cbPort->setEditText(QStringLiteral("COM2"));
      Dialog.btnOK->click();
    });
    return Names;
  };
  const QString Acm0 = QString::fromStdString((Dev / "ttyACM0").string());
  const QString Acm1 = QString::fromStdString((Dev / "ttyACM1").string());
  EXPECT_EQ(Listed(), (QStringList{"COM1", "COM2", "COM3", "COM4", Acm0}));
  Plug("ttyACM1");
  EXPECT_EQ(Listed(), (QStringList{"COM1", "COM2", "COM3", "COM4", Acm0, Acm1}));
  EXPECT_EQ(Dialog.GetPortName(), "COM2");
}
