#include "app/MainFrm.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include "../TestUtil.h"
#include "AppTestUtil.h"
#include "app/PaintBox.h"

namespace {

class MainFrmTest : public ::testing::Test {
protected:
  std::string IniFile() const { return FDir.File("config.ini"); }
  void WriteIni(std::string_view Contents) const { WriteTextFile(IniFile(), Contents); }

  TTempDir FDir;
};

bool HasVisiblePixels(const QIcon& Icon) {
  const QImage Image = Icon.pixmap(16, 16).toImage();
  for (int y = 0; y < Image.height(); ++y)
    for (int x = 0; x < Image.width(); ++x)
      if (qAlpha(Image.pixel(x, y)) != 0)
        return true;
  return false;
}

} // namespace

TEST_F(MainFrmTest, MenuHasTheDesignedItemsShortcutsAndInitialEnabling) {
  TMainForm Form(IniFile());
  const auto Menus = Form.menuBar()->actions();
  ASSERT_EQ(Menus.size(), 2);
  EXPECT_EQ(Menus[0]->text(), "&Device");
  EXPECT_EQ(Menus[1]->text(), "&Help");

  const auto Device = Form.itDevice->actions();
  ASSERT_EQ(Device.size(), 4);
  EXPECT_EQ(Device[0], Form.itConnect);
  EXPECT_EQ(Device[1], Form.itDisconnect);
  EXPECT_TRUE(Device[2]->isSeparator());
  EXPECT_EQ(Device[3], Form.itExit);
  EXPECT_EQ(Form.itConnect->text(), "&Connect");
  EXPECT_EQ(Form.itDisconnect->text(), "&Disconnect");
  EXPECT_EQ(Form.itExit->text(), "E&xit");
  ASSERT_EQ(Form.itHelp->actions().size(), 1);
  EXPECT_EQ(Form.itHelp->actions()[0], Form.itAbout);
  EXPECT_EQ(Form.itAbout->text(), "&About");

  EXPECT_EQ(Form.itConnect->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
  EXPECT_EQ(Form.itDisconnect->shortcut(), QKeySequence(QStringLiteral("Ctrl+F4")));
  EXPECT_TRUE(Form.itExit->shortcut().isEmpty());
  EXPECT_TRUE(Form.itConnect->isEnabled());
  EXPECT_FALSE(Form.itDisconnect->isEnabled());
  EXPECT_TRUE(Form.itExit->isEnabled());
  EXPECT_TRUE(Form.itAbout->isEnabled());
}

TEST_F(MainFrmTest, ToolbarHasTwoFlatButtonsWithHintsAndTheirOwnPictures) {
  TMainForm Form(IniFile());
  EXPECT_EQ(Form.tbbCapture->toolTip(), "Save to bitmap");
  EXPECT_EQ(Form.tbSavePlot->toolTip(), "Save plot values");
  EXPECT_TRUE(Form.tbbCapture->autoRaise());
  EXPECT_TRUE(Form.tbSavePlot->autoRaise());
  EXPECT_TRUE(HasVisiblePixels(Form.tbbCapture->icon()));
  EXPECT_TRUE(HasVisiblePixels(Form.tbSavePlot->icon()));
  EXPECT_NE(Form.tbbCapture->icon().pixmap(16, 16).toImage(),
            Form.tbSavePlot->icon().pixmap(16, 16).toImage());
}

TEST_F(MainFrmTest, StatusBarHasTenFixedWidthPanelsAllEmpty) {
  TMainForm Form(IniFile());
  const int Widths[TMainForm::PanelCount] = {45, 75, 75, 50, 50, 50, 50, 50, 50, 50};
  for (int i = 0; i < TMainForm::PanelCount; ++i) {
    const QLabel* Panel = Form.Panels[static_cast<std::size_t>(i)];
    EXPECT_EQ(Panel->parent(), Form.StatusBar);
    EXPECT_EQ(Panel->minimumWidth(), Widths[i]) << "panel " << i;
    EXPECT_EQ(Panel->maximumWidth(), Widths[i]) << "panel " << i;
    EXPECT_EQ(Form.PanelText(i), "") << "panel " << i;
  }
}

TEST_F(MainFrmTest, WithoutConfigFileTheDesignedSizeAndDefaultColoursApply) {
  TMainForm Form(IniFile());
  EXPECT_EQ(Form.width(), 625);
  EXPECT_EQ(Form.height(), 375);
  EXPECT_EQ(Form.windowTitle(), "HXT24");
  EXPECT_EQ(ColorFromValue(Form.TraceColor()), QColor(0, 255, 0));
  EXPECT_EQ(ColorFromValue(Form.GridColor()), QColor(128, 128, 128));
  EXPECT_EQ(ColorFromValue(Form.BackColor()), QColor(0, 128, 128));
  for (const auto Sample : Form.Samples())
    ASSERT_EQ(Sample, 127);
}

TEST_F(MainFrmTest, ConfigFileSetsSizeAndColours) {
  struct Row {
    const char* Ini;
    int Width, Height;
    std::uint32_t Trace, Grid, Back;
  } const Rows[] = {
      {"[Settings]\nWidth=800\nHeight=600\n", 800, 600, 65280, 8421504, 8421376},
      // "$" hex is red in the 0x00BBGGRR form; "0x" hex and decimal as well.
      {"[Settings]\nTraceColor=$0000FF\nGridColor=0xFF0000\nBackColor=255\n", 625, 375, 0xFF,
       0xFF0000, 0xFF},
      // Names are matched without regard to case.
      {"[settings]\nwidth=700\nHEIGHT=500\ntracecolor=$00FF00\n", 700, 500, 0xFF00, 8421504,
       8421376},
      // Not a number: the designed size.
      {"[Settings]\nWidth=wide\nHeight=12px\n", 625, 375, 65280, 8421504, 8421376},
      // Outside the usable range: the designed size.
      {"[Settings]\nWidth=50\nHeight=-300\n", 625, 375, 65280, 8421504, 8421376},
      {"[Settings]\nWidth=16385\nHeight=100000\n", 625, 375, 65280, 8421504, 8421376},
      {"[Settings]\nWidth=16384\nHeight=150\n", 16384, 150, 65280, 8421504, 8421376},
      // Colours keep their low 24 bits.
      {"[Settings]\nTraceColor=$FF0000FF\nBackColor=-1\n", 625, 375, 0xFF, 8421504, 0xFFFFFF},
      // Keys in another section do not count.
      {"[Other]\nWidth=800\nTraceColor=255\n", 625, 375, 65280, 8421504, 8421376},
  };
  for (const auto& R : Rows) {
    WriteIni(R.Ini);
    TMainForm Form(IniFile());
    EXPECT_EQ(Form.width(), R.Width) << R.Ini;
    EXPECT_EQ(Form.height(), R.Height) << R.Ini;
    EXPECT_EQ(Form.TraceColor(), R.Trace) << R.Ini;
    EXPECT_EQ(Form.GridColor(), R.Grid) << R.Ini;
    EXPECT_EQ(Form.BackColor(), R.Back) << R.Ini;
  }
}

TEST_F(MainFrmTest, ConfigFileIsReadOnceAtCreation) {
  WriteIni("[Settings]\nTraceColor=255\n");
  TMainForm Form(IniFile());
  WriteIni("[Settings]\nTraceColor=65280\nWidth=900\n");
  Form.show();
  ProcessPendingEvents();
  EXPECT_EQ(Form.TraceColor(), 255u);
  EXPECT_EQ(Form.width(), 625);
}

TEST_F(MainFrmTest, ColourValuesAreBlueGreenRed) {
  EXPECT_EQ(ColorFromValue(0x0000FF), QColor(255, 0, 0));
  EXPECT_EQ(ColorFromValue(0x00FF00), QColor(0, 255, 0));
  EXPECT_EQ(ColorFromValue(0xFF0000), QColor(0, 0, 255));
  EXPECT_EQ(ColorFromValue(0x12345678), QColor(0x78, 0x56, 0x34));
}

TEST_F(MainFrmTest, FirstShowCentresTheWindowOnTheScreen) {
  TMainForm Form(IniFile());
  Form.show();
  ProcessPendingEvents();
  const QRect Screen = Form.screen()->availableGeometry();
  // The window is placed before its frame is known: allow the frame's width.
  const QRect Frame = Form.frameGeometry();
  EXPECT_NEAR(Frame.center().x(), Screen.center().x(), 4);
  EXPECT_NEAR(Frame.center().y(), Screen.center().y(), 4);
  // Later shows leave the place the user chose.
  Form.hide();
  Form.move(Screen.topLeft() + QPoint(3, 4));
  Form.show();
  ProcessPendingEvents();
  EXPECT_EQ(Form.pos(), Screen.topLeft() + QPoint(3, 4));
}

TEST_F(MainFrmTest, ScopeAreaFillsTheSpaceAndPaintsOpaque) {
  TMainForm Form(IniFile());
  Form.show();
  ProcessPendingEvents();
  EXPECT_TRUE(Form.Scope->testAttribute(Qt::WA_OpaquePaintEvent));
  EXPECT_GT(Form.Scope->height(), 200);
  EXPECT_GT(Form.Scope->width(), 600);
  EXPECT_GT(Form.Scope->geometry().top(), 0);
  EXPECT_EQ(Form.StatusBar->height(), 19);
}

TEST_F(MainFrmTest, ExitClosesTheWindowAndLeavesTheSettingsFileAlone) {
  const std::string Ini = "[Settings]\r\nWidth=640\r\n; a comment\r\n";
  WriteIni(Ini);
  TMainForm Form(IniFile());
  Form.show();
  ProcessPendingEvents();
  Form.itExit->trigger();
  ProcessPendingEvents();
  EXPECT_FALSE(Form.isVisible());
  EXPECT_EQ(ReadTextFile(IniFile()), Ini);
}
