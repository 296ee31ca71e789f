#include "scope/ScopeExport.h"

#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>
#include <QString>

#include "base/Exception.h"
#include "base/Format.h"
#include "scope/PlotValues.h"

const char* const PictureFileName = "plot.bmp";
const char* const ValuesFileName = "plot.txt";

// The exports' runtime messages; the first %s is the file name, the second the
// system's reason.
const char* const SCannotCreateFile = "Cannot create file \"%s\". %s";
const char* const SCannotWriteFile = "Cannot write file \"%s\". %s";

namespace {
const char* const SPermissionDenied = "Permission denied";

std::string Reason(const QSaveFile& File) {
  return File.errorString().toStdString();
}

[[noreturn]] void RaiseFileError(const char* Message, const std::string& FileName,
                                 const std::string& Why) {
  throw Exception(Format(Message, {FileName, Why}));
}

// Opens the temporary file that replaces FileName on commit.
void OpenForWriting(QSaveFile& File, const std::string& FileName) {
  // Replacing a read-only file would succeed through the rename; refuse it as
  // the system refuses to open such a file for writing.
  const QFileInfo Existing(File.fileName());
  if (Existing.exists() && Existing.isFile() && !Existing.isWritable())
    RaiseFileError(SCannotCreateFile, FileName, SPermissionDenied);
  if (!File.open(QIODevice::WriteOnly))
    RaiseFileError(SCannotCreateFile, FileName, Reason(File));
}

void Commit(QSaveFile& File, const std::string& FileName) {
  if (!File.commit())
    RaiseFileError(SCannotWriteFile, FileName, Reason(File));
}
} // namespace

void SaveFileContents(const std::string& FileName, const std::string& Contents) {
  QSaveFile File(QString::fromStdString(FileName));
  OpenForWriting(File, FileName);
  const auto Size = static_cast<qint64>(Contents.size());
  if (File.write(Contents.data(), Size) != Size) {
    const std::string Why = Reason(File);
    File.cancelWriting();
    RaiseFileError(SCannotWriteFile, FileName, Why);
  }
  Commit(File, FileName);
}

void SavePlotValues(const std::string& FileName, const TScopePanels& Panels,
                    const TScopeSamples& Samples) {
  SaveFileContents(FileName, PlotValuesText(Panels, Samples));
}

void SavePicture(const std::string& FileName, const QImage& Picture) {
  QSaveFile File(QString::fromStdString(FileName));
  OpenForWriting(File, FileName);
  QImageWriter Writer(&File, "BMP");
  if (!Writer.write(Picture)) {
    const std::string Why =
        File.error() != QFileDevice::NoError ? Reason(File) : Writer.errorString().toStdString();
    File.cancelWriting();
    RaiseFileError(SCannotWriteFile, FileName, Why);
  }
  Commit(File, FileName);
}
