// Help > About Varlo: the program's icon, version and what it does.
#pragma once

#include <QDialog>

namespace varlo {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace varlo
