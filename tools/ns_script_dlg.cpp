#include "tools/ns_script_dlg.h"

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

#include "platform/qt/file_dialogs.h"
#include "model/queue.h"
#include "model/document.h"
#include "model/graphic_link.h"
#include "model/node.h"
#include "simulators/ns_script.h"

namespace varlo {

namespace {

QString QueueEntryText(const CQueue& queue) {
  const QString from = queue.fromNode ? QString::fromStdString(queue.fromNode->GetName()) : QString();
  const QString to = queue.toNode ? QString::fromStdString(queue.toNode->GetName()) : QString();
  return from + QStringLiteral("\t -> ") + to;
}

}  // namespace

void FillMonitorQueueList(QListWidget* list, const CVarloDoc& doc) {
  list->clear();
  for (CQueue* queue : MonitorableQueues(doc)) {
    auto* item = new QListWidgetItem(QueueEntryText(*queue), list);
    item->setData(Qt::UserRole, QVariant::fromValue(static_cast<void*>(queue)));
  }
}

std::vector<CQueue*> SelectedMonitorQueues(const QListWidget* list) {
  std::vector<CQueue*> queues;
  for (int row = 0; row < list->count(); ++row) {
    const QListWidgetItem* item = list->item(row);
    if (!item->isSelected()) continue;
    auto* queue = static_cast<CQueue*>(item->data(Qt::UserRole).value<void*>());
    bool seen = false;
    for (CQueue* q : queues) seen = seen || q == queue;
    if (!seen) queues.push_back(queue);
  }
  return queues;
}

CNSScriptDlg::CNSScriptDlg(CVarloDoc& doc, QWidget* parent) : CExchangeDialog(parent), doc_(doc) {
  setWindowTitle(QStringLiteral("Generate NS Script"));
  scriptFile = DefaultNSScriptName(doc.GetTitle());
  simulationLength = doc.totalTime;

  scriptEdit_ = new QLineEdit(this);
  browseButton_ = new QPushButton(QStringLiteral("..."), this);
  browseButton_->setFixedWidth(28);
  browseButton_->setAutoDefault(false);
  lengthEdit_ = new QLineEdit(this);
  queueList_ = new QListWidget(this);
  queueList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  runBox_ = new QCheckBox(QStringLiteral("Run NS after generating the script"), this);
  delayEdit_ = new QLineEdit(this);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Script File"), this), 0, 0);
  grid->addWidget(scriptEdit_, 0, 1);
  grid->addWidget(browseButton_, 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("Simulation Length(sec) "), this), 1, 0);
  grid->addWidget(lengthEdit_, 1, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Monitor Queues:"), this), 2, 0, Qt::AlignTop);
  grid->addWidget(queueList_, 2, 1, 1, 2);
  grid->addWidget(runBox_, 3, 0, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("Random delay from start to"), this), 4, 0);
  grid->addWidget(delayEdit_, 4, 1, 1, 2);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(browseButton_, &QPushButton::clicked, this, &CNSScriptDlg::OnBrowse);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(grid, 1);
  auto* side = new QVBoxLayout;
  side->addWidget(buttons);
  side->addStretch();
  layout->addLayout(side);

  FillMonitorQueueList(queueList_, doc_);
  exchange_.Text(scriptEdit_, &scriptFile)
      .Double(lengthEdit_, &simulationLength, 1, 100000)
      .Check(runBox_, &runNS)
      .Double(delayEdit_, &maxStartDelay, 0, 1000000);
}

void CNSScriptDlg::accept() {
  monitoredQueues = SelectedMonitorQueues(queueList_);
  CExchangeDialog::accept();
}

void CNSScriptDlg::OnExchangeDone() {
  scriptFile = ApplyScriptExtension(scriptFile, kNSScriptExtension);
}

void CNSScriptDlg::OnBrowse() {
  if (!exchange_.FromControls(this)) return;
  const QString path = PromptFileName(this, FilePromptKind::kSave, QStringLiteral("Script Files (*.tcl)"),
                                      QStringLiteral("tcl"), QString::fromStdString(scriptFile));
  if (path.isEmpty()) return;
  scriptFile = QFileInfo(path).absoluteFilePath().toStdString();
  exchange_.ToControls();
}

}  // namespace varlo
