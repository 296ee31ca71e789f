#include "tools/dump/DumpPicture.h"

#include "base/Exception.h"

bool DumpDrawsPictures() {
  return false;
}

void SaveDumpPicture(const std::string&, const TScopeSamples&, int, int) {
  throw Exception("this hxt24-dump was built without Qt and cannot draw pictures");
}
