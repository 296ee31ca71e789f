// The table of catalogs carried inside an executable: the input is the whole
// file, its first byte (times eight, plus one) where the table starts.
//
// For any file: reading the table ends (it only goes forward), every entry
// read has a name of at most 4096 bytes from a 24-byte header inside the file,
// and each carried name resolves to the executable, any other to itself.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

#include "i18n/gnugettext.h"

namespace {

const std::string& WorkFile() {
  static const std::string File = [] {
    std::string Pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm/hxt24-carried-XXXXXX"
                                                        : "/tmp/hxt24-carried-XXXXXX";
    if (!mkdtemp(Pattern.data()))
      std::abort();
    static std::string Folder = Pattern;
    std::atexit([] {
      unlink((Folder + "/hxt24").c_str());
      rmdir(Folder.c_str());
    });
    return Pattern + "/hxt24";
  }();
  return File;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size == 0)
    return 0;
  const std::string& File = WorkFile();
  {
    std::ofstream Out(File, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
  }
  const std::uint64_t Offset = 1 + 8u * Data[0];
  TAssemblyAnalyzer Analyzer;
  Analyzer.AnalyzeFile(File, Offset);
  // Each entry takes at least its 24-byte header of the file after Offset.
  if (Analyzer.FileCount() > 0 && Offset + 24 * Analyzer.FileCount() > Size) {
    std::fprintf(stderr, "%zu entries from %zu bytes\n", Analyzer.FileCount(), Size);
    std::abort();
  }
  const std::string Base = Analyzer.FileCount() ? Analyzer.BaseDirectory() : "";
  for (const char* Name : {"locale/de/LC_MESSAGES/default.mo", "x", ""}) {
    const auto Resolved = Analyzer.ResolveFile(Base + Name);
    const bool Carried = Analyzer.HasEmbeddedFile(Base + Name);
    if (Resolved.FileName != (Carried ? File : Base + Name)) {
      std::fprintf(stderr, "\"%s\" resolves to \"%s\"\n", Name, Resolved.FileName.c_str());
      std::abort();
    }
  }
  return 0;
}
