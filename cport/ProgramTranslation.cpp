#include "cport/ProgramTranslation.h"

#include <cstdio>
#include <exception>
#include <string>

#include "cport/ComPortErrors.h"
#include "i18n/gnugettext.h"

namespace {

// The catalog failure handler is a plain function: the program's name for its
// message waits here.
const char* ReportingProgram = "";

void Report(const std::string& Message) {
  std::fprintf(stderr, "%s: %s (texts stay in English)\n", ReportingProgram, Message.c_str());
}

} // namespace

TProgramTranslation::TProgramTranslation(const char* Program) {
  ReportingProgram = Program;
  SetCatalogFailureHandler(&Report);
  try {
    StartTranslation();
    InitComPortErrors();
  } catch (const std::exception& E) {
    DoneComPortErrors();
    Report(E.what());
  }
}

TProgramTranslation::~TProgramTranslation() {
  DoneComPortErrors();
  StopTranslation();
  SetCatalogFailureHandler(nullptr);
}
