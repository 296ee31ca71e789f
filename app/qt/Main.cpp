#include "app/qt/Startup.h"

int main(int argc, char* argv[]) {
  return RunHxt24(argc, argv);
}
