// The QPainter drawing context and the artwork: the classic mapping as a world transform, pens
// that never vanish when zoomed out, fonts made before the mapping, icons and tree images, and
// the node and link drawing on real pixels.
#include "platform/qt/qt_draw_context.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QtTest>
#include <memory>

#include "model/mm1k_queue.h"
#include "model/graphic_link.h"
#include "model/graphic_node.h"
#include "platform/core/wmf_writer.h"
#include "platform/qt/icons.h"

using namespace varlo;

namespace {

QImage WhiteImage(int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(Qt::white);
  return image;
}

bool IsWhite(QRgb p) {
  return qRed(p) > 250 && qGreen(p) > 250 && qBlue(p) > 250;
}

}  // namespace

class QtDrawContextTest : public QObject {
  Q_OBJECT

 private slots:
  void artworkLoads() {
    for (int id = 0; id < 4; ++id) {
      QCOMPARE(NodeIconPixmap(id).size(), QSize(32, 32));
      const QImage image = NodeIconImage(id);
      QCOMPARE(image.size(), QSize(32, 32));
      QVERIFY(image.hasAlphaChannel());
      QCOMPARE(qAlpha(image.pixel(0, 0)), 0);  // corners are transparent
    }
    QVERIFY(NodeIconPixmap(4).isNull());
    QVERIFY(NodeIconPixmap(-1).isNull());
    for (int i = 0; i < 6; ++i) {
      const QIcon icon = TreeImage(i);
      QVERIFY(!icon.isNull());
      QCOMPARE(icon.availableSizes().value(0), QSize(16, 16));
    }
    QVERIFY(TreeImage(6).isNull());
  }

  void iconProviderGivesPixelsForMetafiles() {
    IconImage image;
    QVERIFY(NodeIconProvider()(kIconSwitch, image));
    QCOMPARE(image.width, 32);
    QCOMPARE(image.argb.size(), size_t(32 * 32));
    QVERIFY(!NodeIconProvider()(7, image));
  }

  void textConversionKeepsOldSingleByteNames() {
    QCOMPARE(ToQString("Z\xC3\xBCrich"), QString::fromUtf8("Z\xC3\xBCrich"));
    QCOMPARE(ToQString("Z\xFCrich"), QString::fromLatin1("Z\xFCrich"));
  }

  // The canvas at zoom 2: a rectangle stored at (200, 100)-(220, 120) lands at (100, 50)-(110, 60).
  void anisotropicZoomMapsModelToPixels() {
    QImage image = WhiteImage(200, 200);
    {
      QPainter painter(&image);
      CQtDrawContext dc(painter);
      dc.SetMapMode(kMmAnisotropic);
      dc.SetWindowExt(400, 400);
      dc.SetViewportExt(200, 200);
      dc.SelectPen(Pen{PenStyle::kNull, 1, 0});
      dc.SelectBrush(Brush{BrushStyle::kSolid, 0x0000FF});  // red
      dc.Rectangle(200, 100, 220, 120);
    }
    QCOMPARE(image.pixel(105, 55), qRgb(255, 0, 0));
    QVERIFY(IsWhite(image.pixel(95, 55)));
    QVERIFY(IsWhite(image.pixel(115, 55)));
    QVERIFY(IsWhite(image.pixel(105, 45)));
  }

  // A one-unit pen at zoom 6 would be a sixth of a pixel; it still draws one pixel.
  void thinPensStayVisibleWhenZoomedOut() {
    QImage image = WhiteImage(100, 100);
    {
      QPainter painter(&image);
      CQtDrawContext dc(painter);
      dc.SetMapMode(kMmAnisotropic);
      dc.SetWindowExt(600, 600);
      dc.SetViewportExt(100, 100);
      dc.SelectPen(Pen{PenStyle::kSolid, 1, 0x000000});
      dc.MoveTo(0, 300);
      dc.LineTo(600, 300);
    }
    int dark = 0;
    for (int y = 45; y < 55; ++y) dark += qGray(image.pixel(50, y)) < 128 ? 1 : 0;
    QVERIFY(dark >= 1);
  }

