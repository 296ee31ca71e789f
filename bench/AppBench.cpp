// The client at work on a pseudo-terminal:
//  latency  from the last byte of a frame written on the pty to the end of the
//           repaint of the scope area (615 x 284), next to the floor: the same
//           write waking a plain epoll_wait in another thread;
//  cpu      the client's processor share over a stretch at the full line rate
//           (hxt24-sim streaming), next to the simulator's own share;
//  idle     wake-ups per second of the client connected to a silent line, next
//           to the same client with no port open;
//  startup  from the start of a new process to the end of the first paint of
//           the scope area (the whole client start-up: catalogs, port
//           component, the three windows), next to the same for an empty Qt
//           main window, and for a main window whose only content is a menu
//           with one item (the first text drawn loads the fonts); all run as
//           this program started again, in turns.
// Usage: app_bench [--seconds S] [--frames N] [--rounds R]
//                  [latency|cpu|idle|startup]...
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <sys/epoll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/qt/Application.h"
#include "app/qt/MainWindow.h"
#include "app/qt/PaintBox.h"
#include "app/qt/Startup.h"
#include "cport/CPort.h"
#include "cport/ComPortErrors.h"
#include "sim/SimFrames.h"
#include "sim/SimLine.h"

namespace {

using TClock = std::chrono::steady_clock;

double Micro(TClock::duration D) {
  return std::chrono::duration<double, std::micro>(D).count();
}

struct TPercentiles {
  double P50 = 0, P90 = 0, P99 = 0, Max = 0;
};

TPercentiles Percentiles(std::vector<double> V) {
  std::sort(V.begin(), V.end());
  if (V.empty())
    return {};
  const auto At = [&](double Q) {
    return V[static_cast<std::size_t>(Q * static_cast<double>(V.size() - 1))];
  };
  return {At(0.50), At(0.90), At(0.99), V.back()};
}

TSimBytes OneTraceFrame(int Index) {
  TSimOptions Options;
  TSimScope Scope(Options);
  return BuildTraceFrame(SettingsByteA(Options.Settings), SettingsByteB(Options.Settings),
                         Scope.Trace(Index));
}

// When each frame was written, shared between the writer and the receiver:
// the receiver can see the bytes before write() has returned, so the time is
// taken just before the write (the write's own cost counts as latency).
using TWritten = std::vector<std::atomic<TClock::rep>>;

double MicroSince(const TWritten& Written, int Frame) {
  const TClock::time_point Then(TClock::duration(Written[static_cast<std::size_t>(Frame)].load()));
  return Micro(TClock::now() - Then);
}

// Writes Frames frames, one every Interval, each as one write; Done(i) blocks
// until the receiving side has finished frame i.
void WriteFrames(int Fd, int Frames, std::chrono::microseconds Interval, TWritten& Written,
                 const std::function<void(int)>& Done) {
  auto Next = TClock::now();
  for (int i = 0; i < Frames; ++i) {
    Next += Interval;
    std::this_thread::sleep_until(Next);
    const TSimBytes Frame = OneTraceFrame(i);
    Written[static_cast<std::size_t>(i)].store(TClock::now().time_since_epoch().count());
    const ssize_t Wrote = write(Fd, Frame.data(), Frame.size());
    if (Wrote != static_cast<ssize_t>(Frame.size()))
      std::fprintf(stderr, "short write %zd\n", Wrote);
    Done(i);
  }
}

// A one-shot flag a writer can wait for.
struct TSignal {
  std::mutex Lock;
  std::condition_variable Changed;
  int Count = 0;
  void Raise() {
    {
      std::lock_guard G(Lock);
      ++Count;
    }
    Changed.notify_all();
  }
  void WaitFor(int N) {
    std::unique_lock G(Lock);
    Changed.wait(G, [&] { return Count >= N; });
  }
};

std::vector<double> FloorLatency(int Frames) {
  TSimPty Pty;
  const int Device = open(Pty.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  const int Poll = epoll_create1(0);
  epoll_event Event{};
  Event.events = EPOLLIN | EPOLLET;
  epoll_ctl(Poll, EPOLL_CTL_ADD, Device, &Event);
  TWritten Written(static_cast<std::size_t>(Frames));
  std::vector<double> Latency;
  TSignal Received;
  std::thread Reader([&] {
    std::uint8_t Buffer[4096];
    std::size_t Got = 0;
    int Frame = 0;
    while (Frame < Frames) {
      epoll_event Ready{};
      if (epoll_wait(Poll, &Ready, 1, -1) <= 0)
        continue;
      ssize_t N;
      while ((N = read(Device, Buffer, sizeof Buffer)) > 0)
        Got += static_cast<std::size_t>(N);
      while (Got >= 266 && Frame < Frames) {
        Got -= 266;
        Latency.push_back(MicroSince(Written, Frame));
        ++Frame;
        Received.Raise();
      }
    }
  });
  WriteFrames(Pty.MasterFd(), Frames, std::chrono::microseconds(10000), Written,
              [&](int i) { Received.WaitFor(i + 1); });
  Reader.join();
  close(Poll);
  close(Device);
  return Latency;
}

std::vector<double> ClientLatency(int Frames, QSize& ScopeSize) {
  TSimPty Pty;
  InitComPortErrors();
  std::vector<double> Latency;
  {
    TMainWindow Form("/nonexistent/config.ini");
    Form.show();
    QCoreApplication::processEvents();
    Form.resize(Form.size() + QSize(615, 284) - Form.Scope->size());
    QCoreApplication::processEvents();
    ScopeSize = Form.Scope->size();

    TWritten Written(static_cast<std::size_t>(Frames));
    TSignal Painted;
    int Done = 0;
    // Runs on the main thread once the frame is decoded and the picture
    // repainted (the repaint happens inside the frame's handling).
    Form.Core().ScopeLink().OnFrameDone = [&](std::string_view, int) {
      Latency.push_back(MicroSince(Written, Done));
      if (std::getenv("HXT24_BENCH_TRACE") && Latency.back() > 1000)
        std::fprintf(stderr, "frame %d: %.0f us\n", Done, Latency.back());
      if (++Done == Frames)
        QCoreApplication::quit();
      Painted.Raise();
    };
    Form.Core().ConnectTo(Pty.DevicePath());
    std::thread Writer([&] {
      WriteFrames(Pty.MasterFd(), Frames, std::chrono::microseconds(10000), Written,
                  [&](int i) { Painted.WaitFor(i + 1); });
    });
    QApplication::exec();
    Writer.join();
    Form.Core().ComPort().ClosePort();
  }
  DoneComPortErrors();
  return Latency;
}

// ---- Other processes ----

struct TChild {
  pid_t Pid = -1;
  std::string FirstLine;
};

TChild Spawn(const std::vector<std::string>& Args, bool ReadFirstLine) {
  int Out[2];
  if (pipe(Out) != 0)
    return {};
  TChild Child;
  Child.Pid = fork();
  if (Child.Pid == 0) {
    dup2(Out[1], STDOUT_FILENO);
    close(Out[0]);
    close(Out[1]);
    const int Null = open("/dev/null", O_WRONLY);
    dup2(Null, STDERR_FILENO);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::vector<char*> Argv;
    for (const auto& A : Args)
      Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    execv(Argv[0], Argv.data());
    _exit(127);
  }
  close(Out[1]);
  if (ReadFirstLine) {
    char C;
    while (read(Out[0], &C, 1) == 1 && C != '\n')
      Child.FirstLine += C;
  }
  close(Out[0]);
  return Child;
}

void Stop(TChild& Child) {
  if (Child.Pid > 0) {
    kill(Child.Pid, SIGTERM);
    waitpid(Child.Pid, nullptr, 0);
    Child.Pid = -1;
  }
}

// utime + stime of a process, in clock ticks.
long long CpuTicks(pid_t Pid) {
  std::ifstream In("/proc/" + std::to_string(Pid) + "/stat");
  std::string Stat((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  const auto Close = Stat.rfind(')');
  if (Close == std::string::npos)
    return 0;
  std::istringstream Fields(Stat.substr(Close + 2));
  std::string Field;
  long long UTime = 0, STime = 0;
  for (int i = 3; Fields >> Field; ++i) {
    if (i == 14)
      UTime = std::atoll(Field.c_str());
    if (i == 15) {
      STime = std::atoll(Field.c_str());
      break;
    }
  }
  return UTime + STime;
}

// Context switches (voluntary + involuntary) of every thread, by thread name.
std::vector<std::pair<std::string, long long>> Switches(pid_t Pid) {
  std::vector<std::pair<std::string, long long>> Result;
  const std::string Dir = "/proc/" + std::to_string(Pid) + "/task";
  DIR* Tasks = opendir(Dir.c_str());
  if (!Tasks)
    return Result;
  while (const dirent* Entry = readdir(Tasks)) {
    if (Entry->d_name[0] == '.')
      continue;
    std::ifstream In(Dir + "/" + Entry->d_name + "/status");
    std::string Line, Name;
    long long Count = 0;
    while (std::getline(In, Line)) {
      if (Line.rfind("Name:", 0) == 0)
        Name = Line.substr(6);
      if (Line.find("ctxt_switches:") != std::string::npos)
        Count += std::atoll(Line.substr(Line.find(':') + 1).c_str());
    }
    Result.emplace_back(Name + "/" + Entry->d_name, Count);
  }
  closedir(Tasks);
  std::sort(Result.begin(), Result.end());
  return Result;
}

long long Total(const std::vector<std::pair<std::string, long long>>& S) {
  long long T = 0;
  for (const auto& [Name, Count] : S)
    T += Count;
  return T;
}

void Sleep(double Seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(Seconds));
}

void MeasureCpu(double Seconds) {
  const long Ticks = sysconf(_SC_CLK_TCK);
  TChild Sim = Spawn({HXT24_SIM_PATH}, true);
  TChild Client = Spawn({HXT24_CLIENT_PATH, "--port", Sim.FirstLine}, false);
  Sleep(2);
  const long long C0 = CpuTicks(Client.Pid), S0 = CpuTicks(Sim.Pid);
  Sleep(Seconds);
  const long long C1 = CpuTicks(Client.Pid), S1 = CpuTicks(Sim.Pid);
  Stop(Client);
  Stop(Sim);
  const auto Share = [&](long long Delta) {
    return 100.0 * static_cast<double>(Delta) / (Seconds * static_cast<double>(Ticks));
  };
  const double ClientShare = Share(C1 - C0), SimShare = Share(S1 - S0);
  std::printf(
      "cpu over %.0f s at 5760 B/s: client %.2f %% of a core, simulator %.2f %%, ratio %.1fx "
      "(tick %ld/s)\n",
      Seconds, ClientShare, SimShare, SimShare > 0 ? ClientShare / SimShare : 0.0, Ticks);
}

void MeasureIdle(double Seconds) {
  TSimPty Silent;
  const auto Run = [&](const std::vector<std::string>& Args) {
    TChild Client = Spawn(Args, false);
    Sleep(2);
    const auto Before = Switches(Client.Pid);
    Sleep(Seconds);
    const auto After = Switches(Client.Pid);
    Stop(Client);
    std::printf("  %s:", Args.size() > 1 ? "connected, silent line" : "no port open");
    for (const auto& [Name, Count] : After) {
      long long Was = 0;
      for (const auto& [N, C] : Before)
        if (N == Name)
          Was = C;
      std::printf(" %s %.2f/s", Name.c_str(), static_cast<double>(Count - Was) / Seconds);
    }
    std::printf("\n");
    return static_cast<double>(Total(After) - Total(Before)) / Seconds;
  };
  std::printf("idle wake-ups over %.0f s, per thread:\n", Seconds);
  const double Unconnected = Run({HXT24_CLIENT_PATH});
  const double Connected = Run({HXT24_CLIENT_PATH, "--port", Silent.DevicePath()});
  std::printf("idle wake-ups: connected %.2f/s, no port open %.2f/s (difference %.2f/s)\n",
              Connected, Unconnected, Connected - Unconnected);
}

// ---- Start-up ----

// In a process started for the start-up measure: the first paint of the
// watched widget prints the monotonic clock (nanoseconds) and ends the
// process, once the paint (and the flush after it) are done.
class TFirstPaint : public QObject {
public:
  explicit TFirstPaint(bool Client) : FClient(Client) {}

protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::Paint && !FSeen) {
      const bool Wanted = FClient ? dynamic_cast<TPaintBox*>(Watched) != nullptr
                                  : Watched->objectName() == QStringLiteral("Central");
      if (Wanted) {
        FSeen = true;
        QTimer::singleShot(0, [] {
          std::printf("%lld\n",
                      static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                 TClock::now().time_since_epoch())
                                                 .count()));
          std::fflush(stdout);
          std::_Exit(0);
        });
      }
    }
    return false;
  }

