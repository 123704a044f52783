#include "platform/qt/picture_file.h"

#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include "platform/qt/qt_draw_context.h"

namespace varlo {

bool WritePictureFile(const std::string& path, int width, int height, const std::function<void(CDrawContext&)>& draw) {
  const QString file = QString::fromStdString(path);
  const QString suffix = QFileInfo(file).suffix().toLower();
  if (suffix == QLatin1String("png")) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
      QPainter painter(&image);
      CQtDrawContext dc(painter);
      draw(dc);
    }
    return image.save(file, "PNG");
  }
  if (suffix == QLatin1String("pdf")) {
    QPdfWriter writer(file);
    writer.setResolution(96);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setPageSize(QPageSize(QSizeF(width * 72.0 / 96.0, height * 72.0 / 96.0), QPageSize::Point));
    QPainter painter;
    if (!painter.begin(&writer)) return false;
    {
      CQtDrawContext dc(painter);
      draw(dc);
    }
    return painter.end();
  }
  return false;
}

}  // namespace varlo
