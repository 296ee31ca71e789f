#include "app/qt/Startup.h"
#include "base/ProgramMain.h"

// Exceptions inside event handlers show in the error box (THxtApplication);
// what escapes start-up or shutdown (out of memory included) ends the program
// with one line on the standard error and exit status 1, never an abort.
int main(int argc, char* argv[]) {
  return RunProgramMain("hxt24", 1, [&] { return RunHxt24(argc, argv); });
}
