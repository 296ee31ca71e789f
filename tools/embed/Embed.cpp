// hxt24-embed: makes an executable carry its catalogs.
//
//   hxt24-embed [-o OUTPUT] EXECUTABLE DIR [NAME...]
//   hxt24-embed --help | --version
//
// Appends the files NAME (relative to DIR; by default every .mo file under
// DIR/locale) to EXECUTABLE, then the table that describes them, and writes
// the table's offset behind the executable's catalog marker. The names are
// stored as given, relative to the executable's folder, so a carried
// "locale/de/LC_MESSAGES/default.mo" stands in for that file beside it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/ProgramMain.h"
#include "base/CommandLine.h"
#include "base/ProgramInfo.h"
#include "base/SafeFile.h"
#include "i18n/gnugettext.h"

namespace fs = std::filesystem;

namespace {

// Names are UTF-8 here; std::filesystem takes them as such only through char8_t.
fs::path PathOf(const std::string& Utf8) {
  return fs::path(std::u8string(Utf8.begin(), Utf8.end()));
}

std::string Utf8Of(const fs::path& Path) {
  const std::u8string Text = Path.generic_u8string();
  return std::string(Text.begin(), Text.end());
}

std::string ReadFile(const fs::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In)
    throw std::runtime_error("cannot read " + Utf8Of(Path));
  return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

void PutLittleEndian64(std::string& Out, std::uint64_t Value) {
  for (int i = 0; i < 8; ++i)
    Out += static_cast<char>((Value >> (8 * i)) & 0xFF);
}

std::size_t FindMarker(const std::string& Image) {
  const std::string Text(CarriedCatalogMarkerText);
  const std::size_t At = Image.find(Text);
  if (At == std::string::npos || Image.size() - At < CarriedCatalogMarkerSize)
    throw std::runtime_error("no catalog marker in the executable");
  if (Image.find(Text, At + 1) != std::string::npos)
    throw std::runtime_error("the catalog marker occurs more than once");
  for (std::size_t i = Text.size(); i < CarriedCatalogMarkerSize; ++i)
    if (Image[At + i] != 0)
      throw std::runtime_error("the executable carries catalogs already");
  return At;
}

std::vector<std::string> LocaleFiles(const fs::path& Dir) {
  std::vector<std::string> Names;
  if (!fs::is_directory(Dir / "locale"))
    throw std::runtime_error("no folder " + Utf8Of(Dir / "locale"));
  for (const auto& Entry : fs::recursive_directory_iterator(Dir / "locale"))
    if (Entry.is_regular_file() && Entry.path().extension() == ".mo")
      Names.push_back(Utf8Of(fs::relative(Entry.path(), Dir)));
  std::sort(Names.begin(), Names.end());
  return Names;
}

const char* const EmbedHelp =
    R"(Usage: hxt24-embed [-o OUTPUT] EXECUTABLE DIR [NAME...]

Makes an HXT24 program carry its catalogs: appends the files NAME (relative to
DIR; by default every .mo file under DIR/locale) to EXECUTABLE, with the table
that describes them, so that a single file carries its translations.

  -o OUTPUT   write the result to OUTPUT instead of replacing EXECUTABLE
  --version   print the version and exit
  --help      print this text and exit

Exit status: 0 done, 1 a file cannot be read or written, 2 a bad command line.
)";

int Run(int argc, char* argv[]) {
  std::vector<std::string> Args = CommandLineArguments(argc, argv);
  Args.erase(Args.begin());
  if (!Args.empty() && Args[0] == "--help")
    return PrintProgramInfo("hxt24-embed", EmbedHelp);
  if (!Args.empty() && Args[0] == "--version")
    return PrintProgramInfo("hxt24-embed", VersionLine("hxt24-embed"));
  std::string Output;
  if (Args.size() >= 2 && Args[0] == "-o") {
    Output = Args[1];
    Args.erase(Args.begin(), Args.begin() + 2);
  }
  if (Args.size() < 2) {
    std::fprintf(stderr, "usage: hxt24-embed [-o OUTPUT] EXECUTABLE DIR [NAME...]\n");
    return 2;
  }
  const fs::path Executable = PathOf(Args[0]);
  const fs::path Dir = PathOf(Args[1]);
  if (Output.empty())
    Output = Args[0];
  std::vector<std::string> Names(Args.begin() + 2, Args.end());
  if (Names.empty())
    Names = LocaleFiles(Dir);
  if (Names.empty())
    throw std::runtime_error("nothing to embed");

  std::string Image = ReadFile(Executable);
  const std::size_t Marker = FindMarker(Image);

  struct TCarried {
    std::string Name;
    std::uint64_t Offset, Size;
  };
  std::vector<TCarried> Carried;
  for (const std::string& Name : Names) {
    const std::string Bytes = ReadFile(Dir / PathOf(Name));
    Carried.push_back({Name, Image.size(), Bytes.size()});
    Image += Bytes;
  }
  const std::uint64_t TableOffset = Image.size();
  for (const TCarried& File : Carried) {
    const std::uint64_t Next = Image.size() + 24 + File.Name.size();
    PutLittleEndian64(Image, Next);
    PutLittleEndian64(Image, File.Offset);
    PutLittleEndian64(Image, File.Size);
    Image += File.Name;
  }
  PutLittleEndian64(Image, 0);
  std::string OffsetBytes;
  PutLittleEndian64(OffsetBytes, TableOffset);
  Image.replace(Marker + CarriedCatalogMarkerText.size(), 8, OffsetBytes);

  // Written next to the target and renamed over it once it is on the disk
  // (TSafeFile), so a failure never leaves a half-written executable; the
  // output is as executable as the program it was made from.
  SaveFileWhole(Output, Image);
  fs::permissions(PathOf(Output), fs::status(Executable).permissions());
  std::printf("%zu catalog file(s) embedded, table at %llu\n", Carried.size(),
              static_cast<unsigned long long>(TableOffset));
  return 0;
}

} // namespace

int main(int argc, char* argv[]) {
  return RunProgramMain("hxt24-embed", 1, [&] { return Run(argc, argv); });
}
