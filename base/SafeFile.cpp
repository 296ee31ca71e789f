#include "base/SafeFile.h"

#include <random>
#include <utility>

namespace {

TFileFault& FaultHook() {
  static TFileFault Hook;
  return Hook;
}

std::function<std::string()>& NameSource() {
  static std::function<std::string()> Source;
  return Source;
}

std::string RandomPart() {
  if (const auto& Source = NameSource())
    return Source();
  // Unpredictable, so that nobody can plant anything at the name beforehand.
  static std::random_device Random;
  std::uint64_t Bits = (static_cast<std::uint64_t>(Random()) << 32) ^ Random();
  std::string Text(16, '0');
  for (char& Digit : Text) {
    Digit = "0123456789abcdef"[Bits & 15];
    Bits >>= 4;
  }
  return Text;
}

bool IsDigit(char C) {
  return C >= '0' && C <= '9';
}

} // namespace

std::string ScratchName(const std::string& FileName, unsigned long ProcessId) {
  return FileName + ".~" + std::to_string(ProcessId) + "-" + RandomPart();
}

unsigned long ScratchOwner(std::string_view Entry, std::string_view Base) {
  if (!Entry.starts_with(Base) || Entry.substr(Base.size(), 2) != ".~")
    return 0;
  Entry.remove_prefix(Base.size() + 2);
  std::uint64_t Pid = 0;
  std::size_t i = 0;
  for (; i < Entry.size() && IsDigit(Entry[i]) && i < 10; ++i)
    Pid = Pid * 10 + static_cast<std::uint64_t>(Entry[i] - '0');
  if (i == 0 || i >= Entry.size() || Entry[i] != '-' || i + 1 == Entry.size() || Pid > 0xFFFFFFFFu)
    return 0;
  // Earlier writers counted attempts in decimal; both kinds are recognised.
  for (char C : Entry.substr(i + 1))
    if (!IsDigit(C) && !(C >= 'a' && C <= 'f'))
      return 0;
  return static_cast<unsigned long>(Pid);
}

void SetScratchNameSource(std::function<std::string()> Source) {
  NameSource() = std::move(Source);
}

void SetFileFault(TFileFault Fault) {
  FaultHook() = std::move(Fault);
}

int FileFault(TFileStep Step) {
  const TFileFault& Hook = FaultHook();
  return Hook ? Hook(Step) : 0;
}

void SaveFileWhole(const std::string& FileName, std::string_view Contents) {
  TSafeFile File(FileName);
  File.Write(Contents);
  File.Commit();
}
