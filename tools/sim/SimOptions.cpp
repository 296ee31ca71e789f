#include "tools/sim/SimOptions.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

const char* const SimUsage = R"(Usage: hxt24-sim [OPTIONS]

A simulated HXT24 oscilloscope. It creates a pseudo-terminal, prints the path
of its device end as the first line on stdout (connect the client to it, e.g.
"hxt24 --port /dev/pts/3"), and streams trace frames ("BA", 266 bytes) at the
scope's line rate of 57600 bit/s (5760 bytes/s) until it is stopped (Ctrl+C).

Line:
  --device PATH       write to an existing device instead (a serial port, a
                      pty device end); it is set to 57600 8N1 raw when a tty
  --replay FILE       send the bytes of FILE (a recorded stream) instead of
                      generated frames, then stop
  --frames N          stop after N data frames (default: run until stopped)
  --rate BYTES        bytes per second (default 5760)
  --chunk N           bytes per write (default 64); a chunk is written when
                      its last byte would have arrived at the line rate

Waveform:
  --wave NAME         sine, square, triangle, ramp or noise (default sine)
  --cycles X          periods across the 256 samples (default 2)
  --amplitude N       peak deviation from the middle, 0..128 (default 100)
  --offset N          the middle, 0..255 (default 128)
  --drift X           periods the wave moves per frame (default 0.01)

Settings bytes (shown in the client's status bar):
  --mode NAME         norm, run, once or roll (default run)
  --timebase T        time-base index 0..31 (default 11, 1ms/div);
                      20..31 are the roll time bases 1s/div .. 1h/div
  --volts V           sensitivity index 0..11 (default 4: 0.1v/div with x1)
  --probe x1|x10      probe factor (default x1)
  --coupling ac|dc    input coupling (default ac)
  --hold              hold flag set
  --memory            memory flag set

Frames and faults:
  --single            send single-sample frames ("BS", 12 bytes) as the scope
                      does at the roll time bases (use with --timebase 20..31)
  --record-every N    a "BR" frame after every N data frames
  --noise N           up to N random bytes between frames
  --bad-headers N     a header with a bad length or type before every N-th frame
  --split             write chunks of random size (1 to 2 x --chunk), so
                      frames are split at random points
  --seed N            seed of the random faults and the noise wave (default 1)

  --version           print the version and exit
  --help              print this text and exit
)";

