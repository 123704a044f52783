// "Graph Display Dialog" of "Create Graphic ...": the dump file, queues or classes (exactly one of
// the two modes), the metric, and whether ns's measured queue sizes are added. On OK it builds the
// new series from the selection, in list order.
#pragma once

#include <string>
#include <vector>

#include "model/graph_data.h"
#include "platform/qt/dialog_exchange.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace varlo {

class CVarloDoc;

class CGraphDisplayDlg : public CExchangeDialog {
  Q_OBJECT

 public:
  explicit CGraphDisplayDlg(CVarloDoc& doc, QWidget* parent = nullptr);

  CVarloDoc& doc;
  std::string dumpFilePath;
  int queueMode = 1;
  int classMode = 0;
  int simulated = 0;
  std::vector<GraphSeries> newSeries;

  // The queue metric chosen (0 average size, 1 utilisation, 2 loss probability).
  int QueueMetric() const;

  void OnInitDialog() override;
  // "Display Queue" / "Display Class": swaps the mode.
  void OnSwitchMode();
  // "...": asks for a dump file to read.
  void OnBrowse();

  QLineEdit* FileEdit() const { return fileEdit_; }
  QCheckBox* QueueBox() const { return queueBox_; }
  QCheckBox* ClassBox() const { return classBox_; }
  QCheckBox* SimulatedBox() const { return simulatedBox_; }
  QListWidget* QueueList() const { return queueList_; }
  QListWidget* ClassList() const { return classList_; }
  QComboBox* QueueMetricList() const { return queueMetricList_; }
  QComboBox* ClassMetricList() const { return classMetricList_; }

  void accept() override;

 private:
  void UpdateEnabling();
  void BuildSeries();

  QLineEdit* fileEdit_;
  QPushButton* browseButton_;
  QCheckBox* queueBox_;
  QCheckBox* classBox_;
  QCheckBox* simulatedBox_;
  QListWidget* queueList_;
  QListWidget* classList_;
  QComboBox* queueMetricList_;
  QComboBox* classMetricList_;
};

}  // namespace varlo
