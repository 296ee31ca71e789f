#include "scope/ScopeExport.h"

#include <cerrno>
#include <cstring>

#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>
#include <QString>

#include "base/Exception.h"
#include "base/Format.h"
#include "base/ResourceStrings.h"
#include "scope/PlotValues.h"

const char* const PictureFileName = "plot.bmp";
const char* const ValuesFileName = "plot.txt";

namespace {

std::string Reason(const QSaveFile& File) {
  return File.errorString().toStdString();
}

// Message is a resource string: the file name, then the system's reason.
[[noreturn]] void RaiseFileError(const TResStringRec& Message, const std::string& FileName,
                                 const std::string& Why) {
  throw Exception(Format(LoadResString(Message), {FileName, Why}));
}

// Opens the temporary file that replaces FileName on commit.
void OpenForWriting(QSaveFile& File, const std::string& FileName) {
  // Replacing a read-only file would succeed through the rename; refuse it as
  // the system refuses to open such a file for writing.
  const QFileInfo Existing(File.fileName());
  if (Existing.exists() && Existing.isFile() && !Existing.isWritable())
    RaiseFileError(SCannotCreateFile, FileName, std::strerror(EACCES));
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
