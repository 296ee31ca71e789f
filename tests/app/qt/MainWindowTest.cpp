#include "app/qt/MainWindow.h"

#include <QAction>
#include <QBackingStore>
#include <QDir>
#include <QProcess>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>

#include <gtest/gtest.h>

#include "../../TestUtil.h"
#include "AppTestUtil.h"
#include "app/qt/PaintBox.h"
#include "base/ExePath.h"
#include "scope/ByteSource.h"

#include <algorithm>
#include <filesystem>

namespace {

class MainWindowTest : public ::testing::Test {
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

// What the window's backing store holds at the scope area right now (device
// pixels): what the screen shows, with no paint run to find out.
QImage ScopeOnScreen(TMainWindow& Form) {
  QBackingStore* Store = Form.backingStore();
  if (!Store || !Store->paintDevice() || Store->paintDevice()->devType() != QInternal::Image)
    return {};
  const auto* Image = static_cast<const QImage*>(Store->paintDevice());
  const qreal Ratio = Image->devicePixelRatio();
  const QRect Area(Form.Scope->mapTo(&Form, QPoint(0, 0)) * Ratio, Form.Scope->size() * Ratio);
  return Image->copy(Area).convertToFormat(QImage::Format_RGB32);
}

// Qt takes the scale factor and the screens when the application starts: a
// test on a scaled display runs again in a process of its own, scaled by 2 on
// the given platform, and checks there.
bool OnScaledDisplay() {
  return qEnvironmentVariable("QT_SCALE_FACTOR") == QStringLiteral("2");
}

void RunOnScaledDisplay(const char* Test, const QString& Platform) {
  QProcess Child;
  QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
  Env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
  Env.insert(QStringLiteral("QT_QPA_PLATFORM"), Platform);
  Child.setProcessEnvironment(Env);
  Child.setProcessChannelMode(QProcess::MergedChannels);
  Child.start(QStringLiteral("/proc/self/exe"),
              {QStringLiteral("--gtest_filter=MainWindowTest.") + QString::fromLatin1(Test)});
  ASSERT_TRUE(Child.waitForFinished(120000));
  const QByteArray Output = Child.readAll();
  EXPECT_EQ(Child.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(Child.exitCode(), 0) << Output.toStdString();
  EXPECT_TRUE(Output.contains("[  PASSED  ] 1 test")) << Output.toStdString();
}

} // namespace

TEST_F(MainWindowTest, MenuHasTheDesignedItemsShortcutsAndInitialEnabling) {
  TMainWindow Form(IniFile());
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

TEST_F(MainWindowTest, ToolbarHasTwoFlatButtonsWithHintsAndTheirOwnPictures) {
  TMainWindow Form(IniFile());
  EXPECT_EQ(Form.tbbCapture->toolTip(), "Save to bitmap");
  EXPECT_EQ(Form.tbSavePlot->toolTip(), "Save plot values");
  EXPECT_TRUE(Form.tbbCapture->autoRaise());
  EXPECT_TRUE(Form.tbSavePlot->autoRaise());
  EXPECT_TRUE(HasVisiblePixels(Form.tbbCapture->icon()));
  EXPECT_TRUE(HasVisiblePixels(Form.tbSavePlot->icon()));
  EXPECT_NE(Form.tbbCapture->icon().pixmap(16, 16).toImage(),
            Form.tbSavePlot->icon().pixmap(16, 16).toImage());
}

TEST_F(MainWindowTest, StatusBarHasTenFixedWidthPanelsAllEmpty) {
  TMainWindow Form(IniFile());
  const int Widths[TMainForm::PanelCount] = {45, 75, 75, 50, 50, 50, 50, 50, 50, 50};
  for (int i = 0; i < TMainForm::PanelCount; ++i) {
    const QLabel* Panel = Form.Panels[static_cast<std::size_t>(i)];
    EXPECT_TRUE(Form.StatusBar->isAncestorOf(Panel)) << "panel " << i;
    EXPECT_EQ(Panel->minimumWidth(), Widths[i]) << "panel " << i;
    EXPECT_EQ(Panel->maximumWidth(), Widths[i]) << "panel " << i;
    EXPECT_EQ(Form.PanelText(i), "") << "panel " << i;
  }
}

TEST_F(MainWindowTest, AtANarrowWindowEachPanelCutsItsTextAtItsOwnEdge) {
  TMainWindow Form(IniFile());
  Form.resize(250, 160);
  Form.show();
  ProcessPendingEvents();
  ASSERT_EQ(Form.width(), 250);
  const QImage Empty = Form.grab().toImage();
  const auto InWindow = [&Form](const QWidget* Widget, const QRect& Rect) {
    return Rect.translated(Widget->mapTo(&Form, QPoint(0, 0)));
  };
  // Panel 3 reaches past the window's edge: it is cut there, before the size
  // grip.
  for (const int i : {0, 1, 2, 3}) {
    const QLabel* Panel = Form.Panels[static_cast<std::size_t>(i)];
    EXPECT_EQ(Panel->width(), TMainForm::PanelWidths[static_cast<std::size_t>(i)]);
    // The panel's own inside, where it is not hidden, and nothing of any
    // other panel.
    QRegion Own = Panel->visibleRegion().intersected(Panel->contentsRect());
    Own.translate(Panel->mapTo(&Form, QPoint(0, 0)));
    for (const QLabel* Other : Form.Panels)
      if (Other != Panel)
        Own -= InWindow(Other, Other->rect());

    Form.SetPanelText(i, "X=WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW");
    ProcessPendingEvents();
    const QImage Shown = Form.grab().toImage();
    Form.SetPanelText(i, "");
    ASSERT_EQ(Shown.size(), Empty.size());
    int Inside = 0;
    int Outside = 0;
    for (int y = 0; y < Shown.height(); ++y)
      for (int x = 0; x < Shown.width(); ++x)
        if (Shown.pixel(x, y) != Empty.pixel(x, y))
          ++(Own.contains(QPoint(x, y)) ? Inside : Outside);
    EXPECT_GT(Inside, 20) << "panel " << i;
    EXPECT_EQ(Outside, 0) << "panel " << i;
  }
}

TEST_F(MainWindowTest, WithoutConfigFileTheDesignedSizeAndDefaultColoursApply) {
  TMainWindow Form(IniFile());
  EXPECT_EQ(Form.width(), 625);
  EXPECT_EQ(Form.height(), 375);
  EXPECT_EQ(Form.windowTitle(), "HXT24");
  EXPECT_EQ(Form.Core().TraceColor(), 0x00FF00u);
  EXPECT_EQ(Form.Core().GridColor(), 0x808080u);
  EXPECT_EQ(Form.Core().BackColor(), 0x808000u);
  for (const auto Sample : Form.Core().Samples())
    ASSERT_EQ(Sample, 127);
}

TEST_F(MainWindowTest, RightAfterStartTheScopeAreaShowsGridAndFlatTraceInTheColours) {
  struct Row {
    const char* Ini;
    QRgb Trace, Grid, Back;
  } const Rows[] = {
      {"", qRgb(0, 255, 0), qRgb(128, 128, 128), qRgb(0, 128, 128)},
      {"[Settings]\nTraceColor=$0000FF\nGridColor=$FFFFFF\nBackColor=0\n", qRgb(255, 0, 0),
       qRgb(255, 255, 255), qRgb(0, 0, 0)},
  };
  for (const auto& R : Rows) {
    WriteIni(R.Ini);
    TMainWindow Form(IniFile());
    Form.show();
    ProcessPendingEvents();
    const QImage Shown = Form.Scope->grab().toImage();
    ASSERT_EQ(Shown.size(), Form.Scope->size());
    const int H = Shown.height();
    // Column 3 lies between the grid lines at x = 0 and the next one.
    std::vector<QRgb> Column;
    for (int y = 0; y < H; ++y)
      Column.push_back(Shown.pixel(3, y) & 0xFFFFFF);
    const auto Count = [&](QRgb C) {
      return std::count(Column.begin(), Column.end(), C & 0xFFFFFF);
    };
    EXPECT_GE(Count(R.Back), H - 12) << R.Ini;
    EXPECT_GE(Count(R.Trace), 2) << R.Ini;
    // The flat line lies just above the middle.
    const auto FirstTrace =
        std::find(Column.begin(), Column.end(), R.Trace & 0xFFFFFF) - Column.begin();
    EXPECT_LT(FirstTrace, H / 2) << R.Ini;
    EXPECT_GT(FirstTrace, H / 2 - 4) << R.Ini;
    EXPECT_GE(Count(R.Grid), 7) << R.Ini; // the 7 inner row lines
    EXPECT_EQ(Shown.pixel(0, H / 3) & 0xFFFFFF, R.Grid & 0xFFFFFF) << R.Ini; // left edge line
    for (int i = 0; i < TMainForm::PanelCount; ++i)
      EXPECT_EQ(Form.PanelText(i), "");
  }
}

TEST_F(MainWindowTest, AFrameFillsTheStatusBarAndRepaintsAtOnce) {
  TMainWindow Form(IniFile());
  Form.show();
  ProcessPendingEvents();
  TMemoryByteSource Line;
  Form.Core().ScopeLink().Receiver.SetSource(&Line);
  // A trace frame: mode 0, time base 11, x1 sensitivity 4, no flags; every
  // received value 200 (stored 56) puts the trace at about a fifth of the height.
  std::vector<std::uint8_t> Frame = {0x42, 0x41, 10, 1, 0x0B, 0x04, 0, 0, 0, 0};
  Frame.resize(266, 200);
  Line.Push(Frame.data(), Frame.size());
  Form.Core().ScopeLink().ComPortRxChar(Line.Waiting());

  const char* Expected[] = {"norm", "X=1ms/div", "Y=0.1v/div", "", "", "AC", "x1", "", "", ""};
  for (int i = 0; i < TMainForm::PanelCount; ++i)
    EXPECT_EQ(Form.PanelText(i), Expected[i]) << "panel " << i;
  // Repainted inside the handler: no event processing between, and the
  // screen shows exactly the picture the export would save.
  const QImage Picture = ScopeOnScreen(Form);
  ASSERT_EQ(Picture.size(), Form.Scope->size());
  EXPECT_EQ(Picture, Form.ScopePicture());
  int FirstTrace = -1;
  for (int y = 0; y < Picture.height() && FirstTrace < 0; ++y)
    if ((Picture.pixel(3, y) & 0xFFFFFF) == 0x00FF00u)
      FirstTrace = y;
  EXPECT_GT(FirstTrace, Picture.height() / 8);
  EXPECT_LT(FirstTrace, Picture.height() / 4);

  // The next frames redraw only what changed on the screen; it still shows
  // the whole picture of each, also after a resize.
  for (int Step = 1; Step <= 4; ++Step) {
    if (Step == 3) {
      Form.resize(Form.width() + 31, Form.height() + 17);
      ProcessPendingEvents();
    }
    for (int i = 10; i < 266; ++i)
      Frame[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((i * Step * 13) % 256);
    Line.Push(Frame.data(), Frame.size());
    Form.Core().ScopeLink().ComPortRxChar(Line.Waiting());
    EXPECT_EQ(ScopeOnScreen(Form), Form.ScopePicture()) << "frame " << Step;
  }
}

TEST_F(MainWindowTest, ConfigFileSetsSizeAndColours) {
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
      // Larger than the screen's free area (0 below: as large as that area).
      {"[Settings]\nWidth=16384\nHeight=150\n", 0, 150, 65280, 8421504, 8421376},
      {"[Settings]\nWidth=16384\nHeight=16384\n", 0, 0, 65280, 8421504, 8421376},
      // Colours keep their low 24 bits.
      {"[Settings]\nTraceColor=$FF0000FF\nBackColor=-1\n", 625, 375, 0xFF, 8421504, 0xFFFFFF},
      // Keys in another section do not count.
      {"[Other]\nWidth=800\nTraceColor=255\n", 625, 375, 65280, 8421504, 8421376},
  };
  const QSize Free = QGuiApplication::primaryScreen()->availableGeometry().size();
  ASSERT_LT(Free.width(), 16384);
  ASSERT_GE(Free.width(), 800);
  ASSERT_GE(Free.height(), 600);
  for (const auto& R : Rows) {
    WriteIni(R.Ini);
    TMainWindow Form(IniFile());
    EXPECT_EQ(Form.width(), R.Width ? R.Width : Free.width()) << R.Ini;
    EXPECT_EQ(Form.height(), R.Height ? R.Height : Free.height()) << R.Ini;
    EXPECT_EQ(Form.Core().TraceColor(), R.Trace) << R.Ini;
    EXPECT_EQ(Form.Core().GridColor(), R.Grid) << R.Ini;
    EXPECT_EQ(Form.Core().BackColor(), R.Back) << R.Ini;
  }
}

TEST_F(MainWindowTest, FirstShowCentresTheWindowOnTheScreen) {
  TMainWindow Form(IniFile());
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

  // A window as large as the screen's free area fills it, frame and all,
  // centred.
  WriteIni("[Settings]\nWidth=16384\nHeight=16384\n");
  TMainWindow Large(IniFile());
  Large.show();
  ProcessPendingEvents();
  EXPECT_TRUE(Screen.contains(Large.frameGeometry()))
      << Large.frameGeometry().width() << "x" << Large.frameGeometry().height();
  EXPECT_GE(Large.width(), Screen.width() - 60);
  EXPECT_NEAR(Large.geometry().center().x(), Screen.center().x(), 4);
}

TEST_F(MainWindowTest, ScopeAreaFillsTheSpaceAndPaintsOpaque) {
  TMainWindow Form(IniFile());
  Form.show();
  ProcessPendingEvents();
  EXPECT_TRUE(Form.Scope->testAttribute(Qt::WA_OpaquePaintEvent));
  // Inside the one-pixel bevel of its panel, nothing between.
  EXPECT_EQ(Form.Scope->geometry(), Form.ScopePanel->rect().adjusted(1, 1, -1, -1));
  EXPECT_EQ(Form.ScopePanel->width(), Form.width());
  EXPECT_GT(Form.Scope->height(), 200);
  EXPECT_GT(Form.Scope->geometry().top(), 0);
  EXPECT_EQ(Form.StatusBar->height(), 19);
}

TEST_F(MainWindowTest, ExitClosesTheWindowAndLeavesTheSettingsFileAlone) {
  const std::string Ini = "[Settings]\r\nWidth=640\r\n; a comment\r\n";
  WriteIni(Ini);
  TMainWindow Form(IniFile());
  Form.show();
  ProcessPendingEvents();
  Form.itExit->trigger();
  ProcessPendingEvents();
  EXPECT_FALSE(Form.isVisible());
  EXPECT_EQ(ReadTextFile(IniFile()), Ini);
}

TEST_F(MainWindowTest, ValuesExportWritesTheFileTheDialogNamesAddingTxt) {
  TMainWindow Form(IniFile());
  TFileDialogAnswerer Answer(QString::fromStdString(FDir.File("values")));
  Form.tbSavePlot->click();
  ProcessPendingEvents();

  ASSERT_EQ(Answer.Shown().size(), 1u);
  const auto& Shown = Answer.Shown()[0];
  EXPECT_EQ(Shown.DefaultSuffix, "txt");
  // The test's folder is writable: the dialog starts there, as in a build tree.
  EXPECT_EQ(Shown.Directory, QDir(QString::fromStdString(ExecutableDir())).absolutePath());
  EXPECT_EQ(Shown.NameFilters, QStringList{"Text file (*.txt)"});
  ASSERT_EQ(Shown.Proposed.size(), 1);
  EXPECT_TRUE(Shown.Proposed[0].endsWith("/plot.txt")) << Shown.Proposed[0].toStdString();
  // Before any frame: labels alone, and every position holds the reset value.
  const std::string Text = ReadTextFile(FDir.File("values.txt"));
  EXPECT_EQ(Text.substr(0, 60),
            "Trigger=\r\n\r\n\r\nHold=\r\nMemory=\r\nAC/DC=\r\nProbe=\r\n\r\n0=129\r\n1=129");
  EXPECT_EQ(std::count(Text.begin(), Text.end(), '\n'), 264);
}

TEST_F(MainWindowTest, PictureExportSavesWhatTheScopeAreaShows) {
  TMainWindow Form(IniFile());
  Form.resize(1000, 700);
  Form.show();
  ProcessPendingEvents();
  TFileDialogAnswerer Answer(QString::fromStdString(FDir.File("shot")));
  Form.tbbCapture->click();
  ProcessPendingEvents();

  ASSERT_EQ(Answer.Shown().size(), 1u);
  EXPECT_EQ(Answer.Shown()[0].DefaultSuffix, "bmp");
  EXPECT_TRUE(Answer.Shown()[0].Proposed.value(0).endsWith("/plot.bmp"));
  EXPECT_EQ(Answer.Shown()[0].NameFilters, QStringList{"Bitmap (*.bmp)"});
  QImage Saved(QString::fromStdString(FDir.File("shot.bmp")), "BMP");
  ASSERT_FALSE(Saved.isNull());
  EXPECT_EQ(Saved.size(), Form.Scope->size());
  // The picture is drawn again for the export; it is what the screen showed.
  EXPECT_EQ(Saved.convertToFormat(QImage::Format_RGB32), ScopeOnScreen(Form));
}

TEST_F(MainWindowTest, ExportsReplaceAnExistingFileWithoutAQuestion) {
  TMainWindow Form(IniFile());
  for (const char* Name : {"plot.txt", "plot.bmp"})
    WriteTextFile(FDir.File(Name), "an earlier export");
  TBoxWatcher Boxes;
  {
    TFileDialogAnswerer Answer(QString::fromStdString(FDir.File("plot.txt")));
    Form.tbSavePlot->click();
    ProcessPendingEvents();
  }
  {
    TFileDialogAnswerer Answer(QString::fromStdString(FDir.File("plot.bmp")));
    Form.tbbCapture->click();
    ProcessPendingEvents();
  }
  EXPECT_TRUE(Boxes.Boxes().empty()) << Boxes.Boxes()[0].Text.toStdString();
  EXPECT_EQ(ReadTextFile(FDir.File("plot.txt")).substr(0, 9), "Trigger=\r");
  EXPECT_EQ(QImage(QString::fromStdString(FDir.File("plot.bmp")), "BMP").size(),
            Form.Scope->size());
}

TEST_F(MainWindowTest, OnAScaledDisplayThePictureHasTheAreasSizeInLogicalPixels) {
  if (!OnScaledDisplay()) {
    RunOnScaledDisplay("OnAScaledDisplayThePictureHasTheAreasSizeInLogicalPixels",
                       QStringLiteral("offscreen"));
    return;
  }
  TMainWindow Form(IniFile());
  Form.show();
  ProcessPendingEvents();
  ASSERT_EQ(Form.devicePixelRatio(), 2.0);
  TFileDialogAnswerer Answer(QString::fromStdString(FDir.File("shot.bmp")));
  Form.tbbCapture->click();
  ProcessPendingEvents();
  const QImage Saved = QImage(QString::fromStdString(FDir.File("shot.bmp")), "BMP")
                           .convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(Saved.isNull());
  EXPECT_EQ(Saved.size(), Form.Scope->size());
  // The screen shows the same picture with every pixel doubled.
  const QImage Shown = ScopeOnScreen(Form);
  ASSERT_EQ(Shown.size(), Form.Scope->size() * 2);
  EXPECT_EQ(Shown, Saved.scaled(Shown.size()));
}

TEST_F(MainWindowTest, OnASmallScaledScreenTheSaveDialogsLieWithinItsFreeArea) {
  if (!OnScaledDisplay()) {
    // 1024 x 800 device pixels, 512 x 400 at scale 2.
    const std::string Screens = FDir.File("screens.json");
    WriteTextFile(Screens, R"({"screens": [{"name": "small", "x": 0, "y": 0, "width": 1024,
                               "height": 800, "logicalDpi": 96, "logicalBaseDpi": 96}]})");
    RunOnScaledDisplay("OnASmallScaledScreenTheSaveDialogsLieWithinItsFreeArea",
                       QStringLiteral("offscreen:configfile=") + QString::fromStdString(Screens));
    return;
  }
  TMainWindow Form(IniFile());
  Form.show();
  ProcessPendingEvents();
  ASSERT_EQ(Form.screen()->availableGeometry().size(), QSize(512, 400));
  TFileDialogAnswerer Cancel(QString{});
  Form.tbbCapture->click();
  ProcessPendingEvents();
  Form.tbSavePlot->click();
  ProcessPendingEvents();
  ASSERT_EQ(Cancel.Shown().size(), 2u);
  for (const auto& Shown : Cancel.Shown()) {
    ASSERT_FALSE(Shown.Frame.isEmpty());
    EXPECT_EQ(Shown.FreeArea, Form.screen()->availableGeometry());
    EXPECT_TRUE(Shown.FreeArea.contains(Shown.Frame))
        << Shown.Frame.x() << "," << Shown.Frame.y() << " " << Shown.Frame.width() << "x"
        << Shown.Frame.height();
  }
}

TEST_F(MainWindowTest, CancelledExportsWriteNothingAndFailedOnesShowTheError) {
  TMainWindow Form(IniFile());
  {
    TFileDialogAnswerer Cancel(QString{});
    Form.tbSavePlot->click();
    Form.tbbCapture->click();
    ProcessPendingEvents();
    EXPECT_EQ(Cancel.Shown().size(), 2u);
  }
  EXPECT_TRUE(std::filesystem::is_empty(FDir.Path()));

  TBoxWatcher Boxes;
  TFileDialogAnswerer Answer(QString::fromStdString(FDir.File("missing/plot.txt")));
  Form.tbSavePlot->click();
  ProcessPendingEvents();
  ASSERT_EQ(Boxes.Boxes().size(), 1u);
  EXPECT_EQ(Boxes.Boxes()[0].Title, "HXT24");
  EXPECT_TRUE(Boxes.Boxes()[0].Text.startsWith("Cannot create file"))
      << Boxes.Boxes()[0].Text.toStdString();
}
