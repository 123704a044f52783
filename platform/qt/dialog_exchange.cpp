#include "platform/qt/dialog_exchange.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/qt/qt_draw_context.h"

namespace varlo {

namespace {

MessageBoxHook& MessageHook() {
  static MessageBoxHook hook;
  return hook;
}
ColorPickerHook& PickerHook() {
  static ColorPickerHook hook;
  return hook;
}
DialogHook& ExecHook() {
  static DialogHook hook;
  return hook;
}

bool IsBlank(QChar c) {
  return c == u' ' || c == u'\t';
}

// The text between leading and trailing blanks (spaces and tabs only, as the framework skips).
QString StripBlanks(const QString& text) {
  qsizetype begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.mid(begin, end - begin);
}

// Digits with an optional sign, nothing else; false on overflow of the 64-bit accumulator range
// that the callers then narrow.
bool ParseInteger(const QString& text, bool allowMinus, long long& value) {
  const QString s = StripBlanks(text);
  if (s.isEmpty()) return false;
  qsizetype i = 0;
  bool negative = false;
  if (s[0] == u'+' || s[0] == u'-') {
    if (s[0] == u'-') {
      if (!allowMinus) return false;
      negative = true;
    }
    ++i;
  }
  if (i == s.size()) return false;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < u'0' || s[i] > u'9') return false;
    v = v * 10 + (s[i].unicode() - u'0');
    if (v > 0xFFFFFFFFLL) return false;
  }
  value = negative ? -v : v;
  return true;
}

}  // namespace

QString FormatDouble(double value) {
  return QString::asprintf("%.15g", value);
}

bool ParseDouble(const QString& text, double& value) {
  const QString s = StripBlanks(text);
  if (s.isEmpty()) return false;
  bool ok = false;
  const double v = s.toDouble(&ok);
  if (!ok || !std::isfinite(v)) return false;
  value = v;
  return true;
}

