#include "scope/ScopeExport.h"

#include "base/Exception.h"
#include "base/Format.h"
#include "base/ResourceStrings.h"
#include "base/SafeFile.h"
#include "scope/BmpFile.h"
#include "scope/PlotValues.h"

const char* const PictureFileName = "plot.bmp";
const char* const ValuesFileName = "plot.txt";

void SaveFileContents(const std::string& FileName, const std::string& Contents) {
  SaveFileWhole(FileName, Contents);
}

void SavePlotValues(const std::string& FileName, const TScopePanels& Panels,
                    const TScopeSamples& Samples) {
  SaveFileWhole(FileName, PlotValuesText(Panels, Samples));
}

void SavePicture(const std::string& FileName, const TPixelImage& Picture) {
  // The target is checked (and the temporary file made) before the picture
  // is encoded, so a name that cannot be used is reported as such.
  TSafeFile File(FileName);
  std::string Bytes;
  try {
    Bytes = EncodeBmp(Picture);
  } catch (const Exception& E) {
    throw Exception(Format(LoadResString(SCannotWriteFile), {FileName, E.Message()}));
  }
  File.Write(Bytes);
  File.Commit();
}
