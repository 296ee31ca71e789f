// Runs the hxt24-dump program on recorded streams and checks what it prints.
#include "tools/dump/DumpOptions.h"

#include <cstdio>
#include <string>
#include <fcntl.h>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sys/resource.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "base/IniFile.h"
#include "tests/FileFault.h"
#include "tests/TestUtil.h"
#include "tests/scope/ScopeTestUtil.h"

namespace {

struct TRunResult {
  int Status;
  std::string Out;
};

TRunResult RunDump(const std::string& Args) {
  const std::string Command = std::string(HXT24_DUMP_PATH) + " " + Args + " 2>/dev/null";
  std::FILE* Pipe = popen(Command.c_str(), "r");
  if (!Pipe)
    return {-1, ""};
  std::string Out;
  char Buffer[4096];
  std::size_t N;
  while ((N = std::fread(Buffer, 1, sizeof Buffer, Pipe)) > 0)
    Out.append(Buffer, N);
  const int Status = pclose(Pipe);
  return {WIFEXITED(Status) ? WEXITSTATUS(Status) : -1, Out};
}

// Runs the program through the shell with Redirections (e.g. ">/dev/full");
// returns the exit status.
// Shell, when given, runs first (a limit, a trap).
int RunDumpShell(const std::string& Args, const std::string& Shell = "") {
  const int Status = std::system((Shell + std::string(HXT24_DUMP_PATH) + " " + Args).c_str());
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

std::vector<std::uint8_t> RecordedStream() {
  std::vector<std::uint8_t> S = {0x00, 0x13, 0x42, 0x42, 0x00, 0x00, 0x00, 0x00, 0x00};
  std::vector<std::uint8_t> Samples(256, 100);
  Samples[0] = 0;
  Append(S, MakeTraceFrame(0x0B, 0x04, Samples));
  Append(S, MakeSingleSampleFrame(0xD6, 0xE9, 14, 7)); // t = 22: position 2
  Append(S, MakeFrame('R', 0, 0, {1, 2, 3}));
  return S;
}

class DumpTool : public ::testing::Test {
protected:
  DumpTool() {
    const auto S = RecordedStream();
    WriteTextFile(Input, std::string(S.begin(), S.end()));
  }
  TTempDir Dir;
  const std::string Input = Dir.File("stream.bin");
};

const char* const ExpectedFrames = "1 BA 266 norm|X=1ms/div|Y=0.1v/div|||AC|x1\n"
                                   "2 BS 12 roll|X=5s/div|Y=4v/div|Hold|Memory|DC|x1\n"
                                   "3 BR 10 roll|X=5s/div|Y=4v/div|Hold|Memory|DC|x1\n";

TEST_F(DumpTool, PrintsOneLinePerFrameWhateverTheChunking) {
  for (const char* Chunking :
       {"", "--chunk 1", "--chunk 7", "--chunks 1,2,300", "--chunk 100000"}) {
    SCOPED_TRACE(Chunking);
    const TRunResult R = RunDump(std::string(Chunking) + " " + Input);
    EXPECT_EQ(R.Status, 0);
    EXPECT_EQ(R.Out, ExpectedFrames);
  }
}

TEST_F(DumpTool, SamplesLineFollowsEachFrame) {
  const TRunResult R = RunDump("--samples " + Input);
  ASSERT_EQ(R.Status, 0);
  std::string Values = " ";
  for (int I = 0; I < 256; ++I)
    Values += " " + std::to_string(I == 0 ? 256 : I == 2 ? 7 : 100);
  std::string First = " ";
  for (int I = 0; I < 256; ++I)
    First += " " + std::to_string(I == 0 ? 256 : 100);
  EXPECT_EQ(R.Out, "1 BA 266 norm|X=1ms/div|Y=0.1v/div|||AC|x1\n" + First +
                       "\n2 BS 12 roll|X=5s/div|Y=4v/div|Hold|Memory|DC|x1\n" + Values +
                       "\n3 BR 10 roll|X=5s/div|Y=4v/div|Hold|Memory|DC|x1\n" + Values + "\n");
}

TEST_F(DumpTool, WritesTheValuesFileAndThePictureOfTheFinalState) {
  const std::string Values = Dir.File("plot.txt");
  const std::string Picture = Dir.File("plot.bmp");
  const TRunResult R =
      RunDump("--values " + Values + " --bmp " + Picture + " --size 320x200 " + Input);
  ASSERT_EQ(R.Status, 0);
  const std::string Text = ReadTextFile(Values);
  const std::string Head = "Trigger=roll\r\nX=5s/div\r\nY=4v/div\r\nHold=Hold\r\n"
                           "Memory=Memory\r\nAC/DC=DC\r\nProbe=x1\r\n\r\n0=256\r\n1=100\r\n";
  EXPECT_EQ(Text.substr(0, Head.size()), Head);
  EXPECT_NE(Text.find("\r\n2=7\r\n3=100\r\n"), std::string::npos);
  const std::string Bmp = ReadTextFile(Picture);
  ASSERT_GT(Bmp.size(), 26u);
  EXPECT_EQ(Bmp.substr(0, 2), "BM");
  EXPECT_EQ(static_cast<unsigned char>(Bmp[18]) + 256 * static_cast<unsigned char>(Bmp[19]), 320);
  EXPECT_EQ(static_cast<unsigned char>(Bmp[22]) + 256 * static_cast<unsigned char>(Bmp[23]), 200);
}

TEST_F(DumpTool, ExitStatus) {
  EXPECT_EQ(RunDump(Dir.File("missing.bin")).Status, 2);
  EXPECT_EQ(RunDump(Dir.Path().string()).Status, 2); // a folder cannot be read
  EXPECT_EQ(RunDump("--chunk 0 " + Input).Status, 2);
  EXPECT_EQ(RunDump("--bmp x.bmp " + Input).Status, 2);
  EXPECT_EQ(RunDump("--values " + Dir.File("no/such/dir.txt") + " " + Input).Status, 1);
  // An empty recording prints nothing and succeeds.
  WriteTextFile(Dir.File("empty.bin"), "");
  const TRunResult Empty = RunDump(Dir.File("empty.bin"));
  EXPECT_EQ(Empty.Status, 0);
  EXPECT_EQ(Empty.Out, "");
}

// A recorded simulator stream (noise and bad headers between the frames) and
// the lines this build prints for it, both checked in: the Windows build's
// test expects the same lines from hxt24-dump.exe.
TEST(DumpRecording, SimulatedStreamGivesTheCheckedInLines) {
  const std::string Data = HXT24_SOURCE_DIR "/tests/scope/data/";
  const TRunResult R = RunDump("--samples " + Data + "sim-stream.bin");
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(R.Out, ReadTextFile(Data + "sim-stream.lines"));
}

// The port is set up for the scope, then takes what the settings file holds;
// --save-settings writes every group. The frames are printed as ever.
// An output that cannot be written is exit status 1 with a message; nothing
// is replaced by a file that is not complete, and a FIFO or device named as an
// output is left as it is.
// The peak resident memory of a running process, in KiB (0 when unknown).
long PeakMemoryKiB(pid_t Process) {
  std::ifstream Status("/proc/" + std::to_string(Process) + "/status");
  std::string Line;
  while (std::getline(Status, Line))
    if (Line.rfind("VmHWM:", 0) == 0)
      return std::atol(Line.c_str() + 6);
  return 0;
}

// A recording that does not end (a device, a pipe, a file still growing) is
// read as a stream: under a 1 GiB address-space limit the program takes far
// more than that limit could hold, in little memory, and still finds the
// frames that follow.
TEST_F(DumpTool, EndlessInputIsReadInBoundedMemory) {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer's shadow memory needs more address space than the limit.
  const bool Limited = false;
  const int MiB = 300;
#else
  const bool Limited = true;
  const int MiB = 600;
#endif
  int In[2];
  ASSERT_EQ(pipe(In), 0);
  const std::string Out = Dir.File("out.txt");
  const pid_t Child = fork();
  ASSERT_GE(Child, 0);
  if (Child == 0) {
    dup2(In[0], 0);
    close(In[0]);
    close(In[1]);
    const int Fd = open(Out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(Fd, 1);
    const rlimit Limit{1u << 30, 1u << 30};
    if (Limited && setrlimit(RLIMIT_AS, &Limit) != 0)
      _exit(126);
    execl(HXT24_DUMP_PATH, HXT24_DUMP_PATH, "--chunks", "4096,70000", "/dev/stdin", nullptr);
    _exit(127);
  }
  close(In[0]);
  const auto OldPipe = std::signal(SIGPIPE, SIG_IGN);
  auto WriteAll = [&](const void* Data, std::size_t Size) {
    const char* Bytes = static_cast<const char*>(Data);
    while (Size > 0) {
      const ssize_t N = write(In[1], Bytes, Size);
      if (N <= 0)
        return false;
      Bytes += N;
      Size -= static_cast<std::size_t>(N);
    }
    return true;
  };
  const std::vector<char> Zeros(1 << 20, 0);
  int Written = 0;
  while (Written < MiB && WriteAll(Zeros.data(), Zeros.size()))
    ++Written;
  EXPECT_EQ(Written, MiB) << "the program ended after " << Written << " MiB";
  const long Peak = PeakMemoryKiB(Child);
  EXPECT_GT(Peak, 0);
  EXPECT_LT(Peak, MiB * 1024 / 4);
  const auto Stream = RecordedStream();
  EXPECT_TRUE(WriteAll(Stream.data(), Stream.size()));
  close(In[1]);
  std::signal(SIGPIPE, OldPipe);
  int Status = 0;
  ASSERT_EQ(waitpid(Child, &Status, 0), Child);
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << Status;
  EXPECT_EQ(ReadTextFile(Out), ExpectedFrames);
}

TEST_F(DumpTool, OutputThatCannotBeWrittenIsExit1) {
  const std::string Err = Dir.File("err");
  // The values file asked for is still written.
  const std::string Values = Dir.File("values.txt");
  EXPECT_EQ(RunDumpShell("--values " + Values + " " + Input + " >/dev/full 2>" + Err), 1);
  EXPECT_EQ(ReadTextFile(Err),
            "hxt24-dump: cannot write the standard output: No space left on device\n");
  EXPECT_EQ(ReadTextFile(Values).substr(0, 13), "Trigger=roll\r");
  std::filesystem::remove(Values);

  // A file system that takes no more (here: the file size limit, 512 bytes):
  // the earlier files stay as they were.
  const std::string Earlier = Dir.File("earlier");
  WriteTextFile(Earlier, "earlier");
  for (const char* Option : {"--values", "--bmp"}) {
    SCOPED_TRACE(Option);
    const std::string Size = std::string(Option) == "--bmp" ? " --size 64x48 " : " ";
    EXPECT_EQ(RunDumpShell(Option + (" " + Earlier) + Size + Input + " >/dev/null 2>" + Err,
                           "ulimit -f 1; trap '' XFSZ; exec "),
              1);
    EXPECT_EQ(ReadTextFile(Err),
              "hxt24-dump: Cannot write file \"" + Earlier + "\". File too large\n");
    EXPECT_EQ(ReadTextFile(Earlier), "earlier");
  }
  std::filesystem::remove(Earlier);

  const std::string Fifo = Dir.File("fifo");
  ASSERT_EQ(mkfifo(Fifo.c_str(), 0666), 0);
  for (const char* Option : {"--values", "--save-settings", "--bmp"}) {
    SCOPED_TRACE(Option);
    const std::string Size = std::string(Option) == "--bmp" ? " --size 64x48 " : " ";
    EXPECT_EQ(
        RunDumpShell(std::string(Option) + " " + Fifo + Size + Input + " >/dev/null 2>" + Err), 1);
    EXPECT_EQ(ReadTextFile(Err),
              "hxt24-dump: Cannot create file \"" + Fifo + "\". Not a regular file\n");
    struct stat Info {};
    ASSERT_EQ(lstat(Fifo.c_str(), &Info), 0);
    EXPECT_TRUE(S_ISFIFO(Info.st_mode));
  }
  EXPECT_EQ(FolderNames(Dir.Path()).size(), 3u); // stream.bin, err, fifo: no leftovers
}

TEST_F(DumpTool, PortSettingsFromAndToAFile) {
  const std::string In = Dir.File("in.ini"), Out = Dir.File("out.ini");
  const std::string Settings = "; mine\n[comport]\nPort=/dev/ttyUSB0\nBaudRate=115200\n"
                               "Parity=Even\nFlowControl.XonChar=Q\n[Other]\nx=1\n";
  WriteTextFile(In, Settings);
  const TRunResult R = RunDump("--settings " + In + " --save-settings " + Out + " " + Input);
  EXPECT_EQ(R.Status, 0);
  EXPECT_EQ(R.Out, ExpectedFrames);
  EXPECT_EQ(ReadTextFile(In), Settings);
  TIniFile Saved(Out);
  EXPECT_EQ(Saved.ReadSection("ComPort").size(), 28u);
  const std::pair<const char*, const char*> Expected[] = {{"Port", "/dev/ttyUSB0"},
                                                          {"BaudRate", "115200"},
                                                          {"DataBits", "8"},
                                                          {"StopBits", "1"},
                                                          {"Parity", "Even"},
                                                          {"FlowControl", "Custom"},
                                                          {"Buffer.InputSize", "1024"},
                                                          {"FlowControl.ControlRTS", "Enable"},
                                                          {"FlowControl.XonChar", "Q"},
                                                          {"FlowControl.XoffChar", "#19"},
                                                          {"Timeouts.ReadInterval", "-1"}};
  for (const auto& [Key, Value] : Expected)
    EXPECT_EQ(Saved.ReadString("ComPort", Key, "<missing>"), Value) << Key;

  // Without --settings the scope's own line settings are saved.
  ASSERT_EQ(RunDump("--save-settings " + Out + " " + Input).Status, 0);
  EXPECT_EQ(Saved.ReadString("ComPort", "BaudRate", ""), "57600");
  EXPECT_EQ(Saved.ReadString("ComPort", "Port", ""), "COM1");

  EXPECT_EQ(RunDump("--settings " + Dir.File("missing.ini") + " " + Input).Status, 2);
  EXPECT_EQ(RunDump("--settings " + Dir.Path().string() + " " + Input).Status, 2);
  EXPECT_EQ(RunDump("--save-settings " + Dir.File("no/such/dir.ini") + " " + Input).Status, 1);
}

TEST(DumpOptions, CommandLines) {
  const TDumpOptions D = ParseDumpOptions({"in.bin"});
  EXPECT_EQ(D.Chunks, std::vector<int>{4096});
  EXPECT_FALSE(D.Samples);
  const TDumpOptions C = ParseDumpOptions({"--chunks", "1,20,3", "--samples", "--bmp", "p.bmp",
                                           "--size", "615x284", "--values", "v.txt", "in.bin"});
  EXPECT_EQ(C.Chunks, (std::vector<int>{1, 20, 3}));
  EXPECT_TRUE(C.Samples);
  EXPECT_EQ(C.BmpFile, "p.bmp");
  EXPECT_EQ(C.Width, 615);
  EXPECT_EQ(C.Height, 284);
  EXPECT_EQ(C.ValuesFile, "v.txt");
  EXPECT_EQ(C.InputFile, "in.bin");
  const TDumpOptions S =
      ParseDumpOptions({"--settings", "a.ini", "in.bin", "--save-settings", "b.ini"});
  EXPECT_EQ(S.SettingsFile, "a.ini");
  EXPECT_EQ(S.SaveSettingsFile, "b.ini");
  for (const std::vector<std::string>& Bad :
       std::vector<std::vector<std::string>>{{},
                                             {"--chunk", "0", "in"},
                                             {"--chunk", "-3", "in"},
                                             {"--chunk", "12k", "in"},
                                             {"--chunks", "1,,2", "in"},
                                             {"--chunks", "1,2,", "in"},
                                             {"--chunk", "4", "--chunks", "1", "in"},
                                             {"--size", "615", "--bmp", "x", "in"},
                                             {"--size", "0x10", "--bmp", "x", "in"},
                                             {"--size", "615x284x1", "--bmp", "x", "in"},
                                             {"--chunk"},
                                             {"in", "--settings"},
                                             {"--frobnicate", "in"},
                                             {"a", "b"}}) {
    std::string Line;
    for (const auto& A : Bad)
      Line += A + " ";
    EXPECT_THROW(ParseDumpOptions(Bad), EUsage) << Line;
  }
}

// ---- Live mode, on a pseudo-terminal ----

TEST(DumpOptions, LiveCommandLines) {
  const TDumpOptions L = ParseDumpOptions(
      {"--port", "/dev/pts/9", "--raw", "--record", "r.bin", "--frames", "5", "--seconds", "2"});
  EXPECT_EQ(L.PortName, "/dev/pts/9");
  EXPECT_TRUE(L.Raw);
  EXPECT_EQ(L.RecordFile, "r.bin");
  EXPECT_EQ(L.Frames, 5);
  EXPECT_EQ(L.Seconds, 2);
  for (const std::vector<std::string>& Bad :
       std::vector<std::vector<std::string>>{{"--port", "x", "in.bin"}, // a file and a port
                                             {"--raw", "in.bin"},
                                             {"--frames", "3", "in.bin"},
                                             {"--port", ""},
                                             {"--port", "x", "--frames", "0"},
                                             {"--port", "x", "--seconds", "-1"}})
    EXPECT_THROW(ParseDumpOptions(Bad), EUsage) << Bad[0] << " " << Bad[1];
}

TEST(DumpOptions, ListPortsStandsAlone) {
  EXPECT_TRUE(ParseDumpOptions({"--list-ports"}).ListPorts);
  for (const std::vector<std::string>& Bad : std::vector<std::vector<std::string>>{
           {"--list-ports", "in.bin"}, {"in.bin", "--list-ports"}, {"--port", "x", "--list-ports"}})
    EXPECT_THROW(ParseDumpOptions(Bad), EUsage) << Bad[0] << " " << Bad[1];
}

// What this machine has is not known here: every line is a device path, a
// tab and a description without line breaks.
TEST(DumpListPorts, OneLinePerPortPathTabDescription) {
  const TRunResult Result = RunDump("--list-ports");
  EXPECT_EQ(Result.Status, 0);
  std::size_t Start = 0;
  while (Start < Result.Out.size()) {
    const std::size_t End = Result.Out.find('\n', Start);
    ASSERT_NE(End, std::string::npos) << "a last line without its end";
    const std::string Line = Result.Out.substr(Start, End - Start);
    EXPECT_EQ(Line.rfind("/dev/", 0), 0u) << Line;
    EXPECT_NE(Line.find('\t'), std::string::npos) << Line;
    Start = End + 1;
  }
}

// A pseudo-terminal whose other end the test drives, and the dump program
// started on its device end.
class DumpLive : public ::testing::Test {
protected:
  DumpLive() {
    Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0)
      throw std::runtime_error("no pseudo-terminal");
    Device = ptsname(Master);
  }
  ~DumpLive() override {
    if (Master >= 0)
      close(Master);
  }
  // Shell is run before the program (a limit, a trap).
  void Start(const std::string& Args, const std::string& Shell = "") {
    Child = fork();
    if (Child == 0) {
      const std::string Command = Shell + std::string(HXT24_DUMP_PATH) + " --port " + Device + " " +
                                  Args + " >" + Dir.File("out") + " 2>" + Dir.File("err");
      execl("/bin/sh", "sh", "-c", Command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  int Finish() {
    int Status = 0;
    waitpid(Child, &Status, 0);
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  }
  // The line is usable once the program has put it into raw mode (before
  // that, the terminal's line editing would eat or change the bytes).
  void AwaitRawMode() {
    for (int Tries = 0; Tries < 4000; ++Tries) {
      const int Probe = open(Device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      termios Mode{};
      const bool Raw = Probe >= 0 && tcgetattr(Probe, &Mode) == 0 && !(Mode.c_lflag & ICANON);
      if (Probe >= 0)
        close(Probe);
      if (Raw)
        return;
      usleep(5000);
    }
    FAIL() << "the program never configured the line";
  }
  void Write(const std::vector<std::uint8_t>& Bytes) {
    ASSERT_EQ(write(Master, Bytes.data(), Bytes.size()), ssize_t(Bytes.size()));
  }

  TTempDir Dir;
  int Master = -1;
  std::string Device;
  pid_t Child = -1;
};

TEST_F(DumpLive, PrintsTheFramesAndRecordsAStreamTheFileModeReplays) {
  Start("--frames 3 --record " + Dir.File("rec.bin"));
  AwaitRawMode();
  Write(RecordedStream());
  ASSERT_EQ(Finish(), 0) << ReadTextFile(Dir.File("err"));
  EXPECT_EQ(ReadTextFile(Dir.File("out")), ExpectedFrames);
  const TRunResult Replayed = RunDump(Dir.File("rec.bin"));
  EXPECT_EQ(Replayed.Status, 0);
  EXPECT_EQ(Replayed.Out, ExpectedFrames);
}

// A settings file configures the line the program opens; the device named
// on the command line wins over the file's "Port".
// The record cannot be written (here: beyond the file size limit): the run
// ends, exit status 1, and an earlier recording of that name is untouched.
TEST_F(DumpLive, RecordThatCannotBeWrittenIsExit1AndKeepsTheEarlierFile) {
  const std::string Record = Dir.File("rec.bin");
  WriteTextFile(Record, "earlier");
  // 1 block of 512 bytes; the signal the limit raises is ignored, so the
  // write fails with EFBIG.
  Start("--frames 60 --seconds 20 --record " + Record, "ulimit -f 1; trap '' XFSZ; exec ");
  AwaitRawMode();
  fcntl(Master, F_SETFL, fcntl(Master, F_GETFL) | O_NONBLOCK);
  const auto Stream = RecordedStream();
  for (int I = 0; I < 20; ++I) {
    if (write(Master, Stream.data(), Stream.size()) < 0)
      break;
    usleep(20000);
  }
  EXPECT_EQ(Finish(), 1);
  EXPECT_NE(ReadTextFile(Dir.File("err"))
                .find("hxt24-dump: Cannot write file \"" + Record + "\". File too large\n"),
            std::string::npos)
      << ReadTextFile(Dir.File("err"));
  EXPECT_EQ(ReadTextFile(Record), "earlier");
}

TEST_F(DumpLive, SettingsFileReachesTheLine) {
  const std::string Settings = Dir.File("port.ini");
  WriteTextFile(Settings, "[ComPort]\nPort=/dev/no-such-port\nBaudRate=19200\nDataBits=7\n"
                          "Parity=Even\nStopBits=2\n");
  Start("--settings " + Settings + " --frames 3");
  AwaitRawMode();
  termios Mode{};
  ASSERT_EQ(tcgetattr(Master, &Mode), 0);
  // A pseudo-terminal keeps the rate and the stop bits but always reports
  // eight data bits without parity; those two are checked on stderr.
  EXPECT_EQ(cfgetospeed(&Mode), speed_t(B19200));
  EXPECT_NE(Mode.c_cflag & CSTOPB, 0u);
  Write(RecordedStream());
  ASSERT_EQ(Finish(), 0) << ReadTextFile(Dir.File("err"));
  EXPECT_EQ(ReadTextFile(Dir.File("out")), ExpectedFrames);
  EXPECT_NE(ReadTextFile(Dir.File("err"))
                .find("Port=" + Device + " BaudRate=19200 DataBits=7 Parity=Even StopBits=2"),
            std::string::npos)
      << ReadTextFile(Dir.File("err"));
}

TEST_F(DumpLive, HangUpMidFrameIsAPortErrorAndEndsTheRun) {
  const auto Stream = RecordedStream();
  Start("--raw");
  AwaitRawMode();
  Write(std::vector<std::uint8_t>(Stream.begin(), Stream.begin() + 40));
  // Hang up once the program has read from the line.
  for (int Tries = 0; Tries < 2000 && ReadTextFile(Dir.File("out")).empty(); ++Tries)
    usleep(5000);
  close(Master);
  Master = -1;
  EXPECT_EQ(Finish(), 3);
  const std::string Err = ReadTextFile(Dir.File("err"));
  EXPECT_NE(Err.find("hxt24-dump: WaitForEvent method failed (win error code: 5)\n"),
            std::string::npos)
      << Err;
  // One report: the refused purge while closing is not a second one.
  EXPECT_EQ(Err.find("PurgeComm"), std::string::npos) << Err;
}

} // namespace