bool ParseInt(const QString& text, int& value) {
  long long v = 0;
  if (!ParseInteger(text, true, v) || v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

bool ParseUnsigned(const QString& text, unsigned& value) {
  long long v = 0;
  if (!ParseInteger(text, false, v) || v > UINT_MAX) return false;
  value = static_cast<unsigned>(v);
  return true;
}

int ShowMessageBox(QWidget* parent, const QString& text, MessageKind kind, int buttons) {
  if (MessageHook()) return MessageHook()(text, kind, buttons);
  QMessageBox::Icon icon = QMessageBox::Warning;
  switch (kind) {
    case MessageKind::kWarning:
      icon = QMessageBox::Warning;
      break;
    case MessageKind::kInformation:
      icon = QMessageBox::Information;
      break;
    case MessageKind::kError:
      icon = QMessageBox::Critical;
      break;
    case MessageKind::kQuestion:
      icon = QMessageBox::Question;
      break;
  }
  QMessageBox box(icon, QString::fromLatin1(kApplicationTitle), text,
                  static_cast<QMessageBox::StandardButtons>(buttons), parent);
  return box.exec();
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
  MessageBoxHook previous = std::move(MessageHook());
  MessageHook() = std::move(hook);
  return previous;
}

ColorRef FromQColor(const QColor& colour) {
  return Rgb(colour.red(), colour.green(), colour.blue());
}

bool PickColor(QWidget* parent, ColorRef& colour) {
  if (PickerHook()) {
    const std::optional<ColorRef> chosen = PickerHook()(colour);
    if (chosen) colour = *chosen;
    return chosen.has_value();
  }
  const QColor chosen = QColorDialog::getColor(ToQColor(colour), parent);
  if (!chosen.isValid()) return false;
  colour = FromQColor(chosen);
  return true;
}

ColorPickerHook SetColorPickerHook(ColorPickerHook hook) {
  ColorPickerHook previous = std::move(PickerHook());
  PickerHook() = std::move(hook);
  return previous;
}

int ExecDialog(QDialog& dialog) {
  if (auto* init = dynamic_cast<CInitDialog*>(&dialog)) init->InitOnce();
  if (ExecHook()) return ExecHook()(dialog);
  return dialog.exec();
}

DialogHook SetDialogHook(DialogHook hook) {
  DialogHook previous = std::move(ExecHook());
  ExecHook() = std::move(hook);
  return previous;
}

QLineEdit* CreateDigitsEdit(QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
  return edit;
}

QWidget* WithSpinButtons(QLineEdit* edit, QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  edit->setParent(row);
  layout->addWidget(edit);
  auto* spin = new QVBoxLayout();
  spin->setSpacing(0);
  auto step = [edit](int delta) {
    int v = 0;
    ParseInt(edit->text(), v);
    v = std::clamp(v + delta, 0, 100);
    edit->setText(QString::number(v));
  };
  auto* up = new QToolButton(row);
  up->setArrowType(Qt::UpArrow);
  up->setAutoRepeat(true);
  up->setFixedSize(16, 11);
  QObject::connect(up, &QToolButton::clicked, edit, [step] { step(1); });
  auto* down = new QToolButton(row);
  down->setArrowType(Qt::DownArrow);
  down->setAutoRepeat(true);
  down->setFixedSize(16, 11);
  QObject::connect(down, &QToolButton::clicked, edit, [step] { step(-1); });
  spin->addWidget(up);
  spin->addWidget(down);
  layout->addLayout(spin);
  return row;
}

// --- CDialogExchange ---------------------------------------------------------------------------

CDialogExchange& CDialogExchange::Double(QLineEdit* edit, double* value) {
  fields_.push_back({Kind::kDouble, edit, value});
  return *this;
}
CDialogExchange& CDialogExchange::Double(QLineEdit* edit, double* value, double min, double max) {
  fields_.push_back({Kind::kDouble, edit, value, true, min, max});
  return *this;
}
CDialogExchange& CDialogExchange::Int(QLineEdit* edit, int* value) {
  fields_.push_back({Kind::kInt, edit, value});
  return *this;
}
CDialogExchange& CDialogExchange::Int(QLineEdit* edit, int* value, int min, int max) {
  fields_.push_back({Kind::kInt, edit, value, true, static_cast<double>(min), static_cast<double>(max)});
  return *this;
}
CDialogExchange& CDialogExchange::Unsigned(QLineEdit* edit, unsigned* value) {
  fields_.push_back({Kind::kUnsigned, edit, value});
  return *this;
}
CDialogExchange& CDialogExchange::Text(QLineEdit* edit, std::string* value) {
  fields_.push_back({Kind::kStdText, edit, value});
  return *this;
}
CDialogExchange& CDialogExchange::Text(QLineEdit* edit, QString* value) {
  fields_.push_back({Kind::kQText, edit, value});
  return *this;
}
CDialogExchange& CDialogExchange::Check(QCheckBox* box, int* value) {
  fields_.push_back({Kind::kCheck, box, value});
  return *this;
}
CDialogExchange& CDialogExchange::ComboIndex(QComboBox* combo, int* value) {
  fields_.push_back({Kind::kCombo, combo, value});
  return *this;
}

void CDialogExchange::ToControls() {
  for (const Field& f : fields_) {
    switch (f.kind) {
      case Kind::kDouble:
        static_cast<QLineEdit*>(f.widget)->setText(FormatDouble(*static_cast<double*>(f.value)));
        break;
      case Kind::kInt:
        static_cast<QLineEdit*>(f.widget)->setText(QString::number(*static_cast<int*>(f.value)));
        break;
      case Kind::kUnsigned:
        static_cast<QLineEdit*>(f.widget)->setText(QString::number(*static_cast<unsigned*>(f.value)));
        break;
      case Kind::kStdText:
        static_cast<QLineEdit*>(f.widget)->setText(ToQString(*static_cast<std::string*>(f.value)));
        break;
      case Kind::kQText:
        static_cast<QLineEdit*>(f.widget)->setText(*static_cast<QString*>(f.value));
        break;
      case Kind::kCheck:
        static_cast<QCheckBox*>(f.widget)->setChecked(*static_cast<int*>(f.value) != 0);
        break;
      case Kind::kCombo:
        static_cast<QComboBox*>(f.widget)->setCurrentIndex(*static_cast<int*>(f.value));
        break;
    }
  }
  if (after_) after_();
}

QString CDialogExchange::Read(const Field& f, bool store) const {
  auto rangeText = [&](const char* pattern, const QString& lo, const QString& hi) {
    return QString::fromLatin1(pattern).arg(lo, hi);
  };
  switch (f.kind) {
    case Kind::kDouble: {
      double v = 0;
      if (!ParseDouble(static_cast<QLineEdit*>(f.widget)->text(), v))
        return QString::fromLatin1(kTextNotNumber);
      if (f.ranged && (v < f.min || v > f.max))
        return rangeText(kTextNumberRange, FormatDouble(f.min), FormatDouble(f.max));
      if (store) *static_cast<double*>(f.value) = v;
      return {};
    }
    case Kind::kInt: {
      int v = 0;
      if (!ParseInt(static_cast<QLineEdit*>(f.widget)->text(), v))
        return QString::fromLatin1(kTextNotInteger);
      if (f.ranged && (v < f.min || v > f.max))
        return rangeText(kTextIntegerRange, QString::number(static_cast<long long>(f.min)),
                         QString::number(static_cast<long long>(f.max)));
      if (store) *static_cast<int*>(f.value) = v;
      return {};
    }
    case Kind::kUnsigned: {
      unsigned v = 0;
      if (!ParseUnsigned(static_cast<QLineEdit*>(f.widget)->text(), v))
        return QString::fromLatin1(kTextNotPositive);
      if (store) *static_cast<unsigned*>(f.value) = v;
      return {};
    }
    case Kind::kStdText:
      if (store)
        *static_cast<std::string*>(f.value) = static_cast<QLineEdit*>(f.widget)->text().toStdString();
      return {};
    case Kind::kQText:
      if (store) *static_cast<QString*>(f.value) = static_cast<QLineEdit*>(f.widget)->text();
      return {};
    case Kind::kCheck:
      if (store) *static_cast<int*>(f.value) = static_cast<QCheckBox*>(f.widget)->isChecked() ? 1 : 0;
      return {};
    case Kind::kCombo:
      if (store) *static_cast<int*>(f.value) = static_cast<QComboBox*>(f.widget)->currentIndex();
      return {};
  }
  return {};
}

QString CDialogExchange::Validate() const {
  for (const Field& f : fields_) {
    QString failure = Read(f, false);
    if (!failure.isEmpty()) return failure;
  }
  return {};
}

bool CDialogExchange::FromControls(QWidget* parent) {
  for (const Field& f : fields_) {
    const QString failure = Read(f, true);
    if (!failure.isEmpty()) {
      ShowMessageBox(parent, failure, MessageKind::kWarning);
      f.widget->setFocus(Qt::OtherFocusReason);
      if (auto* edit = qobject_cast<QLineEdit*>(f.widget)) edit->selectAll();
      return false;
    }
  }
  if (after_) after_();
  return true;
}

// --- CExchangeDialog ---------------------------------------------------------------------------

CExchangeDialog::CExchangeDialog(QWidget* parent) : QDialog(parent) {}

void CExchangeDialog::LayOutWithButtons(QLayout* content, QPushButton*& ok, QPushButton*& cancel) {
  ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  cancel = new QPushButton(QStringLiteral("Cancel"), this);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QVBoxLayout();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addStretch();
  auto* top = new QHBoxLayout(this);
  top->addLayout(content, 1);
  top->addLayout(buttons);
}

void CExchangeDialog::LayOutWithButtons(QLayout* content) {
  QPushButton* ok = nullptr;
  QPushButton* cancel = nullptr;
  LayOutWithButtons(content, ok, cancel);
}

void CExchangeDialog::showEvent(QShowEvent* event) {
  InitOnce();
  QDialog::showEvent(event);
}

void CExchangeDialog::accept() {
  if (!exchange_.FromControls(this)) return;
  OnExchangeDone();
  QDialog::accept();
}

}  // namespace varlo
