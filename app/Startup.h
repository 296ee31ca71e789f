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

// Reads the client's own options; anything else (Qt's -platform and the like)
// is left to Qt. An unknown "--" option or a missing value sets Error.
TCommandLine ParseCommandLine(const std::vector<std::string>& Args);

// The text of --help.
const char* CommandLineUsage();

// The whole program: start-up, the message loop, shutdown. Returns the exit
// code.
int RunHxt24(int Argc, char** Argv);
