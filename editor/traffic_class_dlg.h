// "Traffic Class Parameters": the kind and parameters of a new traffic class. The dialog creates
// nothing; after OK the canvas asks it for the chosen kind and its values and creates the class.
#pragma once

#include <QString>

#include "model/traffic_class_kinds.h"
#include "platform/qt/dialog_exchange.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace varlo {

class CTrafficClassDlg : public CExchangeDialog {
 public:
  explicit CTrafficClassDlg(QWidget* parent = nullptr);

  int useUdp = 0;
  int useTcp = 0;
  double rate = 1.0;          // packets/s
  double sinkDelay = 0.0;     // s
  double startTime = 0.0;     // s
  double stopTime = 10000.0;  // s
  int useTdPoisson = 0;
  int useTrace = 0;
  double slotSize = 0.1;  // s
  QString rateFile;
  QString traceFile;

  QCheckBox* udpCheck = nullptr;       // 1028
  QCheckBox* tcpCheck = nullptr;       // 1029
  QLineEdit* rateEdit = nullptr;       // 1027
  QLineEdit* sinkDelayEdit = nullptr;  // 1030
  QLineEdit* startEdit = nullptr;      // 1034
  QLineEdit* stopEdit = nullptr;       // 1035
  // The two further kinds: present, never shown.
  QCheckBox* tdPoissonCheck = nullptr;     // 2036
  QPushButton* rateFileButton = nullptr;   // 2043
  QCheckBox* traceCheck = nullptr;         // 2044
  QLineEdit* slotSizeEdit = nullptr;       // 2045
  QPushButton* traceFileButton = nullptr;  // 2046
  QPushButton* okButton = nullptr;
  QPushButton* cancelButton = nullptr;

  // OK: the fields as every dialog checks them; then a stop time before the start time (a class
  // that would never send) is shown to the user, who keeps the times or goes back to them.
  void accept() override;

  // The checked kind and its values from the fields; nullptr when no kind is checked.
  const TrafficClassKind* ChosenKind(KindValues& values) const;

 private:
  // A click on a kind check box: the kinds exclude each other; clicking the checked one clears it.
  void OnKindClicked(int* kind);
  void ApplyEnabling();
  void OnSelectRateFile();
  void OnSelectTraceFile();
};

}  // namespace varlo
