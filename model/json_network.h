// The JSON form of a network, for scripts: every persistent field of nodes, links, classes, the
// node counter and the template queue.
#pragma once

#include <istream>
#include <memory>
#include <stdexcept>
#include <string>

#include "model/document.h"

namespace varlo {

// A JSON network that cannot be read; what() names the file and the bad element.
class CJsonNetworkError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Builds a document from the JSON text of fileName (used in messages). Nodes are added in array
// order (so the node table orders them as the canvas would), links and classes in array order.
// Relative rate and trace file names are taken relative to baseDirectory. Throws
// CJsonNetworkError: "<file> is not valid JSON: ..." or "<file>: <the bad element>".
std::unique_ptr<CVarloDoc> DocumentFromJson(std::istream& in, const std::string& fileName,
                                            const std::string& baseDirectory);

// The JSON text of a document, indented by two spaces, with a final line end.
std::string DocumentToJson(const CVarloDoc& doc);

// "#RRGGBB" <-> 0x00BBGGRR.
std::string ColorToText(ColorRef color);
ColorRef ColorFromText(const std::string& text, const std::string& what);

}  // namespace varlo
