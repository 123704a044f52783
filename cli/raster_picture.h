// PNG and PDF pictures for varlo-cli. The command line itself draws only through the core's drawing
// context; a build with Qt links cli/qt/raster_picture_qt.cpp, which paints them with the desktop
// program's backend, and a build without Qt links cli/raster_picture_none.cpp, which has none.
#pragma once

#include <functional>
#include <string>

#include "platform/core/drawing_context.h"

namespace varlo::cli {

// Whether this varlo-cli can write .png and .pdf pictures.
bool RasterPicturesAvailable();

// Writes a width x height picture (96 pixels per inch) to path, its type following the extension
// (".png" or ".pdf"). False when the file cannot be written.
bool WriteRasterPicture(const std::string& path, int width, int height, const std::function<void(CDrawContext&)>& draw);

}  // namespace varlo::cli
