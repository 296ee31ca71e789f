#pragma once

#include <string>

// The version of this build of the programs, stamped by the build
// (ProgramVersion.cpp is generated from the project's version).
extern const char* const ProgramVersion;

// "<Program> <version>", one line: what --version prints.
std::string VersionLine(const std::string& Program);

// Writes Text (a usage or version text) on the standard output and returns the
// exit status for --help and --version: 0, or 1 with a line on stderr naming
// Program when the text could not be written (a full disk, a closed pipe).
int PrintProgramInfo(const std::string& Program, const std::string& Text);
