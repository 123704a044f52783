// What the canvas writes: the classic metafile of "Create Metafile..", the SVG, PNG and PDF
// pictures, and the printed page. The metafile is also opened by a real reader where one exists.
#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "editor/varlo_view.h"
#include "model/mm1k_queue.h"

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
    if (convert.isEmpty()) QSKIP("ImageMagick is not installed");
    Network net;
    QTemporaryDir dir;
    const QString wmf = dir.filePath(QStringLiteral("net.wmf"));
    const QString png = dir.filePath(QStringLiteral("net.png"));
    QVERIFY(net.view.WriteMetafile(wmf));
    QProcess process;
    process.start(convert, {wmf, png});
    QVERIFY(process.waitForFinished(60000));
    if (process.exitCode() != 0 && process.readAllStandardError().contains("NoDecodeDelegate"))
      QSKIP("ImageMagick cannot read metafiles here");
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
