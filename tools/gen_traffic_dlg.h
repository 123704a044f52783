// "Generate Traffic Classes": name filters for sources and destinations, the range of the number
// of TCP classes per source and the start and stop time given to every generated class.
#pragma once

#include <string>

#include "platform/qt/dialog_exchange.h"

class QLineEdit;

namespace varlo {

struct TrafficGenerationOptions;

class CGenTrafficDlg : public CExchangeDialog {
  Q_OBJECT

 public:
  explicit CGenTrafficDlg(QWidget* parent = nullptr);

  std::string sourceFilter;
  std::string destinationFilter;
  unsigned lowerCount = 0;
  unsigned upperCount = 0;
  double startTime = 0.0;     // s
  double stopTime = 10000.0;  // s

  TrafficGenerationOptions Options() const;

  QLineEdit* SourceFilterEdit() const { return sourceEdit_; }
  QLineEdit* DestinationFilterEdit() const { return destinationEdit_; }
  QLineEdit* LowerCountEdit() const { return lowerEdit_; }
  QLineEdit* UpperCountEdit() const { return upperEdit_; }
  QLineEdit* StartTimeEdit() const { return startEdit_; }
  QLineEdit* StopTimeEdit() const { return stopEdit_; }

  // Closes only when every field passes and the count range is not empty.
  void accept() override;

 private:
  QLineEdit* sourceEdit_;
  QLineEdit* destinationEdit_;
  QLineEdit* lowerEdit_;
  QLineEdit* upperEdit_;
  QLineEdit* startEdit_;
  QLineEdit* stopEdit_;
};

}  // namespace varlo
