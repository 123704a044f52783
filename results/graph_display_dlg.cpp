#include "results/graph_display_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/file_dialogs.h"
#include "model/document.h"
#include "engine/graph_creation.h"
#include "results/computation_commands.h"

namespace varlo {

namespace {

QListWidget* MakeList(QWidget* parent) {
  auto* list = new QListWidget(parent);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list->setSortingEnabled(true);
  list->setMinimumWidth(220);
  return list;
}

void AddEntry(QListWidget* list, const std::string& text, const void* data) {
  auto* item = new QListWidgetItem(QString::fromStdString(text));
  item->setData(Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(data)));
  list->addItem(item);
}

template <class T>
const T* EntryData(const QListWidgetItem* item) {
  return reinterpret_cast<const T*>(item->data(Qt::UserRole).value<quintptr>());
}

}  // namespace

CGraphDisplayDlg::CGraphDisplayDlg(CVarloDoc& document, QWidget* parent)
    : CExchangeDialog(parent), doc(document), dumpFilePath(OfferedDumpFile(document)) {
  setWindowTitle(QStringLiteral("Graph Display Dialog"));
  fileEdit_ = new QLineEdit(this);
  browseButton_ = new QPushButton(QStringLiteral("..."), this);
  browseButton_->setFixedWidth(28);
  browseButton_->setAutoDefault(false);
  queueBox_ = new QCheckBox(QStringLiteral("Display Queue"), this);
  classBox_ = new QCheckBox(QStringLiteral("Display Class"), this);
  simulatedBox_ = new QCheckBox(QStringLiteral("Display also the simulated queue metric"), this);
  queueList_ = MakeList(this);
  classList_ = MakeList(this);
  queueMetricList_ = new QComboBox(this);
  queueMetricList_->addItems({QStringLiteral("Average Queue Size ( AvgSize(t) )"),
                              QStringLiteral("Utilization ( Util(t) )"),
                              QStringLiteral("Loss Probability ( LossProb(t) )")});
  classMetricList_ = new QComboBox(this);
  classMetricList_->addItems({QStringLiteral("Throughput(t)"), QStringLiteral("end2end_delay(t)"),
                              QStringLiteral("RTT(t)"), QStringLiteral("end2end_Loss(t)")});
  classMetricList_->setEnabled(false);  // only throughput is in the dump

  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(new QLabel(QStringLiteral("Dump File"), this));
  fileRow->addWidget(fileEdit_, 1);
  fileRow->addWidget(browseButton_);

  auto* grid = new QGridLayout;
  grid->addWidget(queueBox_, 0, 0);
  grid->addWidget(classBox_, 0, 1);
  grid->addWidget(queueList_, 1, 0);
  grid->addWidget(classList_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("Metric"), this), 2, 0);
  grid->addWidget(new QLabel(QStringLiteral("Metric"), this), 2, 1);
  grid->addWidget(queueMetricList_, 3, 0);
  grid->addWidget(classMetricList_, 3, 1);
  grid->addWidget(simulatedBox_, 4, 0, 1, 2);

  connect(browseButton_, &QPushButton::clicked, this, &CGraphDisplayDlg::OnBrowse);
  // clicked, not toggled: the exchange sets the boxes without counting as a click.
  connect(queueBox_, &QCheckBox::clicked, this, &CGraphDisplayDlg::OnSwitchMode);
  connect(classBox_, &QCheckBox::clicked, this, &CGraphDisplayDlg::OnSwitchMode);

  auto* content = new QVBoxLayout;
  content->addLayout(fileRow);
  content->addLayout(grid);
  LayOutWithButtons(content);

  exchange_.Text(fileEdit_, &dumpFilePath)
      .Check(queueBox_, &queueMode)
      .Check(classBox_, &classMode)
      .Check(simulatedBox_, &simulated);
  exchange_.SetAfterExchange([this] { UpdateEnabling(); });
}

void CGraphDisplayDlg::OnInitDialog() {
  queueList_->clear();
  classList_->clear();
  for (const auto& c : doc.GetClasses()) AddEntry(classList_, ClassEntryText(*c), c.get());
  for (const auto& link : doc.GetLinks()) {
    AddEntry(queueList_, QueueEntryText(*link->GetForwardQueue()), link->GetForwardQueue());
    AddEntry(queueList_, QueueEntryText(*link->GetBackwardQueue()), link->GetBackwardQueue());
  }
  queueMetricList_->setCurrentIndex(0);
  classMetricList_->setCurrentIndex(0);
  CExchangeDialog::OnInitDialog();
}

int CGraphDisplayDlg::QueueMetric() const {
  return std::max(queueMetricList_->currentIndex(), 0);
}

void CGraphDisplayDlg::UpdateEnabling() {
  queueList_->setEnabled(queueMode != 0);
  queueMetricList_->setEnabled(queueMode != 0);
  classList_->setEnabled(classMode != 0);
}

void CGraphDisplayDlg::OnSwitchMode() {
  const int previousQueueMode = queueMode;
  queueMode = previousQueueMode ? 0 : 1;
  classMode = previousQueueMode;
  exchange_.ToControls();
}

void CGraphDisplayDlg::OnBrowse() {
  if (!exchange_.FromControls(this)) return;
  const QString path =
      PromptFileName(this, FilePromptKind::kOpen, QStringLiteral("Dump Files (*.dmp);;All Files (*)"),
                     QStringLiteral("dmp"));
  if (path.isEmpty()) return;
  dumpFilePath = QFileInfo(path).absoluteFilePath().toStdString();
  exchange_.ToControls();
}

void CGraphDisplayDlg::BuildSeries() {
  newSeries.clear();
  if (queueMode) {
    const int metric = QueueMetric();
    for (int row = 0; row < queueList_->count(); ++row) {
      const QListWidgetItem* item = queueList_->item(row);
      if (!item->isSelected()) continue;
      newSeries.push_back(MakeQueueSeries(doc, *EntryData<C_MM1K_Queue>(item), metric));
    }
  } else if (classMode) {
    const int metric = std::max(classMetricList_->currentIndex(), 0);
    for (int row = 0; row < classList_->count(); ++row) {
      const QListWidgetItem* item = classList_->item(row);
      if (!item->isSelected()) continue;
      newSeries.push_back(MakeClassSeries(doc, *EntryData<CTrafficClass>(item), metric));
    }
  }
}

void CGraphDisplayDlg::accept() {
  BuildSeries();
  CExchangeDialog::accept();
}

}  // namespace varlo
