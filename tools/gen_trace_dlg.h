// "Generate Trace Classes": name filters, the slot size, the trace files given to the classes in
// round-robin ("Select Files..." adds to the list), the range of the number of classes per source
// and the start and stop time of every generated class.
#pragma once

#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "platform/qt/dialog_exchange.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace varlo {

struct TraceGenerationOptions;

// Answers "Select Files..." instead of the open-file dialog (tests); an empty function removes it.
using TraceFilesPromptHook = std::function<QStringList()>;
TraceFilesPromptHook SetTraceFilesPromptHook(TraceFilesPromptHook hook);

class CGenTraceDlg : public CExchangeDialog {
  Q_OBJECT

 public:
  explicit CGenTraceDlg(QWidget* parent = nullptr);

  std::string sourceFilter;
  std::string destinationFilter;
  double slotSize = 0.1;  // s
  std::vector<std::string> traceFiles;
  unsigned lowerCount = 0;
  unsigned upperCount = 0;
  double startTime = 0.0;  // s
  double stopTime = 0.0;   // s

  TraceGenerationOptions Options() const;

  QLineEdit* SourceFilterEdit() const { return sourceEdit_; }
  QLineEdit* DestinationFilterEdit() const { return destinationEdit_; }
  QLineEdit* SlotSizeEdit() const { return slotEdit_; }
  QPushButton* SelectFilesButton() const { return selectButton_; }
  QListWidget* FileList() const { return fileList_; }
  QLineEdit* LowerCountEdit() const { return lowerEdit_; }
  QLineEdit* UpperCountEdit() const { return upperEdit_; }
  QLineEdit* StartTimeEdit() const { return startEdit_; }
  QLineEdit* StopTimeEdit() const { return stopEdit_; }

  // "Select Files...": appends every chosen file to the list.
  void OnSelectFiles();
  // Closes only when every field passes, the count range is not empty and, when classes may be
  // made, there is a trace file to give them.
  void accept() override;

 private:
  QLineEdit* sourceEdit_;
  QLineEdit* destinationEdit_;
  QLineEdit* slotEdit_;
  QPushButton* selectButton_;
  QListWidget* fileList_;
  QLineEdit* lowerEdit_;
  QLineEdit* upperEdit_;
  QLineEdit* startEdit_;
  QLineEdit* stopEdit_;
};

}  // namespace varlo
