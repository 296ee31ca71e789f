#include "tools/dump/DumpPicture.h"

#include "scope/ScopeExport.h"
#include "scope/ScopeRenderer.h"

void SaveDumpPicture(const std::string& FileName, const TScopeSamples& Samples, int Width,
                     int Height) {
  TScopeRenderer Renderer;
  SavePicture(FileName, Renderer.ScopePaint(Samples, Width, Height));
}