private:
  bool FClient;
  bool FSeen = false;
};

bool StartupClient = true;

void InstallFirstPaintWatch() {
  qApp->installEventFilter(new TFirstPaint(StartupClient));
}

// The child's side: the client's own start-up (what main does), or an empty
// main window.
int StartupChild(const std::string& What) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  StartupClient = What == "client";
  // Runs inside the application object's constructor, whoever makes it.
  qAddPreRoutine(&InstallFirstPaintWatch);
  if (StartupClient) {
    char Name[] = "hxt24";
    char* Argv[] = {Name, nullptr};
    return RunHxt24(1, Argv);
  }
  int Argc = 1;
  char Name[] = "empty";
  char* Argv[] = {Name, nullptr};
  QApplication Application(Argc, Argv);
  QMainWindow Window;
  auto* Central = new QWidget(&Window);
  Central->setObjectName(QStringLiteral("Central"));
  Window.setCentralWidget(Central);
  if (What == "menu")
    Window.menuBar()->addMenu(QStringLiteral("&Device"))->addAction(QStringLiteral("&Connect"));
  Window.resize(625, 375);
  Window.show();
  return QApplication::exec();
}

// Milliseconds from just before the fork to the child's first paint.
double StartupOnce(const std::string& What) {
  int Out[2];
  if (pipe(Out) != 0)
    return -1;
  const auto Start = TClock::now();
  const pid_t Pid = fork();
  if (Pid == 0) {
    dup2(Out[1], STDOUT_FILENO);
    close(Out[0]);
    close(Out[1]);
    const int Null = open("/dev/null", O_WRONLY);
    dup2(Null, STDERR_FILENO);
    execl("/proc/self/exe", "app_bench", "--startup-child", What.c_str(), nullptr);
    _exit(127);
  }
  close(Out[1]);
  std::string Line;
  char C;
  while (read(Out[0], &C, 1) == 1 && C != '\n')
    Line += C;
  close(Out[0]);
  waitpid(Pid, nullptr, 0);
  if (Line.empty())
    return -1;
  const TClock::time_point Painted(std::chrono::duration_cast<TClock::duration>(
      std::chrono::nanoseconds(std::atoll(Line.c_str()))));
  return std::chrono::duration<double, std::milli>(Painted - Start).count();
}

