// Port discovery over a made-up sysfs and /dev tree: the input is a list of
// entries, one a line, that the run creates below a scratch folder in memory:
//   d PATH            a folder (parents made as needed)
//   f PATH=TEXT       a file with TEXT ("\n" for a line break)
//   l PATH>TARGET     a symbolic link to the relative TARGET
// PATH starts with "sys/" or "dev/". No name has ".." and no link is absolute,
// so nothing outside the scratch folder is ever reached.
//
// For any tree: discovery ends, lists each device path at most once, every
// name is below the fake /dev (a stable name below its serial/by-id), and
// every description is one line.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <unistd.h>

#include "cport/platform/PosixPorts.h"

namespace fs = std::filesystem;

namespace {

const fs::path& Root() {
  static const fs::path Folder = [] {
    std::string Pattern =
        access("/dev/shm", W_OK) == 0 ? "/dev/shm/hxt24-ports-XXXXXX" : "/tmp/hxt24-ports-XXXXXX";
    if (!mkdtemp(Pattern.data()))
      std::abort();
    static std::string Made = Pattern;
    std::atexit([] {
      std::error_code Ignored;
      fs::remove_all(Made, Ignored);
    });
    return fs::path(Pattern);
  }();
  return Folder;
}

// A relative path of plain names, or false.
bool SafePath(std::string_view Text) {
  if (Text.empty() || Text.front() == '/' || Text.size() > 200)
    return false;
  std::size_t Start = 0;
  while (Start <= Text.size()) {
    const std::size_t Slash = std::min(Text.find('/', Start), Text.size());
    const std::string_view Name = Text.substr(Start, Slash - Start);
    if (Name == "..")
      return false;
    for (char C : Name)
      if (static_cast<unsigned char>(C) < ' ' || C == 0x7F)
        return false;
    Start = Slash + 1;
  }
  return true;
}

void Make(std::string_view Line) {
  if (Line.size() < 3 || Line[1] != ' ')
    return;
  const char Kind = Line[0];
  Line.remove_prefix(2);
  std::error_code Error;
  std::string_view Path = Line, Rest;
  if (Kind == 'f' || Kind == 'l') {
    const std::size_t Split = Line.find(Kind == 'f' ? '=' : '>');
    if (Split == std::string_view::npos)
      return;
    Path = Line.substr(0, Split);
    Rest = Line.substr(Split + 1);
  }
  if (!SafePath(Path) || !(Path.starts_with("sys/") || Path.starts_with("dev/")))
    return;
  const fs::path Full = Root() / Path;
  fs::create_directories(Full.parent_path(), Error);
  if (Kind == 'd') {
    fs::create_directories(Full, Error);
  } else if (Kind == 'f') {
    std::string Text;
    for (std::size_t i = 0; i < Rest.size(); ++i)
      if (Rest[i] == '\\' && i + 1 < Rest.size() && Rest[i + 1] == 'n')
        Text += '\n', ++i;
      else
        Text += Rest[i];
    std::ofstream(Full, std::ios::binary) << Text;
  } else if (Kind == 'l' && SafePath(Rest)) {
    fs::create_symlink(std::string(Rest), Full, Error);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view Input(reinterpret_cast<const char*>(Data), Size);
  std::error_code Error;
  for (const auto& Entry : fs::directory_iterator(Root()))
    fs::remove_all(Entry.path(), Error);
  std::size_t Lines = 0;
  for (std::size_t Pos = 0; Pos < Input.size() && Lines < 64; ++Lines) {
    const std::size_t End = std::min(Input.find('\n', Pos), Input.size());
    Make(Input.substr(Pos, End - Pos));
    Pos = End + 1;
  }
  const std::string Sys = (Root() / "sys").string(), Dev = (Root() / "dev").string();
  std::set<std::string> Seen;
  for (const TComPortInfo& Port : DiscoverPosixPorts(Sys, Dev)) {
    if (!Port.Name.starts_with(Dev + "/") || !Seen.insert(Port.Name).second ||
        Port.Description.find('\n') != std::string::npos) {
      std::fprintf(stderr, "bad port: \"%s\" \"%s\"\n", Port.Name.c_str(),
                   Port.Description.c_str());
      std::abort();
    }
  }
  return 0;
}