namespace {

// A whole decimal number from Min to Max, nothing else in the text.
template <typename T> bool Number(const std::string& Text, long long Min, long long Max, T& Out) {
  long long Value = 0;
  const char* End = Text.data() + Text.size();
  const auto [Ptr, Ec] = std::from_chars(Text.data(), End, Value);
  if (Text.empty() || Ec != std::errc() || Ptr != End || Value < Min || Value > Max)
    return false;
  Out = static_cast<T>(Value);
  return true;
}

// A decimal fraction from Min to Max (not NaN, not infinite).
bool Real(const std::string& Text, double Min, double Max, double& Out) {
  double Value = 0;
  const char* End = Text.data() + Text.size();
  const auto [Ptr, Ec] = std::from_chars(Text.data(), End, Value);
  if (Text.empty() || Ec != std::errc() || Ptr != End || !(Value >= Min && Value <= Max))
    return false;
  Out = Value;
  return true;
}

// One of Names; Out is its position.
template <typename T>
bool Choice(const std::string& Text, std::initializer_list<const char*> Names, T& Out) {
  int Index = 0;
  for (const char* Name : Names) {
    if (Text == Name) {
      Out = static_cast<T>(Index);
      return true;
    }
    ++Index;
  }
  return false;
}

bool NotEmpty(const std::string& Text, std::string& Out) {
  Out = Text;
  return !Text.empty();
}

struct TOptionRow {
  const char* Name; // without the leading "--"
  bool TakesValue;
  // Stores the value (ignored without one); false when it is not acceptable.
  bool (*Apply)(TSimCommandLine& Line, const std::string& Value);
};

using L = TSimCommandLine;
using S = const std::string&;

const TOptionRow OptionTable[] = {
    {"device", true, [](L& C, S V) { return NotEmpty(V, C.Device); }},
    {"replay", true, [](L& C, S V) { return NotEmpty(V, C.Replay); }},
    {"frames", true, [](L& C, S V) { return Number(V, 0, 1LL << 40, C.Frames); }},
    {"rate", true, [](L& C, S V) { return Real(V, 1, 1e7, C.Rate); }},
    {"chunk", true, [](L& C, S V) { return Number(V, 1, 65536, C.Chunk); }},
    {"wave", true, [](L& C, S V) { return ParseWave(V, C.Scope.Wave); }},
    {"cycles", true, [](L& C, S V) { return Real(V, 0, 128, C.Scope.Cycles); }},
    {"amplitude", true, [](L& C, S V) { return Number(V, 0, 128, C.Scope.Amplitude); }},
    {"offset", true, [](L& C, S V) { return Number(V, 0, 255, C.Scope.Offset); }},
    {"drift", true, [](L& C, S V) { return Real(V, -1, 1, C.Scope.Drift); }},
    {"mode", true,
     [](L& C, S V) {
       return Choice(V, {"norm", "run", "once", "roll"}, C.Scope.Settings.Mode);
     }},
    {"timebase", true, [](L& C, S V) { return Number(V, 0, 31, C.Scope.Settings.TimeBase); }},
    {"volts", true, [](L& C, S V) { return Number(V, 0, 11, C.Scope.Settings.Volts); }},
    {"probe", true,
     [](L& C, S V) {
       return Choice(V, {"x1", "x10"}, C.Scope.Settings.Probe10);
     }},
    {"coupling", true,
     [](L& C, S V) {
       return Choice(V, {"ac", "dc"}, C.Scope.Settings.DC);
     }},
    {"hold", false, [](L& C, S) { return C.Scope.Settings.Hold = true; }},
    {"memory", false, [](L& C, S) { return C.Scope.Settings.Memory = true; }},
    {"single", false, [](L& C, S) { return C.Scope.SingleSamples = true; }},
    {"record-every", true, [](L& C, S V) { return Number(V, 0, 1000000, C.Scope.RecordEvery); }},
    {"noise", true, [](L& C, S V) { return Number(V, 0, 100000, C.Scope.NoiseBytes); }},
    {"bad-headers", true, [](L& C, S V) { return Number(V, 0, 1000000, C.Scope.BadHeaderEvery); }},
    {"split", false, [](L& C, S) { return C.Split = true; }},
    {"seed", true, [](L& C, S V) { return Number(V, 0, 0xFFFFFFFFLL, C.Scope.Seed); }},
    {"help", false, [](L& C, S) { return C.Help = true; }},
    {"version", false, [](L& C, S) { return C.Version = true; }},
};

} // namespace

TSimCommandLine ParseSimOptions(const std::vector<std::string>& Args) {
  TSimCommandLine Line;
  for (std::size_t I = 0; I < Args.size(); ++I) {
    const std::string& Arg = Args[I];
    if (Arg.size() < 3 || Arg.compare(0, 2, "--") != 0)
      throw ESimUsage("unexpected argument '" + Arg + "'");
    const std::size_t Equals = Arg.find('=');
    const std::string Name = Arg.substr(2, Equals == std::string::npos ? Equals : Equals - 2);
    const TOptionRow* Row = nullptr;
    for (const TOptionRow& Candidate : OptionTable)
      if (Name == Candidate.Name)
        Row = &Candidate;
    if (!Row)
      throw ESimUsage("unknown option --" + Name);
    std::string Value;
    if (Equals != std::string::npos) {
      if (!Row->TakesValue)
        throw ESimUsage("--" + Name + " takes no value");
      Value = Arg.substr(Equals + 1);
    } else if (Row->TakesValue) {
      if (I + 1 >= Args.size())
        throw ESimUsage("--" + Name + " needs a value");
      Value = Args[++I];
    }
    if (!Row->Apply(Line, Value))
      throw ESimUsage("invalid value for --" + Name + ": '" + Value + "'");
  }
  return Line;
}
