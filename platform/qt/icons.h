// The program's own artwork: the four 32x32 node icons (host, switch, join, net, in IconId order)
// and the six 16x16 images of the class tree (root, node, UDP Poisson, TCP, time-dependent
// Poisson, trace). They live in the resource file resources/icons.qrc.
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace varlo {

// Node icon id (0..3) as a pixmap; a null pixmap for any other id. Needs a QGuiApplication.
const QPixmap& NodeIconPixmap(int id);
// The same icon as an image (usable without a screen, e.g. for metafiles).
QImage NodeIconImage(int id);
// Class-tree image i (0..5); a null icon for any other index.
QIcon TreeImage(int i);

}  // namespace varlo
