// Pictures drawn through the drawing context into PNG or PDF files on a QPainter, for callers
// without a window (varlo-cli plot). Needs a QGuiApplication for the fonts.
#pragma once

#include <functional>
#include <string>

#include "platform/core/drawing_context.h"

namespace varlo {

// Writes a width x height picture (96 pixels per inch) to path; the type follows the extension
// (".png" or ".pdf"). False when the type is another or the file cannot be written.
bool WritePictureFile(const std::string& path, int width, int height, const std::function<void(CDrawContext&)>& draw);

}  // namespace varlo
