#include "scope/ScopeExport.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include "base/Exception.h"
#include "base/Format.h"
#include "base/ResourceStrings.h"
#include "base/SafeFile.h"
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

void SavePicture(const std::string& FileName, const QImage& Picture) {
  // The target is checked (and the temporary file made) before the picture
  // is encoded, so a name that cannot be used is reported as such.
  TSafeFile File(FileName);
  QByteArray Bytes;
  QBuffer Buffer(&Bytes);
  Buffer.open(QIODevice::WriteOnly);
  QImageWriter Writer(&Buffer, "BMP");
  if (!Writer.write(Picture))
    throw Exception(
        Format(LoadResString(SCannotWriteFile), {FileName, Writer.errorString().toStdString()}));
  File.Write(std::string_view(Bytes.constData(), static_cast<std::size_t>(Bytes.size())));
  File.Commit();
}
