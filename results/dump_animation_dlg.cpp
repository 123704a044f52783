#include "results/dump_animation_dlg.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

#include "platform/qt/file_dialogs.h"
#include "engine/dump_file.h"
#include "model/archive.h"
#include "model/document.h"
#include "engine/graph_creation.h"

namespace varlo {

CDumpAnimationDlg::CDumpAnimationDlg(CVarloDoc& doc, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), dumpFilePath(doc.dumpFilePath), doc_(doc) {
  setModal(true);
  fileEdit_ = new QLineEdit(this);
  timeLabel_ = new QLabel(QStringLiteral("0:00"), this);
  timeLabel_->setMinimumWidth(90);
  browseButton_ = new QPushButton(QStringLiteral("..."), this);
  stepButton_ = new QPushButton(QStringLiteral(">"), this);
  fastButton_ = new QPushButton(QStringLiteral(">>"), this);
  stopButton_ = new QPushButton(QStringLiteral("Stop"), this);
  stopButton_->setDefault(true);
  for (QPushButton* b : {browseButton_, stepButton_, fastButton_}) b->setAutoDefault(false);
  browseButton_->setFixedWidth(28);

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Trace File:"), this), 0, 0);
  layout->addWidget(fileEdit_, 0, 1, 1, 3);
  layout->addWidget(browseButton_, 0, 4);
  layout->addWidget(new QLabel(QStringLiteral("Time:"), this), 1, 0);
  layout->addWidget(timeLabel_, 1, 1);
  layout->addWidget(stepButton_, 1, 2);
  layout->addWidget(fastButton_, 1, 3);
  layout->addWidget(stopButton_, 1, 4);
  move(40, 200);

  connect(browseButton_, &QPushButton::clicked, this, &CDumpAnimationDlg::OnBrowse);
  connect(stepButton_, &QPushButton::clicked, this, &CDumpAnimationDlg::OnStep);
  connect(fastButton_, &QPushButton::clicked, this, &CDumpAnimationDlg::OnFastForward);
  connect(stopButton_, &QPushButton::clicked, this, &CDumpAnimationDlg::OnStop);
}

CDumpAnimationDlg::~CDumpAnimationDlg() = default;

void CDumpAnimationDlg::OnInitDialog() {
  // The base handling shows the empty time text.
  ToControls();
}

void CDumpAnimationDlg::showEvent(QShowEvent* event) {
  InitOnce();
  QDialog::showEvent(event);
}

void CDumpAnimationDlg::ToControls() {
  fileEdit_->setText(QString::fromStdString(dumpFilePath));
  timeLabel_->setText(timeText);
}

void CDumpAnimationDlg::FromControls() {
  dumpFilePath = fileEdit_->text().toStdString();
}

void CDumpAnimationDlg::CloseFile() {
  reader_.reset();
  atEnd_ = false;
}

bool CDumpAnimationDlg::OpenFile() {
  FromControls();
  try {
    reader_ = std::make_unique<CDumpReader>(dumpFilePath);
  } catch (const CFileException& e) {
    reader_.reset();
    ShowMessageBox(this, QString::fromStdString(e.Message()), MessageKind::kWarning);
    return false;
  }
  atEnd_ = false;
  if (!reader_->Matches(doc_.GetLinks().size(), doc_.GetClasses().size())) {
    reader_.reset();
    ShowMessageBox(this, QString::fromLatin1(kBadDumpFileMessage), MessageKind::kWarning);
    return false;
  }
  return true;
}

void CDumpAnimationDlg::Step() {
  if (atEnd_) {
    timeText = QStringLiteral("END");
    ToControls();
    return;
  }
  std::string word;
  if (!reader_->ReadWord(word)) {
    atEnd_ = true;  // nothing changes until the next step shows "END"
    return;
  }
  timeText = QString::fromStdString(word.substr(0, 100));
  double value = 0.0;
  auto load = [&](C_MM1K_Queue* queue) {
    if (reader_->ReadNumber(value)) queue->N = value;
    if (reader_->ReadNumber(value)) queue->U = value;
    if (reader_->ReadNumber(value)) queue->P = value;
  };
  for (const auto& link : doc_.GetLinks()) {
    load(link->GetForwardQueue());
    load(link->GetBackwardQueue());
  }
  for (size_t i = 0; i < doc_.GetClasses().size(); ++i) reader_->ReadNumber(value);
  ToControls();
  doc_.UpdateAllViews(nullptr, kHintGraphData);
}

void CDumpAnimationDlg::OnStep() {
  if (!reader_ && !OpenFile()) return;
  Step();
}

void CDumpAnimationDlg::OnFastForward() {
  if (!reader_ && !OpenFile()) return;
  // The first skip ends the row shown last (or, on a fresh file, skips the first row whole).
  for (int i = 0; i < 4; ++i) reader_->SkipLine();
  Step();
}

void CDumpAnimationDlg::OnBrowse() {
  CloseFile();
  FromControls();
  const QString path =
      PromptFileName(this, FilePromptKind::kOpen, QStringLiteral("Dump Files (*.dmp);;All Files (*)"),
                     QStringLiteral("dmp"));
  if (path.isEmpty()) return;
  dumpFilePath = QFileInfo(path).absoluteFilePath().toStdString();
  ToControls();
}

void CDumpAnimationDlg::OnStop() {
  CloseFile();
  accept();
}

void CDumpAnimationDlg::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
  QDialog::mousePressEvent(event);
}

void CDumpAnimationDlg::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - dragOffset_);
  QDialog::mouseMoveEvent(event);
}

}  // namespace varlo
