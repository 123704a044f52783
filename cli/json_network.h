// The JSON form of a network, for scripts: every persistent field of nodes, links, classes, the
// node counter and the template queue.
#pragma once

#include <nlohmann/json.hpp>
#include <memory>
#include <string>

#include "model/document.h"

namespace varlo::cli {

// Builds a document from JSON. Nodes are added in array order (so the node table orders them as
// the canvas would), links and classes in array order. Relative rate and trace file names are taken
// relative to baseDirectory. Throws CommandFailure with a message naming the bad element.
// Parses text that must be exactly one JSON value (nothing after it) in which no object holds a
// key twice. Throws nlohmann::json::exception for bad JSON and CommandFailure naming the object
// with the repeated key.
nlohmann::json ParseJsonStrictly(const std::string& text);

std::unique_ptr<CVarloDoc> DocumentFromJson(const nlohmann::json& json, const std::string& baseDirectory);

nlohmann::json DocumentToJson(const CVarloDoc& doc);

// "#RRGGBB" <-> 0x00BBGGRR.
std::string ColorToText(ColorRef color);
ColorRef ColorFromText(const std::string& text, const std::string& what);

}  // namespace varlo::cli
