#include "setup/setup_wizard.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "setup/asker.h"

namespace varlo {

namespace {

QLabel* WrappedLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  return label;
}

// Linux users write their home as "~"; a folder literally named "~" is never what they mean.
QString ExpandHome(const QString& path) {
  if (path == QStringLiteral("~")) return QDir::homePath();
  if (path.startsWith(QStringLiteral("~/"))) return QDir::homePath() + path.mid(1);
  return path;
}

}  // namespace

CWelcomePage::CWelcomePage(QWidget* parent) : QWizardPage(parent) {
  setTitle(QStringLiteral("Welcome"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(WrappedLabel(
      QStringLiteral("Welcome to Varlo 1.0\n\nVarlo computes the metrics of a network with many TCP "
                     "connections. It implements the Z-iteration method and applies the TCP profiles. "),
      this));
  layout->addWidget(WrappedLabel(
      QStringLiteral("To install the Varlo 1.0 on your computer now, click Next or press Enter.\n\nTo exit "
                     "Setup without installing the Varlo 1.0, click Cancel at any time."),
      this));
  layout->addStretch();
  layout->addWidget(WrappedLabel(
      QStringLiteral("For more information about Varlo, its method and its TCP profiles, visit "
                     "https://www.tolvane.example/varlo/ . This is a setup program which will install "
                     "Varlo 1.0 on your computer. "),
      this));
}

CDestinationPage::CDestinationPage(CInstallerState& state, CAsker& asker, QWidget* parent)
    : QWizardPage(parent), state(state), asker(asker) {
  setTitle(QStringLiteral("Where to install?"));
  auto* layout = new QGridLayout(this);
  layout->addWidget(
      WrappedLabel(QStringLiteral("Varlo 1.0 is ready for installation. Please supply the "), this), 0, 0, 1,
      3);
  layout->addWidget(new QLabel(QStringLiteral("Path where to Install Varlo 1.0"), this), 1, 0, 1, 3);
  destinationEdit = new QLineEdit(this);
  destinationEdit->setObjectName(QStringLiteral("destinationEdit"));
  destinationBrowse = new QPushButton(QStringLiteral("..."), this);
  destinationBrowse->setObjectName(QStringLiteral("destinationBrowse"));
  destinationBrowse->setAutoDefault(false);
  layout->addWidget(destinationEdit, 2, 0, 1, 2);
  layout->addWidget(destinationBrowse, 2, 2);
  layout->setRowMinimumHeight(3, 16);

  useNsCheck = new QCheckBox(this);
  useNsCheck->setObjectName(QStringLiteral("useNsCheck"));
  auto* nsText = WrappedLabel(
      QStringLiteral(
          "Varlo 1.0 may generate scripts for NS simulator. Please check the button and specify the "
          "path to the NS executable if you want to use such a facility."),
      this);
  nsText->setBuddy(useNsCheck);
  layout->addWidget(useNsCheck, 4, 0, Qt::AlignTop);
  layout->addWidget(nsText, 4, 1, 1, 2);
  nsDirectoryEdit = new QLineEdit(this);
  nsDirectoryEdit->setObjectName(QStringLiteral("nsDirectoryEdit"));
  nsBrowse = new QPushButton(QStringLiteral("..."), this);
  nsBrowse->setObjectName(QStringLiteral("nsBrowse"));
  nsBrowse->setAutoDefault(false);
  layout->addWidget(nsDirectoryEdit, 5, 0, 1, 2);
  layout->addWidget(nsBrowse, 5, 2);
  layout->setColumnStretch(1, 1);
  layout->setRowStretch(6, 1);

  connect(destinationBrowse, &QPushButton::clicked, this, &CDestinationPage::OnBrowseDestination);
  connect(nsBrowse, &QPushButton::clicked, this, &CDestinationPage::OnBrowseNs);
}

void CDestinationPage::initializePage() {
  destinationEdit->setText(state.destinationPath);
  nsDirectoryEdit->setText(state.nsDirectory);
  useNsCheck->setChecked(state.useNs);
}

void CDestinationPage::OnBrowseDestination() {
  const QString folder =
      asker.PickFolder(this, QStringLiteral("Select the Destination "), destinationEdit->text());
  if (!folder.isEmpty()) destinationEdit->setText(QDir::toNativeSeparators(folder));
}

void CDestinationPage::OnBrowseNs() {
  const QString folder =
      asker.PickFolder(this, QStringLiteral("Select NS Diretory"), nsDirectoryEdit->text());
  if (!folder.isEmpty()) nsDirectoryEdit->setText(QDir::toNativeSeparators(folder));
}

bool CDestinationPage::validatePage() {
  QString destination = ExpandHome(destinationEdit->text());
  // The path is kept as typed, but a relative one would point somewhere else for every program
  // that reads it later (varlo's help, the desktop entries), so it is anchored here.
  if (!destination.isEmpty() && QDir::isRelativePath(destination)) {
    destination = QDir::current().absoluteFilePath(destination);
  }
  state.destinationPath = destination;
  state.nsDirectory = ExpandHome(nsDirectoryEdit->text());
  state.useNs = useNsCheck->isChecked();

  const QFileInfo folder(destination);
  if (!folder.isDir() || !folder.isWritable()) {
    if (!asker.AskYesNo(
            this, QStringLiteral("Inexistant Path"),
            QStringLiteral("Destination path does not exist. \nDo you want to create directory ?"))) {
      return false;
    }
    // One level only, as the question says: a missing parent is an error, not a tree to build.
    if (!QDir().mkdir(destination)) {
      asker.ShowMessage(this, QStringLiteral("Error"),
                        QStringLiteral("Destination diretory could not be created.."), CAsker::Icon::kError);
      return false;
    }
  }
  if (state.useNs && !QFileInfo(state.nsDirectory).isDir()) {
    asker.ShowMessage(this, QStringLiteral("Inexistant Path"), QStringLiteral("Invalid NS Directory !"),
                      CAsker::Icon::kWarning);
    return false;
  }
  return true;
}

CCompletePage::CCompletePage(QWidget* parent) : QWizardPage(parent) {
  setTitle(QStringLiteral("Complete Install"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(
      WrappedLabel(QStringLiteral("The Setup program for Varlo 1.0 is ready to complete."), this));
  layout->addWidget(WrappedLabel(
      QStringLiteral(
          "To install Varlo 1.0 on your computer now, click Finish or press Enter.\n\nTo exit Setup "
          "without installing Varlo 1.0, click Cancel."),
      this));
  layout->addStretch();
}

CSetupWizard::CSetupWizard(CInstallerState& state, CAsker& asker, QWidget* parent)
    : QWizard(parent), state(state) {
  setWindowTitle(QStringLiteral("Install Varlo 1.0"));
  setWizardStyle(QWizard::ClassicStyle);
  setOptions(QWizard::NoBackButtonOnStartPage | QWizard::NoDefaultButton);
  setPage(kWelcomePage, new CWelcomePage(this));
  destinationPage = new CDestinationPage(state, asker, this);
  setPage(kDestinationPage, destinationPage);
  setPage(kCompletePage, new CCompletePage(this));
  setStartId(kWelcomePage);
  // Next is not the default button on the first two pages; Finish is on the last. A dialog
  // otherwise makes its first auto-default button the default when it is shown.
  for (const WizardButton which : {QWizard::BackButton, QWizard::NextButton, QWizard::CancelButton}) {
    if (auto* push = qobject_cast<QPushButton*>(button(which))) push->setAutoDefault(false);
  }
  connect(this, &QWizard::currentIdChanged, this,
          [this](int id) { setOption(QWizard::NoDefaultButton, id != kCompletePage); });
}

void CSetupWizard::reject() {
  state.destinationPath.clear();
  state.nsDirectory.clear();
  state.useNs = false;
  QWizard::reject();
}

void CSetupWizard::showEvent(QShowEvent* event) {
  QWizard::showEvent(event);
  if (centred) return;
  centred = true;
  if (const QScreen* screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

}  // namespace varlo
