// The exchange-and-validate helper and the node, link, traffic class and class-times dialogs:
// shown values, checks in exchange order with their texts, focus on the failing field, write-back.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "platform/qt/file_dialogs.h"
#include "editor/link_dialog.h"
#include "editor/node_dialog.h"
#include "model/mm1k_queue.h"
#include "gui/dialog_hooks.h"
#include "model/graphic_link.h"
#include "model/graphic_node.h"
#include "editor/class_times_dlg.h"
#include "editor/traffic_class_dlg.h"

using namespace varlo;
using varlo::test::MessageCapture;

namespace {

// Presses OK on a shown dialog; returns whether it closed.
bool Ok(QDialog& dialog) {
  dialog.accept();
  return dialog.result() == QDialog::Accepted;
}

void ShowReady(QDialog& dialog) {
  if (auto* init = dynamic_cast<CInitDialog*>(&dialog)) init->InitOnce();
  dialog.show();
  dialog.activateWindow();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
}

struct LinkFixture {
  CGraphicNode n1{1, "N1", 0, 0};
  CGraphicNode n2{2, "N2", 100, 0};
  CGraphicLink link{&n1, &n2, std::make_unique<C_MM1K_Queue>(&n1, &n2, 1000.0, 5000.0, 0.0),
                    std::make_unique<C_MM1K_Queue>(&n2, &n1, 1000.0, 5000.0, 0.0)};
};

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void doublesShowAsTheFrameworkFormatsThem() {
    QCOMPARE(FormatDouble(1.0), QStringLiteral("1"));
    QCOMPARE(FormatDouble(10000.0), QStringLiteral("10000"));
    QCOMPARE(FormatDouble(0.1), QStringLiteral("0.1"));
    QCOMPARE(FormatDouble(1e-6), QStringLiteral("1e-06"));
    QCOMPARE(FormatDouble(1e12), QStringLiteral("1000000000000"));
  }

  void parsingIsLenientAboutBlanksOnly() {
    double d = 0;
    QVERIFY(ParseDouble(QStringLiteral("  2.5\t"), d));
    QCOMPARE(d, 2.5);
    QVERIFY(ParseDouble(QStringLiteral("1e3"), d));
    QCOMPARE(d, 1000.0);
    QVERIFY(!ParseDouble(QStringLiteral("2.5x"), d));
    QVERIFY(!ParseDouble(QStringLiteral(""), d));
    QVERIFY(!ParseDouble(QStringLiteral("inf"), d));
    int i = 0;
    QVERIFY(ParseInt(QStringLiteral(" -12 "), i));
    QCOMPARE(i, -12);
    QVERIFY(!ParseInt(QStringLiteral("7.9"), i));
    QVERIFY(!ParseInt(QStringLiteral("99999999999"), i));
    unsigned u = 0;
    QVERIFY(!ParseUnsigned(QStringLiteral("-1"), u));
    QVERIFY(ParseUnsigned(QStringLiteral("4000000000"), u));
    QCOMPARE(u, 4000000000u);
  }

  void unsignedFieldsAskForAPositiveInteger() {
    QWidget parent;
    auto* edit = new QLineEdit(&parent);
    unsigned value = 7;
    CDialogExchange exchange;
    exchange.Unsigned(edit, &value);
    exchange.ToControls();
    QCOMPARE(edit->text(), QStringLiteral("7"));
    edit->setText(QStringLiteral("-3"));
    MessageCapture messages;
    QVERIFY(!exchange.FromControls(&parent));
    QCOMPARE(messages.texts, QStringList{QStringLiteral("Please enter a positive integer.")});
    QCOMPARE(value, 7u);
  }

  // --- node dialog --------------------------------------------------------------------------
  void nodeDialogShowsTheNode() {
    CGraphicNode node(4, "Core", 10, 20);
    node.shape = kShapeDiamond;
    node.size = 9;
    CNodeDialog dialog;
    dialog.LoadFrom(node);
    ShowReady(dialog);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Set Node Options"));
    QCOMPARE(dialog.nameEdit->text(), QStringLiteral("Core"));
    QCOMPARE(dialog.sizeEdit->text(), QStringLiteral("9"));
    QCOMPARE(dialog.shapeList->currentText(), QStringLiteral("Diamond"));
    QCOMPARE(dialog.shapeList->count(), 7);
    QCOMPARE(dialog.shapeList->itemText(6), QStringLiteral("Icon - Net"));
  }

