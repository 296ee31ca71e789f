#pragma once

#include <string>

#include "scope/PixelImage.h"
#include "scope/ScopeState.h"

// Saving what the scope area shows, through TSafeFile (base/SafeFile.h): the
// new file replaces the target only once all of it is on the disk, so a failed
// save (a full disk included) leaves an earlier file intact. A target that is
// not a regular file (a FIFO, a device, a folder) or is read-only is refused.
// A file that cannot be created or written raises Exception with a message
// naming the file and the system's reason, e.g. Cannot create file
// "/x/plot.txt". Permission denied (resource strings SCannotCreateFile and
// SCannotWriteFile).

// Proposed names of the two save dialogs.
extern const char* const PictureFileName; // "plot.bmp"
extern const char* const ValuesFileName;  // "plot.txt"

// Saves Picture as a BMP file (see EncodeBmp); an empty picture is refused
// (Cannot write file) and leaves an earlier file as it was.
void SavePicture(const std::string& FileName, const TPixelImage& Picture);
// Writes the values file of Panels and Samples (see PlotValuesText).
void SavePlotValues(const std::string& FileName, const TScopePanels& Panels,
                    const TScopeSamples& Samples);
// Writes Contents as the whole file.
void SaveFileContents(const std::string& FileName, const std::string& Contents);