  void hollowBrushLeavesTheInsideAlone() {
    QImage image = WhiteImage(60, 60);
    {
      QPainter painter(&image);
      CQtDrawContext dc(painter);
      dc.SelectBrush(Brush{BrushStyle::kHollow, 0});
      dc.SelectPen(Pen{PenStyle::kSolid, 2, 0x000080});
      dc.Rectangle(10, 10, 50, 50);
    }
    QVERIFY(IsWhite(image.pixel(30, 30)));
    QVERIFY(!IsWhite(image.pixel(10, 30)));
  }

  // Screen fonts are made before the zoom mapping: 13 logical units at every zoom, so the text's
  // extent in logical units stays the same and it shrinks on screen.
  void screenFontIsMadeInDeviceUnits() {
    QImage image = WhiteImage(10, 10);
    QPainter painter(&image);
    CQtDrawContext dc(painter);
    const Font font = dc.CreatePointFont(10, "Arial");
    QCOMPARE(font.height, 13);
    dc.SelectFont(font);
    const Size before = dc.GetTextExtent("N1");
    dc.SetMapMode(kMmAnisotropic);
    dc.SetWindowExt(300, 300);
    dc.SetViewportExt(100, 100);
    QCOMPARE(dc.GetTextExtent("N1"), before);
    QVERIFY(before.cx > 5 && before.cy >= 13);
    QCOMPARE(ScreenTextMeasure()(font, "N1"), before);
  }

  void printingUsesThePrinterResolutionForFonts() {
    QImage image = WhiteImage(10, 10);
    image.setDotsPerMeterY(23622);  // 600 dpi
    QPainter painter(&image);
    CQtDrawContext dc(painter, true);
    QVERIFY(dc.IsPrinting());
    QCOMPARE(dc.GetLogPixelsY(), 600);
    QCOMPARE(dc.CreatePointFont(5, "Arial").height, 42);
  }

  void textIsDrawnInTheTextColourBelowItsTopLeft() {
    QImage image = WhiteImage(100, 40);
    {
      QPainter painter(&image);
      CQtDrawContext dc(painter);
      dc.SelectFont(dc.CreatePointFont(10, "Arial"));
      dc.SetTextColor(0x0000FF);
      dc.SetBkMode(kTransparent);
      dc.TextOut(10, 10, "HHHH");
    }
    int red = 0, above = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 100; ++x) {
        const QRgb p = image.pixel(x, y);
        if (qRed(p) > 150 && qGreen(p) < 100) {
          ++red;
          if (y < 10) ++above;
        }
      }
    QVERIFY(red > 10);
    QCOMPARE(above, 0);
  }

  // A plain host node and a full link, drawn on pixels: icon, label and bar all show.
  void nodeAndLinkOnPixels() {
    CGraphicNode a(1, "A", 40, 60);
    CGraphicNode b(2, "B", 240, 60);
    CGraphicLink link(&a, &b, std::make_unique<C_MM1K_Queue>(&a, &b, 1000.0, 10.0, 0.0),
                      std::make_unique<C_MM1K_Queue>(&b, &a, 1000.0, 10.0, 0.0));
    link.GetForwardQueue()->N = 10.0;
    QImage image = WhiteImage(300, 120);
    {
      QPainter painter(&image);
      CQtDrawContext dc(painter);
      dc.SelectFont(dc.CreatePointFont(10, "Arial"));
      link.Draw(dc);
      a.Draw(dc);
      b.Draw(dc);
    }
    // The forward bar (colour 2, blue 192) runs from 56 to 96 units along the line.
    const QRgb bar = image.pixel(80, 60);
    QVERIFY2(qBlue(bar) > 150 && qRed(bar) < 60, qPrintable(QString::number(bar, 16)));
    // The line itself (red 128) beyond the bar.
    const QRgb line = image.pixel(130, 60);
    QVERIFY2(qRed(line) > 90 && qBlue(line) < 60, qPrintable(QString::number(line, 16)));
    // The host icon's middle is not white.
    QVERIFY(!IsWhite(image.pixel(40, 55)));
  }
};

QTEST_MAIN(QtDrawContextTest)
#include "qt_draw_context_test.moc"
