// The picture exports of the canvas and the graph window: one picture of the window's client size,
// painted through the drawing context, written as PNG, SVG or PDF according to the file's suffix.
#pragma once

#include <QSize>
#include <QString>
#include <functional>

namespace varlo {

class CDrawContext;

// Writes the picture that paint draws into a client of the given size. PNG and SVG are on white;
// PDF is one page of the client's size at 96 dpi; the SVG carries title. False for another suffix
// or when the file cannot be written.
bool ExportPicture(const QString& path, QSize client, const QString& title,
                   const std::function<void(CDrawContext&)>& paint);

}  // namespace varlo