void MeasureStartup(int Rounds) {
  std::vector<double> Client, Empty, Menu;
  // In turns, so all see the same load and the same warm caches.
  for (int i = 0; i < Rounds; ++i) {
    Empty.push_back(StartupOnce("empty"));
    Client.push_back(StartupOnce("client"));
    Menu.push_back(StartupOnce("menu"));
  }
  const auto C = Percentiles(Client), E = Percentiles(Empty), M = Percentiles(Menu);
  std::printf("startup to first painted frame, %d rounds: client median %.1f ms (p90 %.1f), "
              "empty main window median %.1f ms (p90 %.1f), main window with a one-item menu "
              "median %.1f ms (p90 %.1f); client / empty %.2fx, client / menu window %.2fx\n",
              Rounds, C.P50, C.P90, E.P50, E.P90, M.P50, M.P90, E.P50 > 0 ? C.P50 / E.P50 : 0.0,
              M.P50 > 0 ? C.P50 / M.P50 : 0.0);
}

} // namespace

int main(int Argc, char** Argv) {
  if (Argc == 3 && std::string(Argv[1]) == "--startup-child")
    return StartupChild(Argv[2]);
  double Seconds = 20;
  int Frames = 500;
  int Rounds = 20;
  std::vector<std::string> What;
  for (int i = 1; i < Argc; ++i) {
    const std::string Arg = Argv[i];
    if (Arg == "--seconds" && i + 1 < Argc)
      Seconds = std::atof(Argv[++i]);
    else if (Arg == "--frames" && i + 1 < Argc)
      Frames = std::atoi(Argv[++i]);
    else if (Arg == "--rounds" && i + 1 < Argc)
      Rounds = std::atoi(Argv[++i]);
    else
      What.push_back(Arg);
  }
  if (What.empty())
    What = {"latency", "cpu", "idle", "startup"};
  signal(SIGPIPE, SIG_IGN);
  for (const auto& W : What) {
    if (W == "latency") {
      setenv("QT_QPA_PLATFORM", "offscreen", 0);
      THxtApplication Application(Argc, Argv);
      QSize Size;
      // The first frames pay for first-time allocations (bitmaps, backing
      // store, fonts); they are reported apart.
      const int WarmUp = 20;
      std::vector<double> All = ClientLatency(Frames + WarmUp, Size);
      const double FirstMax = *std::max_element(All.begin(), All.begin() + WarmUp);
      const auto Client = Percentiles(std::vector<double>(All.begin() + WarmUp, All.end()));
      std::vector<double> FloorAll = FloorLatency(Frames + WarmUp);
      const auto Floor =
          Percentiles(std::vector<double>(FloorAll.begin() + WarmUp, FloorAll.end()));
      std::printf(
          "latency, %d frames after %d warm-up frames, scope area %dx%d: client p50 %.0f us "
          "p90 %.0f us p99 %.0f us max %.0f us; floor (epoll wake-up) p50 %.0f us p90 %.0f us "
          "p99 %.0f us; ratio p50 %.1fx p99 %.1fx; warm-up max %.0f us\n",
          Frames, WarmUp, Size.width(), Size.height(), Client.P50, Client.P90, Client.P99,
          Client.Max, Floor.P50, Floor.P90, Floor.P99, Client.P50 / Floor.P50,
          Client.P99 / Floor.P99, FirstMax);
    } else if (W == "cpu") {
      MeasureCpu(Seconds);
    } else if (W == "idle") {
      MeasureIdle(Seconds / 2);
    } else if (W == "startup") {
      MeasureStartup(Rounds);
    } else {
      std::fprintf(stderr, "unknown measurement %s\n", W.c_str());
      return 2;
    }
  }
  return 0;
}
