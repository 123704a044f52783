// "Change link speeds": two node-name filters, a parameter and what to do with it (multiply or set
// the capacity, the buffer or the delay of both queues of every selected link).
#pragma once

#include <string>

#include "platform/qt/dialog_exchange.h"

class QComboBox;
class QLineEdit;

namespace varlo {

class CModifyLinksDlg : public CExchangeDialog {
  Q_OBJECT

 public:
  explicit CModifyLinksDlg(QWidget* parent = nullptr);

  std::string firstFilter;
  std::string secondFilter;
  double parameter = 0.0;
  int type = 0;  // a LinkModification

  QLineEdit* FirstFilterEdit() const { return firstEdit_; }
  QLineEdit* SecondFilterEdit() const { return secondEdit_; }
  QLineEdit* ParameterEdit() const { return parameterEdit_; }
  QComboBox* TypeList() const { return typeList_; }

 private:
  QLineEdit* firstEdit_;
  QLineEdit* secondEdit_;
  QLineEdit* parameterEdit_;
  QComboBox* typeList_;
};

}  // namespace varlo
