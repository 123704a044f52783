// The three-page wizard "Install Varlo 1.0": welcome, where to install (with the ns choice) and
// the last page before installing. It edits the installer's state in place.
#pragma once

#include <QWizard>
#include <QWizardPage>

#include "setup/setup_settings.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace varlo {

class CAsker;

class CWelcomePage : public QWizardPage {
  Q_OBJECT
 public:
  explicit CWelcomePage(QWidget* parent = nullptr);
};

class CDestinationPage : public QWizardPage {
  Q_OBJECT
 public:
  CDestinationPage(CInstallerState& state, CAsker& asker, QWidget* parent = nullptr);

  void initializePage() override;
  // Takes the answers into the state and checks the two folders; false keeps the page.
  bool validatePage() override;

  QLineEdit* DestinationEdit() const { return destinationEdit; }
  QLineEdit* NsDirectoryEdit() const { return nsDirectoryEdit; }
  QCheckBox* UseNsCheck() const { return useNsCheck; }
  QPushButton* DestinationBrowse() const { return destinationBrowse; }
  QPushButton* NsBrowse() const { return nsBrowse; }

 private:
  void OnBrowseDestination();
  void OnBrowseNs();

  CInstallerState& state;
  CAsker& asker;
  QLineEdit* destinationEdit;  // owned by the page's layout
  QLineEdit* nsDirectoryEdit;
  QCheckBox* useNsCheck;
  QPushButton* destinationBrowse;
  QPushButton* nsBrowse;
};

class CCompletePage : public QWizardPage {
  Q_OBJECT
 public:
  explicit CCompletePage(QWidget* parent = nullptr);
};

class CSetupWizard : public QWizard {
  Q_OBJECT
 public:
  enum PageId { kWelcomePage = 0, kDestinationPage = 1, kCompletePage = 2 };

  CSetupWizard(CInstallerState& state, CAsker& asker, QWidget* parent = nullptr);

  CDestinationPage* DestinationPage() const { return destinationPage; }

  // Cancel forgets the answers given so far.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  CInstallerState& state;
  CDestinationPage* destinationPage;  // owned by the wizard
  bool centred = false;
};

}  // namespace varlo
