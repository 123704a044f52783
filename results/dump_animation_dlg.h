// The dump animation: replays a dump file on the canvas one row per button press. Each step loads
// the three metrics of one row into every queue and notifies the views with hint 7, so the canvas
// shows each link's queue fill as it was at that time. The window has no title bar and is dragged
// by its body.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>
#include <memory>
#include <string>

#include "platform/qt/dialog_exchange.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace varlo {

class CDumpReader;
class CVarloDoc;

class CDumpAnimationDlg : public QDialog, public CInitDialog {
  Q_OBJECT

 public:
  explicit CDumpAnimationDlg(CVarloDoc& doc, QWidget* parent = nullptr);
  ~CDumpAnimationDlg() override;

  std::string dumpFilePath;
  QString timeText;  // the row's time as written in the file, or "END"

  void OnInitDialog() override;

  // ">": the next row.
  void OnStep();
  // ">>": skips four rows, then one step.
  void OnFastForward();
  // "...": closes the open file and asks for another.
  void OnBrowse();
  // "Stop": closes the file and the window.
  void OnStop();

  bool IsFileOpen() const { return reader_ != nullptr; }

  QLineEdit* FileEdit() const { return fileEdit_; }
  QLabel* TimeLabel() const { return timeLabel_; }
  // Names the model of a refined dump; hidden for a classic one.
  QLabel* ModelLabel() const { return modelLabel_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Opens the dump path and checks its header; false (nothing open) when refused.
  bool OpenFile();
  void CloseFile();
  void Step();
  void ToControls();
  void FromControls();

  CVarloDoc& doc_;
  std::unique_ptr<CDumpReader> reader_;
  bool atEnd_ = false;
  QLineEdit* fileEdit_;
  QLabel* timeLabel_;
  QLabel* modelLabel_;
  QPushButton* browseButton_;
  QPushButton* stepButton_;
  QPushButton* fastButton_;
  QPushButton* stopButton_;
  QPoint dragOffset_;
};

}  // namespace varlo
