#include "platform/qt/icons.h"

#include <QString>
#include <array>

// The resources are compiled into a static library, so their initialiser must be pulled in.
static void InitIconResources() {
  Q_INIT_RESOURCE(icons);
}

namespace varlo {

namespace {

constexpr std::array<const char*, 4> kNodeIconFiles{":/icons/host.png", ":/icons/switch.png",
                                                    ":/icons/join.png", ":/icons/net.png"};
constexpr std::array<const char*, 6> kTreeImageFiles{":/icons/tree_root.png", ":/icons/tree_node.png",
                                                     ":/icons/tree_udp.png",  ":/icons/tree_tcp.png",
                                                     ":/icons/tree_tdp.png",  ":/icons/tree_trace.png"};

void EnsureResources() {
  static const bool initialised = [] {
    InitIconResources();
    return true;
  }();
  (void)initialised;
}

}  // namespace

QImage NodeIconImage(int id) {
  if (id < 0 || id >= static_cast<int>(kNodeIconFiles.size())) return QImage();
  EnsureResources();
  return QImage(QString::fromLatin1(kNodeIconFiles[static_cast<size_t>(id)]));
}

const QPixmap& NodeIconPixmap(int id) {
  // Loaded once, as the icons were at start-up; every canvas draws from the same pixmaps.
  static const std::array<QPixmap, 4> pixmaps = [] {
    std::array<QPixmap, 4> loaded;
    for (size_t i = 0; i < loaded.size(); ++i)
      loaded[i] = QPixmap::fromImage(NodeIconImage(static_cast<int>(i)));
    return loaded;
  }();
  static const QPixmap none;
  if (id < 0 || id >= static_cast<int>(pixmaps.size())) return none;
  return pixmaps[static_cast<size_t>(id)];
}

QIcon TreeImage(int i) {
  if (i < 0 || i >= static_cast<int>(kTreeImageFiles.size())) return QIcon();
  EnsureResources();
  return QIcon(QString::fromLatin1(kTreeImageFiles[static_cast<size_t>(i)]));
}

}  // namespace varlo
