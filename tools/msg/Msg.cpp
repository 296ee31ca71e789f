// hxt24-msg: looks texts up the way the client does, for translators who
// want to check their catalogs.
//
//   hxt24-msg [--dir DIR] [--lang CODE] [--domain NAME] [--resource] TEXT...
//   hxt24-msg --help | --version
//
// One line per TEXT on stdout with CR, LF and backslash written as \r, \n and
// \\; a failure is one line on stderr and exit status 1.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "base/ProgramMain.h"
#include "base/CommandLine.h"
#include "base/Environment.h"
#include "base/ProgramInfo.h"
#include "base/WideText.h"
#include "i18n/gnugettext.h"

namespace {

std::string Escaped(const std::string& Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (const char C : Text) {
    if (C == '\r')
      Out += "\\r";
    else if (C == '\n')
      Out += "\\n";
    else if (C == '\\')
      Out += "\\\\";
    else
      Out += C;
  }
  return Out;
}

const char* const MsgHelp =
    R"(Usage: hxt24-msg [--dir DIR] [--lang CODE] [--domain NAME] [--resource] TEXT...

Looks each TEXT up the way the HXT24 client does and prints one line per text,
with CR, LF and backslash written as \r, \n and \\. For translators checking
their catalogs.

  --dir DIR       the catalog tree (DIR/<lang>/LC_MESSAGES/<domain>.mo); by
                  default the one the programs use
  --lang CODE     the language, in place of LANG
  --domain NAME   the text domain (default "default")
  --resource      translate as the client translates its runtime's messages:
                  over the domains "default", then "cport"
  --              every argument after it is a TEXT
  --version       print the version and exit
  --help          print this text and exit

Exit status: 0 done, 1 a catalog cannot be read, 2 a bad command line.
)";

int Usage(const char* Problem) {
  std::fprintf(stderr,
               "hxt24-msg: %s\nusage: hxt24-msg [--dir DIR] [--lang CODE] [--domain NAME] "
               "[--resource] TEXT...\n",
               Problem);
  return 2;
}

} // namespace

int RunMsg(int argc, char* argv[]) {
  const std::vector<std::string> Args = CommandLineArguments(argc, argv);
  argc = static_cast<int>(Args.size());
  std::string Dir, Lang, Domain = "default";
  bool HaveDir = false, HaveLang = false, Resource = false;
  std::vector<std::string> Texts;
  for (int i = 1; i < argc; ++i) {
    const std::string Arg = Args[i];
    const bool TakesValue = Arg == "--dir" || Arg == "--lang" || Arg == "--domain";
    if (TakesValue && i + 1 >= argc)
      return Usage(("missing value for " + Arg).c_str());
    if (Arg == "--dir")
      Dir = Args[++i], HaveDir = true;
    else if (Arg == "--lang")
      Lang = Args[++i], HaveLang = true;
    else if (Arg == "--domain")
      Domain = Args[++i];
    else if (Arg == "--resource")
      Resource = true;
    else if (Arg == "--help")
      return PrintProgramInfo("hxt24-msg", MsgHelp);
    else if (Arg == "--version")
      return PrintProgramInfo("hxt24-msg", VersionLine("hxt24-msg"));
    else if (Arg == "--")
      Texts.insert(Texts.end(), Args.begin() + i + 1, Args.end()), i = argc;
    else if (Arg.size() > 2 && Arg.compare(0, 2, "--") == 0)
      return Usage(("unknown option " + Arg).c_str());
    else
      Texts.push_back(Arg);
  }
  if (Texts.empty())
    return Usage("no TEXT given");
  // The language code takes the place of LANG, with every rule LANG follows.
  if (HaveLang && !SetEnvironmentValue("LANG", Lang))
    return Usage("cannot set the language");

  int Status = 0;
  try {
    TTranslationSession Session;
    TGnuGettextInstance& Instance = *Translator.load();
    if (Resource) {
      // The client's list: the serial component adds "cport" at start-up.
      AddResourceStringDomain("cport");
      if (HaveDir)
        for (const std::string& Name : ResourceStringDomainList())
          Instance.BindDomain(Name, Dir);
    } else if (HaveDir) {
      Instance.BindDomain(Domain, Dir);
    }
    for (const std::string& Text : Texts) {
      const std::u16string Wide = Utf8ToUtf16(Text);
      const std::u16string Result =
          Resource ? TranslateResourceText(Wide) : Instance.TranslateInDomain(Domain, Wide);
      std::printf("%s\n", Escaped(Utf16ToUtf8(Result)).c_str());
    }
  } catch (const std::exception& E) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", Escaped(E.what()).c_str());
    Status = 1;
  }
  return Status;
}

int main(int argc, char* argv[]) {
  return RunProgramMain("hxt24-msg", 1, [&] { return RunMsg(argc, argv); });
}
