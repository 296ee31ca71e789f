// The client against hxt24-sim on a pseudo-terminal: real port, real event
// thread, real frames.
#include "app/qt/MainWindow.h"

#include <QAction>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "../../TestUtil.h"
#include "AppTestUtil.h"
#include "cport/CPort.h"
#include "cport/ComPortErrors.h"
#include "sim/SimFrames.h"
#include "sim/SimLine.h"

namespace {

// hxt24-sim as a child process; its first output line is the device path.
class TSimulator {
public:
  explicit TSimulator(const std::string& Args) {
    int Out[2];
    if (pipe(Out) != 0)
      return;
    FPid = fork();
    if (FPid == 0) {
      dup2(Out[1], STDOUT_FILENO);
      close(Out[0]);
      close(Out[1]);
      const std::string Command = std::string("exec ") + HXT24_SIM_PATH + " " + Args;
      execl("/bin/sh", "sh", "-c", Command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(Out[1]);
    char C;
    while (read(Out[0], &C, 1) == 1 && C != '\n')
      FDevice += C;
    close(Out[0]);
  }
  ~TSimulator() { Kill(); }
  const std::string& Device() const { return FDevice; }
  // Pulls the cable: the pseudo-terminal goes away with the process.
  void Kill() {
    if (FPid > 0) {
      kill(FPid, SIGKILL);
      waitpid(FPid, nullptr, 0);
      FPid = -1;
    }
  }

private:
  pid_t FPid = -1;
  std::string FDevice;
};

// Runs the event loop until Done() holds; false when it never did (the
// guard only keeps a broken build from hanging the suite).
template <typename TCondition> bool RunUntil(TCondition Done) {
  QEventLoop Loop;
  QTimer Check;
  QObject::connect(&Check, &QTimer::timeout, &Loop, [&] {
    if (Done())
      Loop.quit();
  });
  Check.start(5);
  QTimer::singleShot(15000, &Loop, [&Loop] { Loop.exit(1); });
  return Done() || Loop.exec() == 0;
}

double ProcessCpuSeconds() {
  timespec T{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &T);
  return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_nsec) / 1e9;
}

class EndToEndTest : public ::testing::Test {
protected:
  EndToEndTest() {
    InitComPortErrors();
    Form = std::make_unique<TMainWindow>(Dir.File("config.ini"));
    Form->show();
    Form->Core().ScopeLink().OnFrameDone = [this](std::string_view, int) { ++Frames; };
  }
  ~EndToEndTest() override {
    Form.reset();
    DoneComPortErrors();
  }
  bool TraceIsFlat() const {
    const auto& S = Form->Core().Samples();
    return std::all_of(S.begin(), S.end(), [](std::uint8_t V) { return V == 127; });
  }

