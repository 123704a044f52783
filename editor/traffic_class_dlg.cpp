#include "editor/traffic_class_dlg.h"

#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace varlo {

CTrafficClassDlg::CTrafficClassDlg(QWidget* parent) : CExchangeDialog(parent) {
  setWindowTitle(QStringLiteral("Traffic Class Parameters"));
  auto* group = new QGroupBox(QStringLiteral("Characteristics :"), this);
  auto* grid = new QGridLayout(group);

  auto rightEdit = [group](const char* id) {
    auto* edit = new QLineEdit(group);
    edit->setObjectName(QString::fromLatin1(id));
    edit->setAlignment(Qt::AlignRight);
    return edit;
  };
  udpCheck = new QCheckBox(QStringLiteral("UDP Connection (Poisson Traffic)"), group);
  udpCheck->setObjectName(QStringLiteral("1028"));
  rateEdit = rightEdit("1027");
  tcpCheck = new QCheckBox(QStringLiteral("TCP Bulk Connection"), group);
  tcpCheck->setObjectName(QStringLiteral("1029"));
  sinkDelayEdit = rightEdit("1030");
  startEdit = rightEdit("1034");
  stopEdit = rightEdit("1035");

  grid->addWidget(udpCheck, 0, 0, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Rate (pkts/sec)"), group), 1, 0);
  grid->addWidget(rateEdit, 1, 1);
  grid->addWidget(tcpCheck, 2, 0, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Sink Delay (sec)"), group), 3, 0);
  grid->addWidget(sinkDelayEdit, 3, 1);
  grid->addWidget(new QLabel(QStringLiteral("Start time (sec):"), group), 4, 0);
  grid->addWidget(startEdit, 4, 1);
  grid->addWidget(new QLabel(QStringLiteral("Stop time (sec):"), group), 5, 0);
  grid->addWidget(stopEdit, 5, 1);

  // The time-dependent Poisson and trace kinds: their controls exist but are never shown.
  tdPoissonCheck = new QCheckBox(QStringLiteral("Time-dependent Poisson Traffic"), group);
  tdPoissonCheck->setObjectName(QStringLiteral("2036"));
  rateFileButton = new QPushButton(QStringLiteral("Select File..."), group);
  rateFileButton->setObjectName(QStringLiteral("2043"));
  traceCheck = new QCheckBox(QStringLiteral("Trace File"), group);
  traceCheck->setObjectName(QStringLiteral("2044"));
  auto* slotLabel = new QLabel(QStringLiteral("Slot Size"), group);
  slotSizeEdit = rightEdit("2045");
  traceFileButton = new QPushButton(QStringLiteral("Select File..."), group);
  traceFileButton->setObjectName(QStringLiteral("2046"));
  for (QWidget* w : std::initializer_list<QWidget*>{tdPoissonCheck, rateFileButton, traceCheck, slotLabel,
                                                    slotSizeEdit, traceFileButton})
    w->hide();

  auto* content = new QVBoxLayout();
  content->addWidget(group);
  LayOutWithButtons(content, okButton, cancelButton);

  connect(udpCheck, &QCheckBox::clicked, this, [this] { OnKindClicked(&useUdp); });
  connect(tcpCheck, &QCheckBox::clicked, this, [this] { OnKindClicked(&useTcp); });
  connect(tdPoissonCheck, &QCheckBox::clicked, this, [this] { OnKindClicked(&useTdPoisson); });
  connect(traceCheck, &QCheckBox::clicked, this, [this] { OnKindClicked(&useTrace); });
  connect(rateFileButton, &QPushButton::clicked, this, [this] { OnSelectRateFile(); });
  connect(traceFileButton, &QPushButton::clicked, this, [this] { OnSelectTraceFile(); });

  exchange_.Check(udpCheck, &useUdp)
      .Check(tcpCheck, &useTcp)
      .Double(rateEdit, &rate, 1e-6, 1e8)
      .Double(sinkDelayEdit, &sinkDelay, 0.0, 1e7)
      .Double(startEdit, &startTime, 0.0, 100000.0)
      .Double(stopEdit, &stopTime, 0.0, 100000.0)
      .Check(tdPoissonCheck, &useTdPoisson)
      .Check(traceCheck, &useTrace)
      .Double(slotSizeEdit, &slotSize, 1e-10, 1e9);
  exchange_.SetAfterExchange([this] { ApplyEnabling(); });
}

void CTrafficClassDlg::accept() {
  if (!exchange_.FromControls(this)) return;
  if (stopTime < startTime) {
    const int answer = ShowMessageBox(
        this,
        QStringLiteral("The stop time (%1 s) is before the start time (%2 s): this class will never send.\n"
                       "Keep these times?")
            .arg(stopTime)
            .arg(startTime),
        MessageKind::kWarning, QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes) {
      stopEdit->setFocus();
      stopEdit->selectAll();
      return;
    }
  }
  OnExchangeDone();
  QDialog::accept();
}

const TrafficClassKind* CTrafficClassDlg::ChosenKind(KindValues& values) const {
  if (useUdp) {
    values.numbers["rate"] = rate;
    return FindKindByType(kTypeConstPoisson);
  }
  if (useTcp) {
    values.numbers["sinkDelay"] = sinkDelay;
    return FindKindByType(kTypeTCP);
  }
  if (useTdPoisson) {
    values.files["rateFile"] = QFile::encodeName(rateFile).toStdString();
    values.numbers["reserved"] = 0.0;
    return FindKindByType(kTypeTdPoisson);
  }
  if (useTrace) {
    values.files["traceFile"] = QFile::encodeName(traceFile).toStdString();
    values.numbers["slot"] = slotSize;
    values.numbers["reserved"] = 0.0;
    values.numbers["reserved2"] = 0.0;
    return FindKindByType(kTypeTrace);
  }
  return nullptr;
}

void CTrafficClassDlg::OnKindClicked(int* kind) {
  // As the framework's read of the controls does, a bad field is reported here too; the kind
  // checks come first in the exchange, so they are read in any case.
  exchange_.FromControls(this);
  if (*kind) {
    for (int* other : {&useUdp, &useTcp, &useTdPoisson, &useTrace})
      if (other != kind) *other = 0;
  }
  exchange_.ToControls();
}

void CTrafficClassDlg::ApplyEnabling() {
  rateEdit->setEnabled(useUdp != 0);
  sinkDelayEdit->setEnabled(useTcp != 0);
  rateFileButton->setEnabled(useTdPoisson != 0);
  traceFileButton->setEnabled(useTrace != 0);
  slotSizeEdit->setEnabled(useTrace != 0);
}

void CTrafficClassDlg::OnSelectRateFile() {
  const QString path = QFileDialog::getOpenFileName(
      this, QString(), QString(), QStringLiteral("Varlo Rate Files (*.vlr);;All Files (*.*)"));
  if (!path.isEmpty()) rateFile = path;
}

void CTrafficClassDlg::OnSelectTraceFile() {
  const QString path = QFileDialog::getOpenFileName(
      this, QString(), QString(), QStringLiteral("Varlo Trace Files (*.vlt);;All Files (*.*)"));
  if (!path.isEmpty()) traceFile = path;
}

}  // namespace varlo
