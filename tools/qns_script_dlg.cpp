#include "tools/qns_script_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <limits>

#include "platform/qt/file_dialogs.h"
#include "model/document.h"
#include "tools/ns_script_dlg.h"
#include "simulators/ns_script.h"
#include "simulators/qns_script.h"

namespace varlo {

CQNSScriptDlg::CQNSScriptDlg(CVarloDoc& doc, QWidget* parent) : CExchangeDialog(parent), doc_(doc) {
  setWindowTitle(QStringLiteral("Generate QNS Script"));
  scriptFile = DefaultQNSScriptName(doc.GetTitle());
  simulationLength = doc.totalTime;

  scriptEdit_ = new QLineEdit(this);
  browseButton_ = new QPushButton(QStringLiteral("..."), this);
  browseButton_->setFixedWidth(28);
  browseButton_->setAutoDefault(false);
  lengthEdit_ = new QLineEdit(this);
  countEdit_ = new QLineEdit(this);
  resolutionEdit_ = new QLineEdit(this);
  serviceEdit_ = new QLineEdit(this);
  queueList_ = new QListWidget(this);
  queueList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  runBox_ = new QCheckBox(QStringLiteral("Run QNS after generating the script"), this);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Script File"), this), 0, 0);
  grid->addWidget(scriptEdit_, 0, 1);
  grid->addWidget(browseButton_, 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("Simulation Length (sec)"), this), 1, 0);
  grid->addWidget(lengthEdit_, 1, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Number of Simulations"), this), 2, 0);
  grid->addWidget(countEdit_, 2, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Dump Resolution"), this), 3, 0);
  grid->addWidget(resolutionEdit_, 3, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Link Service (2/3)"), this), 4, 0);
  grid->addWidget(serviceEdit_, 4, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Monitor Queues"), this), 5, 0, Qt::AlignTop);
  grid->addWidget(queueList_, 5, 1, 1, 2);
  grid->addWidget(runBox_, 6, 0, 1, 3);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(browseButton_, &QPushButton::clicked, this, &CQNSScriptDlg::OnBrowse);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(grid, 1);
  auto* side = new QVBoxLayout;
  side->addWidget(buttons);
  side->addStretch();
  layout->addLayout(side);

  FillMonitorQueueList(queueList_, doc_);
  exchange_.Text(scriptEdit_, &scriptFile)
      .Double(lengthEdit_, &simulationLength, 0, 1e17)
      .Int(countEdit_, &simulationCount, 1, std::numeric_limits<int>::max())
      .Double(resolutionEdit_, &dumpResolution, 1e-11, 1e10)
      .Int(serviceEdit_, &linkService, 2, 3)
      .Check(runBox_, &runQNS);
}

void CQNSScriptDlg::accept() {
  monitoredQueues = SelectedMonitorQueues(queueList_);
  CExchangeDialog::accept();
}

void CQNSScriptDlg::OnExchangeDone() {
  scriptFile = ApplyScriptExtension(scriptFile, kQNSScriptExtension);
}

void CQNSScriptDlg::OnBrowse() {
  if (!exchange_.FromControls(this)) return;
  const QString path = PromptFileName(this, FilePromptKind::kSave, QStringLiteral("Script Files (*.qns)"),
                                      QStringLiteral("qns"), QString::fromStdString(scriptFile));
  if (path.isEmpty()) return;
  scriptFile = QFileInfo(path).absoluteFilePath().toStdString();
  exchange_.ToControls();
}

}  // namespace varlo
