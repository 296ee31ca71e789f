#pragma once

#include <string>
#include <vector>

// The program's arguments in UTF-8, the program's name first. On Linux they
// are argv as given; on Windows they come from the wide command line
// (argv there is in the ANSI code page, which cannot hold every file name).
// One source per platform (CommandLinePosix.cpp, CommandLineWin32.cpp).
std::vector<std::string> CommandLineArguments(int argc, char* argv[]);
