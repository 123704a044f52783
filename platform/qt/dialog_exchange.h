// Dialog data exchange: a dialog declares its fields in exchange order and gets ToControls() /
// FromControls() with the program's standard validation texts. On the first failing field the
// message box "Varlo" shows the text, that field gets the focus and the dialog stays open.
//
// Also the program's message box, colour picker and modal-dialog runner, each with a hook so that
// tests can answer them without an event loop.
#pragma once

#include <QColor>
#include <QDialog>
#include <QLayout>
#include <QPushButton>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/colors.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QWidget;

namespace varlo {

// --- the standard texts ------------------------------------------------------------------------
inline constexpr const char* kTextNotInteger = "Please enter an integer.";
inline constexpr const char* kTextNotNumber = "Please enter a number.";
inline constexpr const char* kTextIntegerRange = "Please enter an integer between %1 and %2.";
inline constexpr const char* kTextNumberRange = "Please enter a number between %1 and %2.";
inline constexpr const char* kTextNotPositive = "Please enter a positive integer.";
inline constexpr const char* kApplicationTitle = "Varlo";

// A double as the framework shows it in an edit ("%.15g": 1.0 -> "1", 1e-6 -> "1e-06").
QString FormatDouble(double value);
// Lenient parses: blanks around the value are accepted, anything else after it is not.
bool ParseDouble(const QString& text, double& value);
bool ParseInt(const QString& text, int& value);
bool ParseUnsigned(const QString& text, unsigned& value);

// --- message box ---------------------------------------------------------------------------------
enum class MessageKind { kWarning, kInformation, kError, kQuestion };
// Returns the button pressed (QMessageBox::StandardButton). With a hook installed the hook answers
// instead of a box being shown.
int ShowMessageBox(QWidget* parent, const QString& text, MessageKind kind = MessageKind::kWarning,
                   int buttons = 0x00000400 /* QMessageBox::Ok */);
using MessageBoxHook = std::function<int(const QString& text, MessageKind kind, int buttons)>;
// Installs a hook (an empty function removes it); returns the previous one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// --- colour picker (solid colours only) ---------------------------------------------------------
// Lets the user change colour; returns whether the picker was confirmed.
bool PickColor(QWidget* parent, ColorRef& colour);
using ColorPickerHook = std::function<std::optional<ColorRef>(ColorRef initial)>;
ColorPickerHook SetColorPickerHook(ColorPickerHook hook);

// The inverse of ToQColor (qt_draw_context.h).
ColorRef FromQColor(const QColor& colour);

// --- modal dialogs -------------------------------------------------------------------------------
// Runs the dialog modally and returns its result (QDialog::Accepted or Rejected). A test hook
// receives the constructed dialog instead, may fill and press its buttons, and returns the result.
int ExecDialog(QDialog& dialog);
using DialogHook = std::function<int(QDialog& dialog)>;
DialogHook SetDialogHook(DialogHook hook);

// --- controls --------------------------------------------------------------------------------
// An edit that accepts digits only.
QLineEdit* CreateDigitsEdit(QWidget* parent);
// The edit with spin buttons attached beside it (steps of 1 between 0 and 100, like an unset
// spin range); returns the row holding both, to be placed in a layout.
QWidget* WithSpinButtons(QLineEdit* edit, QWidget* parent);

// --- the exchange --------------------------------------------------------------------------------
class CDialogExchange {
 public:
  CDialogExchange& Double(QLineEdit* edit, double* value);
  CDialogExchange& Double(QLineEdit* edit, double* value, double min, double max);
  CDialogExchange& Int(QLineEdit* edit, int* value);
  CDialogExchange& Int(QLineEdit* edit, int* value, int min, int max);
  CDialogExchange& Unsigned(QLineEdit* edit, unsigned* value);
  CDialogExchange& Text(QLineEdit* edit, std::string* value);
  CDialogExchange& Text(QLineEdit* edit, QString* value);
  CDialogExchange& Check(QCheckBox* box, int* value);
  CDialogExchange& ComboIndex(QComboBox* combo, int* value);
  // Called after every exchange in either direction (enabling that follows the values).
  void SetAfterExchange(std::function<void()> after) { after_ = std::move(after); }

  void ToControls();
  // Reads and checks the fields in exchange order. Values of fields before a failing one are
  // stored; the failing field and those after it leave their values untouched. On failure shows
  // the text, focuses and selects the field and returns false.
  bool FromControls(QWidget* parent);
  // The text of the first failing field without showing anything ("" when all pass).
  QString Validate() const;

 private:
  enum class Kind { kDouble, kInt, kUnsigned, kStdText, kQText, kCheck, kCombo };
  struct Field {
    Kind kind;
    QWidget* widget;
    void* value;
    bool ranged = false;
    double min = 0, max = 0;
  };
  // Parses one field; on success writes its value when store is set, else returns the message.
  QString Read(const Field& field, bool store) const;

  std::vector<Field> fields_;
  std::function<void()> after_;
};

// What ExecDialog does before the dialog runs: the framework's initial exchange to the controls.
class CInitDialog {
 public:
  virtual ~CInitDialog() = default;
  virtual void OnInitDialog() = 0;
  // Runs OnInitDialog the first time only (ExecDialog, or the first show of a dialog run directly).
  void InitOnce() {
    if (initialised_) return;
    initialised_ = true;
    OnInitDialog();
  }

 private:
  bool initialised_ = false;
};

// A dialog whose OK runs the exchange: the dialog closes only when every field passes.
class CExchangeDialog : public QDialog, public CInitDialog {
 public:
  explicit CExchangeDialog(QWidget* parent = nullptr);
  void accept() override;
  // Writes the values to the controls; ExecDialog calls it before the dialog runs.
  void OnInitDialog() override { exchange_.ToControls(); }
  CDialogExchange& Exchange() { return exchange_; }

 protected:
  // Runs after the fields were read successfully, before the dialog closes.
  virtual void OnExchangeDone() {}
  // Lays the dialog out as the program's dialogs are: the content on the left, and on the right a
  // column with "OK" (the default button, accepting) and "Cancel" (rejecting), returned through
  // ok and cancel.
  void LayOutWithButtons(QLayout* content, QPushButton*& ok, QPushButton*& cancel);
  void LayOutWithButtons(QLayout* content);
  void showEvent(QShowEvent* event) override;
  CDialogExchange exchange_;
};

}  // namespace varlo
