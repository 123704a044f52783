#include "cli/command.h"

#include "model/document.h"

namespace varlo::cli {

std::unique_ptr<CVarloDoc> OpenNetwork(const std::string& path) {
  auto doc = std::make_unique<CVarloDoc>();
  doc->OnOpenDocument(path);
  return doc;
}

}  // namespace varlo::cli
