// What the canvas writes: the classic metafile of "Create Metafile..", the SVG, PNG and PDF
// pictures, and the printed page. The metafile is also opened by a real reader where one exists.
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "editor/varlo_view.h"
#include "model/mm1k_queue.h"
#include "platform/qt/qt_draw_context.h"
#include "wmf_reader_probe.h"

using namespace varlo;

namespace {

struct Network {
  CVarloDoc doc;
  CVarloView view{&doc};
  Network() {
    view.resize(500, 400);
    CGraphicNode* a = doc.CreateNode(60, 80);
    a->shape = kShapeCircle;
    a->size = 12;
    CGraphicNode* b = doc.CreateNode(340, 80);
    b->shape = kShapeRectangle;
    CGraphicNode* c = doc.CreateNode(200, 260);
    auto join = [&](CGraphicNode* x, CGraphicNode* y) {
      auto forward = std::make_unique<C_MM1K_Queue>(x, y, 1000.0, 10.0, 0.0);
      forward->N = 10.0;  // full: a bar in buffer colour 2
      doc.AddLink(std::make_unique<CGraphicLink>(x, y, std::move(forward),
                                                 std::make_unique<C_MM1K_Queue>(y, x, 1000.0, 10.0, 0.0)));
    };
    join(a, b);
    join(b, c);
    join(c, a);
  }
};

int CountNonWhite(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if ((image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF && qAlpha(image.pixel(x, y)) > 0) ++count;
  return count;
}

}  // namespace

class CanvasOutputTest : public QObject {
  Q_OBJECT

 private slots:
  void metafileIsAClassicWmf() {
    Network net;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("net.wmf"));
    QVERIFY(net.view.WriteMetafile(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.size() > 18);
    // Metafile header: type 1 (in memory) or 2 (on disk), header size 9 words, version 0x0300.
    QVERIFY(bytes[0] == 1 || bytes[0] == 2);
    QCOMPARE(static_cast<unsigned char>(bytes[2]), 9);
    QCOMPARE(static_cast<unsigned char>(bytes[5]), 0x03);
    // It ends with the end record (size 3 words, function 0).
    QCOMPARE(bytes.right(6), QByteArray::fromHex("030000000000"));
  }

  void metafileOpensInARealReader() {
    const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
    if (const std::string missing = varlo::test_tools::WmfReaderMissing(); !missing.empty())
      QSKIP(missing.c_str());
    Network net;
    QTemporaryDir dir;
    const QString wmf = dir.filePath(QStringLiteral("net.wmf"));
    const QString png = dir.filePath(QStringLiteral("net.png"));
    QVERIFY(net.view.WriteMetafile(wmf));
    QProcess process;
    process.start(convert, {wmf, png});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    QImage image(png);
    QVERIFY(!image.isNull());
    QVERIFY(CountNonWhite(image) > 200);
    if (qEnvironmentVariableIsSet("VARLO_KEEP_PICTURES")) {
      QFile::copy(wmf, qEnvironmentVariable("VARLO_KEEP_PICTURES") + QStringLiteral("/canvas.wmf"));
      QFile::copy(png, qEnvironmentVariable("VARLO_KEEP_PICTURES") + QStringLiteral("/canvas_wmf.png"));
    }
  }

  void picturesByExtension() {
    Network net;
    QTemporaryDir dir;
    for (const char* name : {"net.svg", "net.png", "net.pdf"}) {
      const QString path = dir.filePath(QString::fromLatin1(name));
      QVERIFY2(net.view.ExportImage(path), name);
      QVERIFY2(QFileInfo(path).size() > 200, name);
    }
    QVERIFY(!net.view.ExportImage(dir.filePath(QStringLiteral("net.bmpx"))));
    QFile svg(dir.filePath(QStringLiteral("net.svg")));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    const QByteArray text = svg.readAll();
    QVERIFY(text.contains("<svg"));
    QVERIFY(text.contains("N1"));
    QFile pdf(dir.filePath(QStringLiteral("net.pdf")));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QVERIFY(pdf.read(5) == "%PDF-");
    // The PNG is what the screen shows.
    const QImage png(dir.filePath(QStringLiteral("net.png")));
    QCOMPARE(png.size(), net.view.viewport()->size());
    QCOMPARE(png.pixelColor(60, 80), QColor(0xC0, 0xC0, 0xFF));  // inside the circle
  }

  void printedPageLooksLikeTheScreen() {
    // The page as print preview shows it: recorded at the printer's 1200 dpi, replayed at a tenth.
    // Printable area 9300 x 13300 device units; the network (largest point 340, 260) is fitted
    // into it less 300: 9000 / 340 = 26.47 device units per model unit, 2.647 image pixels.
    Network net;
    const int dpi = 1200;
    QPicture picture;
    {
      QPainter painter(&picture);
      net.view.PaintPage(painter, QRect(0, 0, 9300, 13300), dpi);
    }
    QImage page(930, 1330, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
      QPainter painter(&page);
      painter.scale(0.1, 0.1);
      picture.play(&painter);
    }
    const double s = 9000.0 / 340.0 * 0.1;
    auto at = [&](double x, double y) { return page.pixelColor(int(x * s), int(y * s)); };
    // On the link from (60,80) to (340,80) beside the handle: the line is drawn (black by default).
    QVERIFY(at(270, 80) != QColor(Qt::white));
    // Twelve model units off the line, clear of every other element: white paper, as on the screen.
    QCOMPARE(at(270, 92), QColor(Qt::white));
    QCOMPARE(at(270, 68), QColor(Qt::white));
    // Inside the circle of node 1 (size 12): its fill colour, not a bar or a white erasing stroke.
    QCOMPARE(at(60, 80), QColor(0xC0, 0xC0, 0xFF));

    // The screen rendering scaled to the same size covers about as much paper with ink.
    QImage screen(340 + 40, 260 + 40, QImage::Format_RGB32);
    screen.fill(Qt::white);
    {
      QPainter painter(&screen);
      CQtDrawContext dc(painter);
      net.view.PaintNetwork(dc, screen.size());
    }
    const QImage scaled = screen.scaled(int(screen.width() * s), int(screen.height() * s), Qt::IgnoreAspectRatio,
                                        Qt::SmoothTransformation);
    const int w = std::min(page.width(), scaled.width()), h = std::min(page.height(), scaled.height());
    const QImage printedPart = page.copy(0, 0, w, h), screenPart = scaled.copy(0, 0, w, h);
    if (qEnvironmentVariableIsSet("VARLO_KEEP_PICTURES")) {
      page.save(qEnvironmentVariable("VARLO_KEEP_PICTURES") + QStringLiteral("/printed_page.png"));
      scaled.save(qEnvironmentVariable("VARLO_KEEP_PICTURES") + QStringLiteral("/screen_scaled.png"));
    }
    const double ratio = double(CountNonWhite(printedPart)) / CountNonWhite(screenPart);
    QVERIFY2(ratio > 0.5 && ratio < 2.0, qPrintable(QString::number(ratio)));
  }

  void printingFitsTheNetworkToThePage() {
    Network net;
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("page.pdf")));
    net.view.PrintTo(&printer);
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("page.pdf"))).size() > 200);
    // An empty network prints an empty page instead of failing on a zero extent.
    CVarloDoc empty;
    CVarloView view(&empty);
    printer.setOutputFileName(dir.filePath(QStringLiteral("empty.pdf")));
    view.PrintTo(&printer);
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("empty.pdf"))).exists());
  }
};

QTEST_MAIN(CanvasOutputTest)
#include "canvas_output_test.moc"
