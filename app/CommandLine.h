#pragma once

#include <string>
#include <vector>

// What the command line asks for.
struct TCommandLine {
  bool Help = false;
  bool Version = false;
  bool Demo = false;
  std::string Port; // connect at start, as if Connect were confirmed with it
  std::string Error;
};

// Reads the client's own options; anything else (a toolkit's -platform and
// the like) is left to the front end. An unknown "--" option or a missing
// value sets Error.
TCommandLine ParseCommandLine(const std::vector<std::string>& Args);

// The text of --help.
const char* CommandLineUsage();

// The line --version prints: "HXT24 " and the file version.
std::string ClientVersionLine();

// Answers what needs no window: a command-line error (on stderr, exit code 2),
// --help and --version (on stdout, exit code 0). Returns true, with ExitCode
// set, when the program ends here.
bool AnswerCommandLine(const TCommandLine& Line, int& ExitCode);