  void nodeSizeRuleForIcons_data() {
    QTest::addColumn<int>("shape");
    QTest::addColumn<QString>("sizeText");
    QTest::addColumn<int>("stored");
    QTest::newRow("Icon - Net, 5") << int(kShapeIconNet) << "5" << 16;
    QTest::newRow("Icon - Host, 7") << int(kShapeIconHost) << "7" << 16;
    QTest::newRow("Icon - Join, 20") << int(kShapeIconJoin) << "20" << 16;
    QTest::newRow("Icon - Switch, 5") << int(kShapeIconSwitch) << "5" << 5;
    QTest::newRow("Circle, 3") << int(kShapeCircle) << "3" << 3;
  }
  void nodeSizeRuleForIcons() {
    QFETCH(int, shape);
    QFETCH(QString, sizeText);
    QFETCH(int, stored);
    CGraphicNode node(1, "N1", 0, 0);
    test::DialogScript script([&](QDialog& d) {
      auto& dialog = static_cast<CNodeDialog&>(d);
      dialog.shapeList->setCurrentIndex(shape);
      dialog.sizeEdit->setText(sizeText);
      dialog.nameEdit->setText(QStringLiteral("Edge"));
      return test::PressOk(dialog);
    });
    QVERIFY(EditNodeProperties(node, nullptr));
    QCOMPARE(node.size, stored);
    QCOMPARE(node.shape, shape);
    QCOMPARE(node.GetName(), std::string("Edge"));
  }

