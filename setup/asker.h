// Every question and message setup puts to the user goes through an asker, so that tests can
// answer them; the dialog asker shows the real message boxes and folder picker.
#pragma once

#include <QString>

class QWidget;

namespace varlo {

class CAsker {
 public:
  enum class Icon { kInformation, kWarning, kError };

  virtual ~CAsker() = default;
  // True for Yes.
  virtual bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) = 0;
  // A message with an OK button.
  virtual void ShowMessage(QWidget* parent, const QString& caption, const QString& text, Icon icon) = 0;
  // The chosen folder, or an empty text when the picker was cancelled.
  virtual QString PickFolder(QWidget* parent, const QString& title, const QString& startFolder) = 0;
};

class CDialogAsker : public CAsker {
 public:
  bool AskYesNo(QWidget* parent, const QString& caption, const QString& text) override;
  void ShowMessage(QWidget* parent, const QString& caption, const QString& text, Icon icon) override;
  QString PickFolder(QWidget* parent, const QString& title, const QString& startFolder) override;
};

}  // namespace varlo
