// Writes and deletions on an arbitrary INI text.
//
// After each step: a written value reads back as written; every other key of
// every section reads as before; a refused write leaves the file byte for
// byte as it was.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>

#include "base/Exception.h"
#include "base/IniFile.h"

namespace {

const std::string& WorkFile() {
  static const std::string File = [] {
    std::string Pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm/hxt24-inifuzz-XXXXXX"
                                                        : "/tmp/hxt24-inifuzz-XXXXXX";
    if (!mkdtemp(Pattern.data()))
      std::abort();
    static std::string Folder = Pattern;
    std::atexit([] {
      unlink((Folder + "/w.ini").c_str());
      rmdir(Folder.c_str());
    });
    return Pattern + "/w.ini";
  }();
  return File;
}

std::string FileText(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

// Every key the readers see, by lower-case section and key.
std::map<std::pair<std::string, std::string>, std::string> Snapshot(const TIniFile& Ini) {
  auto Lower = [](std::string Text) {
    for (char& C : Text)
      if (C >= 'A' && C <= 'Z')
        C = static_cast<char>(C - 'A' + 'a');
    return Text;
  };
  std::map<std::pair<std::string, std::string>, std::string> Keys;
  for (const auto& Section : Ini.ReadSections())
    for (const auto& Key : Ini.ReadSection(Section))
      Keys[{Lower(Section), Lower(Key)}] = Ini.ReadString(Section, Key, "");
  return Keys;
}

[[noreturn]] void Finding(const char* What, const std::string& Detail) {
  std::fprintf(stderr, "%s: %s\n", What, Detail.c_str());
  std::abort();
}

std::string PickName(FuzzedDataProvider& In) {
  static const char* const Names[] = {"ComPort", "comport", " ComPort ", "Port", "port", "A", ""};
  if (In.ConsumeBool())
    return Names[In.ConsumeIntegralInRange<std::size_t>(0, std::size(Names) - 1)];
  return In.ConsumeRandomLengthString(12);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  FuzzedDataProvider In(Data, Size);
  const std::string& File = WorkFile();
  {
    std::ofstream Out(File, std::ios::binary | std::ios::trunc);
    Out << In.ConsumeRandomLengthString(2048);
  }
  TIniFile Ini(File);
  for (int Step = 0; Step < 4 && In.remaining_bytes() > 0; ++Step) {
    const bool Delete = In.ConsumeIntegralInRange<int>(0, 3) == 0;
    const std::string Section = PickName(In);
    const std::string Key = PickName(In);
    const std::string Value = In.ConsumeRandomLengthString(24);
    const std::string Before = FileText(File);
    const auto KeysBefore = Snapshot(Ini);
    try {
      if (Delete)
        Ini.DeleteKey(Section, Key);
      else
        Ini.WriteString(Section, Key, Value);
    } catch (const Exception&) {
      if (FileText(File) != Before)
        Finding("refused write changed the file", Section + "/" + Key);
      continue;
    }
    if (!Delete && Ini.ReadString(Section, Key, "<missing>") != Value)
      Finding("value does not read back", Section + "/" + Key + "=" + Value);
    // Other keys keep their values. The touched key is compared by the
    // readers' rules: trimmed, without regard to ASCII case.
    const auto KeysAfter = Snapshot(Ini);
    for (const auto& [Name, Old] : KeysBefore) {
      const bool Touched =
          SameText(Name.first, TrimText(Section)) && SameText(Name.second, TrimText(Key));
      if (Touched)
        continue;
      const auto It = KeysAfter.find(Name);
      if (It == KeysAfter.end() || It->second != Old)
        Finding("another key changed", Name.first + "/" + Name.second);
    }
  }
  return 0;
}