  void nodeSizeOutOfRangeIsRefusedWithFocus() {
    CGraphicNode node(1, "N1", 0, 0);
    CNodeDialog dialog;
    dialog.LoadFrom(node);
    ShowReady(dialog);
    dialog.shapeList->setCurrentIndex(kShapeCircle);
    dialog.nameEdit->setText(QStringLiteral("renamed"));
    dialog.sizeEdit->setText(QStringLiteral("2"));
    MessageCapture messages;
    QVERIFY(!Ok(dialog));
    QCOMPARE(messages.texts, QStringList{QStringLiteral("Please enter an integer between 3 and 20.")});
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.focusWidget(), dialog.sizeEdit);
    // Size is first in the exchange: nothing after it was read.
    QCOMPARE(dialog.name, std::string("N1"));
    dialog.sizeEdit->setText(QString());
    QVERIFY(!Ok(dialog));
    QCOMPARE(messages.texts.last(), QStringLiteral("Please enter an integer."));
    dialog.sizeEdit->setText(QStringLiteral("20"));
    QVERIFY(Ok(dialog));
  }

  void cancellingAfterPickingColoursChangesNothing() {
    CGraphicNode node(1, "N1", 0, 0);
    const ColorRef fore = node.foreColor, back = node.backColor, text = node.textColor;
    const ColorRefPicker picker(0x123456);
    test::DialogScript script([](QDialog& d) {
      auto& dialog = static_cast<CNodeDialog&>(d);
      dialog.foreButton->click();
      dialog.backButton->click();
      dialog.textButton->click();
      return test::PressCancel(dialog);
    });
    QVERIFY(!EditNodeProperties(node, nullptr));
    QCOMPARE(node.foreColor, fore);
    QCOMPARE(node.backColor, back);
    QCOMPARE(node.textColor, text);

    LinkFixture f;
    const LinkStyle before = f.link.GetStyle();
    test::DialogScript linkScript([](QDialog& d) {
      auto& dialog = static_cast<CLinkDialog&>(d);
      dialog.lineColorButton->click();
      dialog.buffer1Button->click();
      dialog.buffer2Button->click();
      return test::PressCancel(dialog);
    });
    QVERIFY(!EditLinkProperties(f.link, nullptr));
    QCOMPARE(f.link.lineColor, before.lineColor);
    QCOMPARE(f.link.bufferColor1, before.bufferColor1);
    QCOMPARE(f.link.bufferColor2, before.bufferColor2);
  }

  void pickedColoursAreStoredOnOk() {
    CGraphicNode node(1, "N1", 0, 0);
    const ColorRefPicker picker(0x00FF00);
    test::DialogScript script([](QDialog& d) {
      static_cast<CNodeDialog&>(d).textButton->click();
      return test::PressOk(d);
    });
    QVERIFY(EditNodeProperties(node, nullptr));
    QCOMPARE(node.textColor, ColorRef(0x00FF00));
    QCOMPARE(node.foreColor, CGraphicNode::kDefaultForeColor);
  }

  // --- link dialog --------------------------------------------------------------------------
  void linkDialogCaptionsNameBothDirections() {
    LinkFixture f;
    CLinkDialog dialog;
    dialog.LoadFrom(f.link);
    ShowReady(dialog);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Link parameters"));
    QCOMPARE(dialog.queueGroup[0]->title(), QStringLiteral("Settings for Queue from N1 to N2"));
    QCOMPARE(dialog.queueGroup[1]->title(), QStringLiteral("Settings for Queue from N2 to N1"));
    QCOMPARE(dialog.rateEdit[0]->text(), QStringLiteral("1000"));
    QCOMPARE(dialog.bufferEdit[1]->text(), QStringLiteral("5000"));
    QCOMPARE(dialog.delayEdit[0]->text(), QStringLiteral("0"));
    QCOMPARE(dialog.thicknessEdit->text(), QStringLiteral("2"));
  }

  void fractionalBufferIsShownAndStoredTruncated() {
    LinkFixture f;
    f.link.GetBackwardQueue()->bufferSize = 7.9;
    test::DialogScript script([](QDialog& d) {
      auto& dialog = static_cast<CLinkDialog&>(d);
      [&] { QCOMPARE(dialog.bufferEdit[1]->text(), QStringLiteral("7")); }();
      return test::PressOk(dialog);
    });
    QVERIFY(EditLinkProperties(f.link, nullptr));
    QCOMPARE(f.link.GetBackwardQueue()->bufferSize, 7.0);
  }

  void linkValuesAreWrittenToTheirQueues() {
    LinkFixture f;
    test::DialogScript script([](QDialog& d) {
      auto& dialog = static_cast<CLinkDialog&>(d);
      dialog.rateEdit[0]->setText(QStringLiteral("2000"));
      dialog.rateEdit[1]->setText(QStringLiteral(" 125.5 "));
      dialog.bufferEdit[0]->setText(QStringLiteral("40"));
      dialog.delayEdit[1]->setText(QStringLiteral("0.002"));
      dialog.thicknessEdit->setText(QStringLiteral("20"));
      return test::PressOk(dialog);
    });
    QVERIFY(EditLinkProperties(f.link, nullptr));
    QCOMPARE(f.link.GetForwardQueue()->serviceRate, 2000.0);
    QCOMPARE(f.link.GetBackwardQueue()->serviceRate, 125.5);
    QCOMPARE(f.link.GetForwardQueue()->bufferSize, 40.0);
    QCOMPARE(f.link.GetBackwardQueue()->bufferSize, 5000.0);
    QCOMPARE(f.link.GetBackwardQueue()->propagationDelay, 0.002);
    QCOMPARE(f.link.thickness, 20);
  }

  void linkChecksRunInExchangeOrder_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("buffer not an integer") << "1019"
                                           << ""
                                           << "Please enter an integer.";
    QTest::newRow("rate not a number") << "1018"
                                       << "fast"
                                       << "Please enter a number.";
    QTest::newRow("rate negative") << "1013"
                                   << "-1"
                                   << "Please enter a number between 0 and 1000000000000.";
    QTest::newRow("thickness 0") << "1022"
                                 << "0"
                                 << "Please enter an integer between 1 and 20.";
    QTest::newRow("thickness 21") << "1022"
                                  << "21"
                                  << "Please enter an integer between 1 and 20.";
    QTest::newRow("delay too large") << "1021"
                                     << "2e12"
                                     << "Please enter a number between 0 and 1000000000000.";
  }
  void linkChecksRunInExchangeOrder() {
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    LinkFixture f;
    CLinkDialog dialog;
    dialog.LoadFrom(f.link);
    ShowReady(dialog);
    auto* edit = dialog.findChild<QLineEdit*>(field);
    QVERIFY(edit);
    edit->setText(text);
    MessageCapture messages;
    QVERIFY(!Ok(dialog));
    QCOMPARE(messages.texts, QStringList{message});
    QCOMPARE(dialog.focusWidget(), edit);
    QVERIFY(dialog.isVisible());
  }

  void firstFailingFieldWins() {
    LinkFixture f;
    CLinkDialog dialog;
    dialog.LoadFrom(f.link);
    ShowReady(dialog);
    // Delays come after the thickness, which comes after the rates and buffers.
    dialog.delayEdit[0]->setText(QStringLiteral("x"));
    dialog.thicknessEdit->setText(QStringLiteral("50"));
    dialog.rateEdit[1]->setText(QStringLiteral("y"));
    MessageCapture messages;
    QVERIFY(!Ok(dialog));
    QCOMPARE(messages.texts, QStringList{QStringLiteral("Please enter a number.")});
    QCOMPARE(dialog.focusWidget(), dialog.rateEdit[1]);
    dialog.rateEdit[1]->setText(QStringLiteral("1"));
    QVERIFY(!Ok(dialog));
    QCOMPARE(dialog.focusWidget(), dialog.thicknessEdit);
    dialog.thicknessEdit->setText(QStringLiteral("1"));
    QVERIFY(!Ok(dialog));
    QCOMPARE(dialog.focusWidget(), dialog.delayEdit[0]);
    QCOMPARE(messages.texts.size(), 3);
  }

  // --- traffic class dialog -----------------------------------------------------------------
  void trafficDialogOpensAsUdp() {
    CTrafficClassDlg dialog;
    dialog.useUdp = 1;
    ShowReady(dialog);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Traffic Class Parameters"));
    QVERIFY(dialog.udpCheck->isChecked());
    QVERIFY(!dialog.tcpCheck->isChecked());
    QVERIFY(dialog.rateEdit->isEnabled());
    QCOMPARE(dialog.rateEdit->text(), QStringLiteral("1"));
    QVERIFY(!dialog.sinkDelayEdit->isEnabled());
    QCOMPARE(dialog.startEdit->text(), QStringLiteral("0"));
    QCOMPARE(dialog.stopEdit->text(), QStringLiteral("10000"));
    QVERIFY(dialog.rateEdit->alignment() & Qt::AlignRight);
    // The two further kinds exist but stay hidden.
    QVERIFY(!dialog.tdPoissonCheck->isVisible());
    QVERIFY(!dialog.traceCheck->isVisible());
    QVERIFY(!dialog.slotSizeEdit->isVisible());
  }

  void kindChecksExcludeEachOther() {
    CTrafficClassDlg dialog;
    dialog.useUdp = 1;
    ShowReady(dialog);
    dialog.tcpCheck->click();
    QVERIFY(!dialog.udpCheck->isChecked());
    QVERIFY(dialog.tcpCheck->isChecked());
    QVERIFY(!dialog.rateEdit->isEnabled());
    QVERIFY(dialog.sinkDelayEdit->isEnabled());
    dialog.udpCheck->click();
    QVERIFY(dialog.udpCheck->isChecked());
    QVERIFY(!dialog.tcpCheck->isChecked());
    // A click on the checked kind clears it: no kind, both edits disabled.
    dialog.udpCheck->click();
    QVERIFY(!dialog.udpCheck->isChecked());
    QVERIFY(!dialog.rateEdit->isEnabled());
    QVERIFY(!dialog.sinkDelayEdit->isEnabled());
    QVERIFY(Ok(dialog));
    QCOMPARE(dialog.useUdp + dialog.useTcp + dialog.useTdPoisson + dialog.useTrace, 0);
  }

  void trafficRanges_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("rate 0") << "1027"
                            << "0"
                            << "Please enter a number between 1e-06 and 100000000.";
    QTest::newRow("rate text") << "1027"
                               << "a lot"
                               << "Please enter a number.";
    QTest::newRow("sink delay 0 is fine") << "1030"
                                          << "0"
                                          << "";
    QTest::newRow("sink delay too long") << "1030"
                                         << "1e8"
                                         << "Please enter a number between 0 and 10000000.";
    QTest::newRow("stop above 100000") << "1035"
                                       << "100001"
                                       << "Please enter a number between 0 and 100000.";
    QTest::newRow("start negative") << "1034"
                                    << "-1"
                                    << "Please enter a number between 0 and 100000.";
    // A class that would never send is shown to the user; anything but Yes goes back to the field.
    QTest::newRow("stop before start is questioned")
        << "1035"
        << "0"
        << "The stop time (0 s) is before the start time (50 s): this class will never send.\nKeep these times?";
  }
  void trafficRanges() {
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    CTrafficClassDlg dialog;
    dialog.useUdp = 1;
    dialog.startTime = 50;
    ShowReady(dialog);
    if (field == QLatin1String("1030")) dialog.tcpCheck->click();  // the sink delay is a TCP value
    auto* edit = dialog.findChild<QLineEdit*>(field);
    QVERIFY(edit);
    QVERIFY(edit->isEnabled());
    edit->setText(text);
    MessageCapture messages;
    const bool closed = Ok(dialog);
    if (message.isEmpty()) {
      QVERIFY(closed);
      QVERIFY(messages.texts.isEmpty());
    } else {
      QVERIFY(!closed);
      QCOMPARE(messages.texts, QStringList{message});
      QCOMPARE(dialog.focusWidget(), edit);
    }
  }

  void aTypedNameTakesTheExtensionOfTheChosenType() {
    // "graph1" typed under "SVG Drawings (*.svg)" is graph1.svg, not the first type's graph1.png.
    QTemporaryDir dir;
    bool answered = false;
    QTimer::singleShot(200, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        if (dialog == nullptr || !dialog->isVisible()) continue;
        dialog->setDirectory(dir.path());
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(types && name);
        types->setCurrentIndex(1);
        emit types->activated(1);  // as a click in the list does
        emit types->textActivated(types->itemText(1));
        name->setText(QStringLiteral("graph1"));
        answered = true;
        QMetaObject::invokeMethod(dialog, "accept");  // as the Save button does
      }
    });
    const QString path = PromptFileName(
        nullptr, FilePromptKind::kSave,
        QStringLiteral("PNG Images (*.png);;SVG Drawings (*.svg);;PDF Documents (*.pdf);;Series as CSV (*.csv)"),
        QStringLiteral("png"));
    QVERIFY(answered);
    QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("graph1.svg"));
  }

  void stopBeforeStartIsKeptWhenTheUserSaysSo() {
    CTrafficClassDlg dialog;
    dialog.useUdp = 1;
    dialog.startTime = 50;
    dialog.stopTime = 20;
    ShowReady(dialog);
    const MessageBoxHook previous = SetMessageBoxHook([](const QString&, MessageKind, int) {
      return int(QMessageBox::Yes);
    });
    const bool closed = Ok(dialog);
    SetMessageBoxHook(previous);
    QVERIFY(closed);
    QCOMPARE(dialog.stopTime, 20.0);
  }

  // --- class times dialog -------------------------------------------------------------------
  void classTimesRange() {
    CClassTimesDlg dialog;
    dialog.startTime = 1.5;
    dialog.stopTime = 20;
    ShowReady(dialog);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Set some parameters for the class"));
    QCOMPARE(dialog.startEdit->text(), QStringLiteral("1.5"));
    dialog.stopEdit->setText(QStringLiteral("100000001"));
    MessageCapture messages;
    QVERIFY(!Ok(dialog));
    QCOMPARE(messages.texts, QStringList{QStringLiteral("Please enter a number between 0 and 100000000.")});
    QCOMPARE(dialog.focusWidget(), dialog.stopEdit);
    dialog.stopEdit->setText(QStringLiteral("100000000"));
    QVERIFY(Ok(dialog));
    QCOMPARE(dialog.stopTime, 100000000.0);
  }

 private:
  // Answers the colour picker with one colour while alive.
  class ColorRefPicker {
   public:
    explicit ColorRefPicker(ColorRef colour) {
      previous_ = SetColorPickerHook([colour](ColorRef) { return std::optional<ColorRef>(colour); });
    }
    ~ColorRefPicker() { SetColorPickerHook(previous_); }

   private:
    ColorPickerHook previous_;
  };
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
