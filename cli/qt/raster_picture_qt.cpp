// The module that paints varlo-cli's PNG and PDF pictures through the desktop program's QPainter
// backend (cli/raster_picture.h loads it).
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include "cli/raster_picture.h"
#include "platform/qt/picture_file.h"

extern "C" __attribute__((visibility("default"))) bool VarloCliWriteRasterPicture(
    const char* path, int width, int height, const std::function<void(varlo::CDrawContext&)>& draw) {
  // Fonts need a GUI application; without a display the offscreen platform serves.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr &&
      std::getenv("WAYLAND_DISPLAY") == nullptr)
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Qt's notes about the environment (no runtime folder, no display) are not the user's concern here.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
  });
  int argc = 1;
  char name[] = "varlo-cli";
  char* argv[] = {name, nullptr};
  QGuiApplication application(argc, argv);
  return varlo::WritePictureFile(path, width, height, draw);
}

// The entry point has the type varlo-cli calls it by.
static_assert(std::is_same_v<decltype(&VarloCliWriteRasterPicture), varlo::cli::RasterPictureWriter>);
