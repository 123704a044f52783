#include "platform/qt/picture_export.h"

#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

#include "platform/qt/qt_draw_context.h"

namespace varlo {

bool ExportPicture(const QString& path, QSize client, const QString& title,
                   const std::function<void(CDrawContext&)>& paint) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == QLatin1String("png")) {
    QImage image(client, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
      QPainter painter(&image);
      CQtDrawContext dc(painter);
      paint(dc);
    }
    return image.save(path, "PNG");
  }
  if (suffix == QLatin1String("svg")) {
    QSvgGenerator generator;
    generator.setFileName(path);
    generator.setSize(client);
    generator.setViewBox(QRect(QPoint(0, 0), client));
    generator.setTitle(title);
    QPainter painter;
    if (!painter.begin(&generator)) return false;
    painter.fillRect(QRect(QPoint(0, 0), client), Qt::white);
    CQtDrawContext dc(painter);
    paint(dc);
    return painter.end();
  }
  if (suffix == QLatin1String("pdf")) {
    QPdfWriter writer(path);
    // Screen pixels are 1/96 inch; a PDF point is 1/72 inch.
    writer.setResolution(96);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setPageSize(
        QPageSize(QSizeF(client.width() * 72.0 / 96.0, client.height() * 72.0 / 96.0), QPageSize::Point));
    QPainter painter;
    if (!painter.begin(&writer)) return false;
    CQtDrawContext dc(painter);
    paint(dc);
    return painter.end();
  }
  return false;
}

}  // namespace varlo
