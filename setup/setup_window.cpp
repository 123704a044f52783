#include "setup/setup_window.h"

#include <QFont>
#include <QIcon>
#include <QPainter>
#include <QScreen>

namespace varlo {

namespace {

constexpr int kBandCount = 64;
constexpr int kInset = 20;        // pixels between the window edge and the texts
constexpr int kShadowOffset = 3;  // pixels the grey layer lies right of and above the white one

QFont SetupFont(int pixelHeight, int weight) {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelHeight);
  font.setWeight(static_cast<QFont::Weight>(weight));
  font.setItalic(true);
  return font;
}

}  // namespace

QColor SetupBandColor(int band) {
  return QColor(0, 0, 255 - 4 * band);
}

void PaintSetupBackground(QPainter& painter, const QRect& client, bool uninstalling) {
  const int bandHeight = client.height() / kBandCount;
  for (int i = 0; i < kBandCount; ++i) {
    const int top = client.top() + i * bandHeight;
    const int bottom = i == kBandCount - 1 ? client.bottom() + 1 : top + bandHeight;
    painter.fillRect(QRect(client.left(), top, client.width(), bottom - top), SetupBandColor(i));
  }

  const QRect inset = client.adjusted(kInset, kInset, -kInset, -kInset);
  const QString title =
      uninstalling ? QStringLiteral("UnInstalling Varlo 1.0 ") : QStringLiteral("Installing Varlo 1.0 ");
  const QColor grey(128, 128, 128);
  painter.setBackgroundMode(Qt::TransparentMode);

  painter.setFont(SetupFont(40, 700));
  painter.setPen(grey);
  painter.drawText(inset.translated(kShadowOffset, -kShadowOffset),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, title);
  painter.setPen(Qt::white);
  painter.drawText(inset, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, title);

  painter.setFont(SetupFont(20, 600));
  const QRect shadow = inset.adjusted(kShadowOffset, kShadowOffset, -kShadowOffset, -kShadowOffset);
  for (const auto& [rect, color] : {std::pair{shadow, grey}, std::pair{inset, QColor(Qt::white)}}) {
    painter.setPen(color);
    painter.drawText(rect, Qt::AlignLeft | Qt::AlignBottom | Qt::TextSingleLine,
                     QLatin1String(kSetupLeftCaption));
    painter.drawText(rect, Qt::AlignRight | Qt::AlignBottom | Qt::TextSingleLine,
                     QLatin1String(kSetupRightCaption));
  }
}

CSetupWindow::CSetupWindow(bool uninstalling, QWidget* parent) : QWidget(parent), uninstalling(uninstalling) {
  setWindowTitle(QStringLiteral("Setup Varlo 1.0"));
  setWindowIcon(QIcon(QStringLiteral(":/setup/varlo.svg")));
  setAttribute(Qt::WA_OpaquePaintEvent);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
}

void CSetupWindow::ShowFilling() {
  if (const QScreen* screen = this->screen()) setGeometry(screen->availableGeometry());
  showMaximized();
}

void CSetupWindow::LockPlace() {
  placeLocked = true;
  lockedGeometry = geometry();
}

void CSetupWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintSetupBackground(painter, rect(), uninstalling);
}

void CSetupWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  if (placeLocked && geometry() != lockedGeometry) setGeometry(lockedGeometry);
}

void CSetupWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (placeLocked && geometry() != lockedGeometry) setGeometry(lockedGeometry);
}

}  // namespace varlo
