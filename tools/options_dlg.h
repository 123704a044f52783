// Tools > Options: whether the ns script command is offered ("UseNS") and the folder that holds
// the ns program ("NSDirectory"), the two ns answers of the installer, changeable afterwards.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;

namespace varlo {

struct NSOptions {
  bool useNS = false;
  QString nsDirectory;  // empty: ns is looked up on the PATH
};

// The options in force: the user's choice where made, else the installer's.
NSOptions ReadNSOptions();
// Stores the user's choice; false when the settings file cannot be written.
bool WriteNSOptions(const NSOptions& options);
// The program that runs ns scripts: "ns" in the chosen folder when it holds one, else "ns".
QString NSProgram(const NSOptions& options);

class COptionsDlg : public QDialog {
 public:
  explicit COptionsDlg(const NSOptions& options, QWidget* parent = nullptr);
  NSOptions Options() const;

  QCheckBox* UseNSBox() const { return useNS_; }
  QLineEdit* DirectoryEdit() const { return directory_; }

 private:
  QCheckBox* useNS_;
  QLineEdit* directory_;
};

}  // namespace varlo
