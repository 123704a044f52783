// PNG and PDF pictures for varlo-cli. The command line itself draws only through the core's drawing
// context; its PNG and PDF pictures are painted by the desktop program's Qt backend in a module
// (cli/qt/raster_picture_qt.cpp) that varlo-cli loads only when such a picture is asked for, so that
// its other commands start without loading Qt. A build without Qt has no module.
#pragma once

#include <functional>
#include <string>

#include "platform/core/drawing_context.h"

namespace varlo::cli {

// The module's entry point: writes a width x height picture (96 pixels per inch) to path, its type
// following the extension (".png" or ".pdf"); false when the file cannot be written.
using RasterPictureWriter = bool (*)(const char* path, int width, int height,
                                     const std::function<void(CDrawContext&)>& draw);
inline constexpr const char* kRasterPictureEntry = "VarloCliWriteRasterPicture";

// Why this varlo-cli cannot write .png and .pdf pictures (the module is not built or cannot be
// loaded); empty when it can. Loads the module on the first call.
std::string RasterPicturesUnavailable();

// Writes a picture through the module (see RasterPictureWriter). False when the file cannot be
// written or the module cannot be loaded.
bool WriteRasterPicture(const std::string& path, int width, int height, const std::function<void(CDrawContext&)>& draw);

}  // namespace varlo::cli