  TTempDir Dir;
  std::unique_ptr<TMainWindow> Form;
  int Frames = 0;
};

} // namespace

TEST_F(EndToEndTest, TheSimulatorsSettingsAndWaveReachTheWindow) {
  TSimulator Sim("--mode roll --timebase 23 --volts 9 --probe x10 --coupling dc --hold "
                 "--wave triangle --drift 0");
  ASSERT_EQ(Sim.Device().rfind("/dev/pts/", 0), 0u) << Sim.Device();
  Form->Core().ConnectTo(Sim.Device());
  ASSERT_TRUE(Form->Core().ComPort().Connected());
  ASSERT_TRUE(RunUntil([&] { return Frames >= 2; }));

  const char* Expected[] = {"roll", "X=10s/div", "Y=40v/div", "Hold", "", "DC", "x10"};
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(Form->PanelText(i), Expected[i]) << i;
  TSimOptions Options;
  Options.Wave = swTriangle;
  Options.Drift = 0;
  const TSimTrace Sent = TSimScope(Options).Trace(0);
  for (std::size_t i = 0; i < 256; ++i)
    ASSERT_EQ(Form->Core().Samples()[i], static_cast<std::uint8_t>(256 - Sent[i])) << i;

  Form->Core().itDisconnectClick();
  EXPECT_FALSE(Form->Core().ComPort().Connected());
  EXPECT_TRUE(TraceIsFlat());
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(Form->PanelText(i), Expected[i]) << i;
}

TEST_F(EndToEndTest, PullingTheDeviceGivesOneErrorBoxNoSpinningAndDisconnectWorks) {
  TSimulator Sim("--wave sine");
  Form->Core().ConnectTo(Sim.Device());
  ASSERT_TRUE(RunUntil([&] { return Frames >= 1; }));

  TBoxWatcher Boxes;
  Sim.Kill();
  ASSERT_TRUE(RunUntil([&] { return !Boxes.Boxes().empty(); }));
  // A while with the line dead: nothing may burn the processor meanwhile.
  const double Before = ProcessCpuSeconds();
  QEventLoop Idle;
  QTimer::singleShot(300, &Idle, &QEventLoop::quit);
  Idle.exec();
  EXPECT_LT(ProcessCpuSeconds() - Before, 0.15);
  ASSERT_EQ(Boxes.Boxes().size(), 1u);
  EXPECT_EQ(Boxes.Boxes()[0].Title, "HXT24");
  EXPECT_EQ(Boxes.Boxes()[0].Text.toStdString().rfind("WaitForEvent method failed", 0), 0u)
      << Boxes.Boxes()[0].Text.toStdString();

  EXPECT_TRUE(Form->itDisconnect->isEnabled());
  Form->itDisconnect->trigger();
  ProcessPendingEvents();
  // Closing the dead line reports its purge failure; the wait failure is not
  // reported again.
  EXPECT_LE(Boxes.Boxes().size(), 2u);
  for (std::size_t i = 1; i < Boxes.Boxes().size(); ++i)
    EXPECT_FALSE(Boxes.Boxes()[i].Text.startsWith("WaitForEvent"));
  EXPECT_FALSE(Form->Core().ComPort().Connected());
  EXPECT_TRUE(Form->itConnect->isEnabled());
  EXPECT_FALSE(Form->itDisconnect->isEnabled());
  EXPECT_TRUE(TraceIsFlat());
}

namespace {

// Runs the hxt24 program; gives its standard output and exit status.
std::pair<std::string, int> RunClient(const std::string& Args) {
  FILE* Out = popen(
      ("QT_QPA_PLATFORM=offscreen " + std::string(HXT24_CLIENT_PATH) + " " + Args + " 2>/dev/null")
          .c_str(),
      "r");
  std::string Text;
  char Buffer[1024];
  while (Out && fgets(Buffer, sizeof Buffer, Out))
    Text += Buffer;
  const int Status = Out ? pclose(Out) : -1;
  return {Text, WIFEXITED(Status) ? WEXITSTATUS(Status) : -1};
}

} // namespace

TEST(ClientProgram, TheProgramCarriesItsVersionAndExplainsItsOptions) {
  // The stamped strings are in the program (and only there: see AboutDlgTest).
  EXPECT_EQ(RunClient("--version"), std::make_pair(std::string("HXT24 1.1.1.78\n"), 0));
  const auto [Help, Status] = RunClient("--help");
  EXPECT_EQ(Status, 0);
  EXPECT_EQ(Help.rfind("Usage: hxt24", 0), 0u) << Help;
  for (const char* Option : {"--port NAME", "--demo", "--version"})
    EXPECT_NE(Help.find(Option), std::string::npos) << Option;
  EXPECT_EQ(RunClient("--speed 9600").second, 2);
  EXPECT_EQ(RunClient("--port").second, 2);
}

TEST_F(EndToEndTest, TheInProcessDemoScopeFeedsTheWindowAndShutsDownQuietly) {
  TBoxWatcher Boxes;
  {
    TSimOptions Options;
    Options.Settings.Memory = true;
    TSimScopeThread Demo(Options, 5760, 64);
    Form->Core().ConnectTo(Demo.DevicePath());
    ASSERT_TRUE(RunUntil([&] { return Frames >= 2; }));
    EXPECT_EQ(Form->PanelText(4), "Memory");
    // As at the end of the program: the window (and its port) goes before
    // the simulated line.
    Form.reset();
  }
  ProcessPendingEvents();
  EXPECT_TRUE(Boxes.Boxes().empty());
}

// The client under LANG=de_DE.UTF-8 beside a truncated German default.mo (on
// a virtual X display): it shows its window, says once on stderr which
// catalog it left out, and keeps running in English.
TEST(ClientProgram, ShowsItsWindowBesideADamagedCatalog) {
  namespace fs = std::filesystem;
  TTempDir Dir;
  // The catalogs are found beside the executable itself, so it runs from a
  // copy beside a damaged tree.
  const fs::path Client = Dir.Path() / "hxt24";
  fs::copy_file(HXT24_CLIENT_PATH, Client);
  const fs::path Built = fs::path(HXT24_CLIENT_PATH).parent_path() / "locale/de/LC_MESSAGES";
  const fs::path Catalogs = Dir.Path() / "locale/de/LC_MESSAGES";
  fs::create_directories(Catalogs);
  fs::copy_file(Built / "cport.mo", Catalogs / "cport.mo");
  fs::copy_file(Built / "default.mo", Catalogs / "default.mo");
  fs::resize_file(Catalogs / "default.mo", 100);
  const std::string Err = Dir.File("err");
  const std::string Script = Dir.File("run.sh");
  WriteTextFile(
      Script, "for i in $(seq 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.05; done\n"
              "XDG_CONFIG_HOME='" +
                  Dir.Path().string() + "' LANG=de_DE.UTF-8 QT_QPA_PLATFORM=xcb '" +
                  Client.string() + "' -platform xcb 2>'" + Err +
                  "' &\n"
                  "pid=$!\n"
                  "for i in $(seq 150); do\n"
                  "  if xwininfo -root -tree | grep -q '\"HXT24\"'; then echo shown; break; fi\n"
                  "  kill -0 $pid 2>/dev/null || break\n"
                  "  sleep 0.1\n"
                  "done\n"
                  "kill $pid\n"
                  "wait $pid\n"
                  "echo status $?\n");
  std::string Text;
  // Virtual displays started at the same moment by other programs can take
  // the same number; a client that found no display is run again.
  for (int Attempt = 0; Attempt < 3; ++Attempt) {
    std::FILE* Out = popen(
        ("xvfb-run -a -s '-screen 0 1024x768x24' sh '" + Script + "' 2>/dev/null").c_str(), "r");
    ASSERT_NE(Out, nullptr);
    Text.clear();
    char Buffer[256];
    while (std::fgets(Buffer, sizeof Buffer, Out))
      Text += Buffer;
    pclose(Out);
    if (ReadTextFile(Err).find("could not connect to display") == std::string::npos &&
        Text.find("status") != std::string::npos)
      break;
  }
  // Shown, then ended by the test's SIGTERM (143), not aborted (134).
  EXPECT_EQ(Text, "shown\nstatus 143\n") << ReadTextFile(Err);
  const std::string Told = ReadTextFile(Err);
  const std::string Expected =
      "hxt24: This file is not a valid GNU gettext mo file: " + (Catalogs / "default.mo").string() +
      " (texts stay in English)\n";
  EXPECT_NE(Told.find(Expected), std::string::npos) << Told;
  EXPECT_EQ(Told.find("default.mo"), Told.rfind("default.mo")) << Told; // told once
}
