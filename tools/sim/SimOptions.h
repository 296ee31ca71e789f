#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "sim/SimFrames.h"

// Command line of hxt24-sim (SimUsage is its --help text).
struct TSimCommandLine {
  TSimOptions Scope;     // waveform, settings bytes, frames and faults
  std::string Device;    // write to this device instead of a new pseudo-terminal
  std::string Replay;    // send the bytes of this file instead of generated frames
  long long Frames = -1; // stop after this many data frames (-1: run until stopped)
  double Rate = 5760;    // bytes per second
  int Chunk = 64;        // bytes per write
  bool Split = false;    // chunks of random size
  bool Help = false;
  bool Version = false;
};

// A command line that cannot be used; the message says why.
class ESimUsage : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

extern const char* const SimUsage;

// Options are "--name VALUE" or "--name=VALUE", in any order; a later one wins.
TSimCommandLine ParseSimOptions(const std::vector<std::string>& Args);
