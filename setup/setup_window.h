// The full-screen window behind the wizard: 64 blue bands, the title in two layers and two
// captions along the bottom. Once the installer starts it keeps its place and size.
#pragma once

#include <QRect>
#include <QWidget>

class QPainter;

namespace varlo {

// Paints the background of a client area of the given size (device pixels).
void PaintSetupBackground(QPainter& painter, const QRect& client, bool uninstalling);

// The band colour of band i (0 to 63): blue 255 - 4i, no red or green.
QColor SetupBandColor(int band);

inline constexpr char kSetupLeftCaption[] = "Varlo 1.0  -  network metrics by the Z-iteration method";
inline constexpr char kSetupRightCaption[] = "Tolvane";

class CSetupWindow : public QWidget {
  Q_OBJECT
 public:
  explicit CSetupWindow(bool uninstalling, QWidget* parent = nullptr);

  // Shows the window maximised; it also covers the screen where no window manager maximises.
  void ShowFilling();

  // From now on moves and resizes are undone.
  void LockPlace();
  bool IsPlaceLocked() const { return placeLocked; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool uninstalling;
  bool placeLocked = false;
  QRect lockedGeometry;
};

}  // namespace varlo
