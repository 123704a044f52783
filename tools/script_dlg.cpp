#include "tools/script_dlg.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "model/document.h"
#include "model/node.h"
#include "model/queue.h"
#include "platform/qt/file_dialogs.h"
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

CScriptDlg::CScriptDlg(CVarloDoc& doc, ScriptKind kind, QWidget* parent)
    : CExchangeDialog(parent), doc_(doc), kind_(std::move(kind)) {
  setWindowTitle(kind_.title);
  scriptFile = kind_.script;
  simulationLength = doc.totalTime;

  scriptEdit_ = new QLineEdit(this);
  browseButton_ = new QPushButton(QStringLiteral("..."), this);
  browseButton_->setFixedWidth(28);
  browseButton_->setAutoDefault(false);
  lengthEdit_ = new QLineEdit(this);
  queueList_ = new QListWidget(this);
  queueList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  runBox_ = new QCheckBox(kind_.runText, this);
  connect(browseButton_, &QPushButton::clicked, this, &CScriptDlg::OnBrowse);

  grid_ = new QGridLayout;
  grid_->addWidget(new QLabel(QStringLiteral("Script File"), this), 0, 0);
  grid_->addWidget(scriptEdit_, 0, 1);
  grid_->addWidget(browseButton_, 0, 2);
  nextRow_ = 1;
  AddRow(kind_.lengthLabel, lengthEdit_);
}

void CScriptDlg::AddRow(const QString& label, QWidget* field, Qt::Alignment labelAlignment) {
  grid_->addWidget(new QLabel(label, this), nextRow_, 0, labelAlignment);
  grid_->addWidget(field, nextRow_, 1, 1, 2);
  ++nextRow_;
}

void CScriptDlg::AddRunBox() {
  grid_->addWidget(runBox_, nextRow_, 0, 1, 3);
  ++nextRow_;
}

void CScriptDlg::FinishLayout() {
  LayOutWithButtons(grid_);
  FillMonitorQueueList(queueList_, doc_);
}

void CScriptDlg::accept() {
  monitoredQueues = SelectedMonitorQueues(queueList_);
  CExchangeDialog::accept();
}

void CScriptDlg::OnExchangeDone() {
  scriptFile = ApplyScriptExtension(scriptFile, kind_.extension);
}

void CScriptDlg::OnBrowse() {
  if (!exchange_.FromControls(this)) return;
  const QString path = PromptFileName(this, FilePromptKind::kSave, kind_.filter, kind_.suffix,
                                      QString::fromStdString(scriptFile));
  if (path.isEmpty()) return;
  scriptFile = QFileInfo(path).absoluteFilePath().toStdString();
  exchange_.ToControls();
}

}  // namespace varlo
