// "Set some parameters for the class": the start and stop time of an existing traffic class.
#pragma once

#include "platform/qt/dialog_exchange.h"

class QLineEdit;
class QPushButton;

namespace varlo {

class CClassTimesDlg : public CExchangeDialog {
 public:
  explicit CClassTimesDlg(QWidget* parent = nullptr);

  double startTime = 0.0;  // s
  double stopTime = 0.0;   // s

  QLineEdit* startEdit = nullptr;  // 1034
  QLineEdit* stopEdit = nullptr;   // 1035
  QPushButton* okButton = nullptr;
  QPushButton* cancelButton = nullptr;
};

}  // namespace varlo
