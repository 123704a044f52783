#include "platform/qt/shared_printer.h"

namespace varlo {

namespace {
QPrinter* registered = nullptr;
}  // namespace

QPrinter* SharedPrinter() {
  return registered;
}

void SetSharedPrinter(QPrinter* printer) {
  registered = printer;
}

}  // namespace varlo
