#include "model/json_network.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <set>
#include <utility>

#include "model/mm1k_queue.h"
#include "model/archive.h"
#include "model/traffic_class_kinds.h"

namespace varlo {

namespace {

using nlohmann::json;

[[noreturn]] void Fail(const std::string& message) { throw CJsonNetworkError(message); }

double NumberField(const json& object, const char* key, const std::string& what) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_number()) Fail(what + ": \"" + key + "\" must be a number");
  return it->get<double>();
}

double NumberOr(const json& object, const char* key, double fallback, const std::string& what) {
  if (!object.contains(key)) return fallback;
  return NumberField(object, key, what);
}

long long IntegerField(const json& object, const char* key, const std::string& what) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_number_integer()) Fail(what + ": \"" + key + "\" must be an integer");
  return it->get<long long>();
}

long long IntegerOr(const json& object, const char* key, long long fallback, const std::string& what) {
  if (!object.contains(key)) return fallback;
  return IntegerField(object, key, what);
}

std::string TextField(const json& object, const char* key, const std::string& what) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_string()) Fail(what + ": \"" + key + "\" must be a text");
  return it->get<std::string>();
}

ColorRef ColorOr(const json& object, const char* key, ColorRef fallback, const std::string& what) {
  if (!object.contains(key)) return fallback;
  return ColorFromText(TextField(object, key, what), what + " " + key);
}

std::uint16_t NodeNumberField(const json& object, const char* key, const std::string& what) {
  const long long number = IntegerField(object, key, what);
  if (number < 1 || number > 65535) Fail(what + ": node number " + std::to_string(number) + " is outside 1..65535");
  return static_cast<std::uint16_t>(number);
}

struct QueueParameters {
  double rate, buffer, delay;
  std::uint16_t weight;
};

QueueParameters QueueFromJson(const json& object, const std::string& what, const QueueParameters& defaults) {
  if (!object.is_object()) Fail(what + " must be an object");
  QueueParameters q = defaults;
  q.rate = NumberOr(object, "rate", defaults.rate, what);
  q.buffer = NumberOr(object, "buffer", defaults.buffer, what);
  q.delay = NumberOr(object, "delay", defaults.delay, what);
  const long long weight = IntegerOr(object, "weight", defaults.weight, what);
  if (weight < 0 || weight > 65535) Fail(what + ": \"weight\" is outside 0..65535");
  q.weight = static_cast<std::uint16_t>(weight);
  return q;
}

json QueueToJson(const CQueue& queue, double buffer) {
  return json{{"rate", queue.serviceRate}, {"buffer", buffer}, {"delay", queue.propagationDelay},
              {"weight", queue.routeWeight}};
}

std::string ResolvePath(const std::string& path, const std::string& base) {
  if (path.empty() || base.empty()) return path;
  std::filesystem::path p(path);
  if (p.is_absolute()) return path;
  return (std::filesystem::path(base) / p).lexically_normal().string();
}

std::string NodeLabel(std::uint16_t number) { return "node " + std::to_string(number); }

}  // namespace

std::string ColorToText(ColorRef color) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", RedOf(color), GreenOf(color), BlueOf(color));
  return text;
}

ColorRef ColorFromText(const std::string& text, const std::string& what) {
  unsigned r = 0, g = 0, b = 0;
  char extra = 0;
  if (text.size() != 7 || text[0] != '#' || std::sscanf(text.c_str() + 1, "%2x%2x%2x%c", &r, &g, &b, &extra) != 3) {
    Fail(what + ": colour \"" + text + "\" is not of the form #RRGGBB");
  }
  return Rgb(r, g, b);
}

// "udp, tcp, tdpoisson or trace": the kinds' JSON names, for the message of an unknown one.
static std::string KindNames() {
  const std::vector<TrafficClassKind>& kinds = TrafficClassKinds();
  std::string names;
  for (size_t i = 0; i < kinds.size(); ++i) {
    if (i > 0) names += i + 1 == kinds.size() ? " or " : ", ";
    names += kinds[i].jsonName;
  }
  return names;
}

static std::unique_ptr<CVarloDoc> DocumentFromJsonValue(const json& root, const std::string& baseDirectory) {
  if (!root.is_object()) Fail("the network must be a JSON object");
  auto doc = std::make_unique<CVarloDoc>();

  if (root.contains("templateQueue")) {
    const QueueParameters defaults{doc->templateQueue.serviceRate, doc->templateQueue.bufferSize,
                                   doc->templateQueue.propagationDelay, doc->templateQueue.routeWeight};
    const QueueParameters t = QueueFromJson(root["templateQueue"], "templateQueue", defaults);
    doc->templateQueue.serviceRate = t.rate;
    doc->templateQueue.bufferSize = t.buffer;
    doc->templateQueue.propagationDelay = t.delay;
    doc->templateQueue.routeWeight = t.weight;
  }

  int largestNumber = 0;
  if (root.contains("nodes")) {
    if (!root["nodes"].is_array()) Fail("\"nodes\" must be an array");
    for (size_t i = 0; i < root["nodes"].size(); ++i) {
      const json& n = root["nodes"][i];
      const std::string what = "nodes[" + std::to_string(i) + "]";
      if (!n.is_object()) Fail(what + " must be an object");
      const std::uint16_t number = NodeNumberField(n, "number", what);
      if (doc->FindNode(number) != nullptr) Fail(what + ": node number " + std::to_string(number) + " is used twice");
      const std::string name = n.contains("name") ? TextField(n, "name", what) : "N" + std::to_string(number);
      auto node = std::make_unique<CGraphicNode>(number, name, static_cast<std::int32_t>(IntegerField(n, "x", what)),
                                                 static_cast<std::int32_t>(IntegerField(n, "y", what)));
      node->size = static_cast<std::int32_t>(IntegerOr(n, "size", node->size, what));
      const long long shape = IntegerOr(n, "shape", node->shape, what);
      if (shape < 0 || shape > 6) Fail(what + ": \"shape\" is outside 0..6");
      node->shape = static_cast<std::int32_t>(shape);
      node->backColor = ColorOr(n, "backColor", node->backColor, what);
      node->foreColor = ColorOr(n, "foreColor", node->foreColor, what);
      node->textColor = ColorOr(n, "textColor", node->textColor, what);
      largestNumber = std::max<int>(largestNumber, number);
      doc->AddNode(std::move(node));
    }
  }
  doc->nextNodeNumber = static_cast<std::int32_t>(IntegerOr(root, "nextNodeNumber", largestNumber + 1, "network"));
  if (doc->nextNodeNumber <= largestNumber) {
    Fail("\"nextNodeNumber\" " + std::to_string(doc->nextNodeNumber) + " would reuse the number of an existing node");
  }

  if (root.contains("links")) {
    if (!root["links"].is_array()) Fail("\"links\" must be an array");
    const QueueParameters defaults{doc->templateQueue.serviceRate, doc->templateQueue.bufferSize,
                                   doc->templateQueue.propagationDelay, 1};
    for (size_t i = 0; i < root["links"].size(); ++i) {
      const json& l = root["links"][i];
      const std::string what = "links[" + std::to_string(i) + "]";
      if (!l.is_object()) Fail(what + " must be an object");
      const std::uint16_t firstNumber = NodeNumberField(l, "first", what);
      const std::uint16_t secondNumber = NodeNumberField(l, "second", what);
      CGraphicNode* first = doc->FindNode(firstNumber);
      CGraphicNode* second = doc->FindNode(secondNumber);
      if (first == nullptr) Fail(what + ": there is no " + NodeLabel(firstNumber));
      if (second == nullptr) Fail(what + ": there is no " + NodeLabel(secondNumber));
      if (first == second) Fail(what + ": a link cannot join " + NodeLabel(firstNumber) + " to itself");
      if (doc->FindLink(first, second) != nullptr) {
        Fail(what + ": there is already a link between " + NodeLabel(firstNumber) + " and " + NodeLabel(secondNumber));
      }
      const QueueParameters f = QueueFromJson(l.value("forward", json::object()), what + ".forward", defaults);
      const QueueParameters b = QueueFromJson(l.value("backward", json::object()), what + ".backward", defaults);
      auto forward = std::make_unique<C_MM1K_Queue>(first, second, f.rate, f.buffer, f.delay);
      forward->routeWeight = f.weight;
      auto backward = std::make_unique<C_MM1K_Queue>(second, first, b.rate, b.buffer, b.delay);
      backward->routeWeight = b.weight;
      LinkStyle style;
      style.thickness = static_cast<std::int32_t>(IntegerOr(l, "thickness", style.thickness, what));
      style.lineColor = ColorOr(l, "lineColor", style.lineColor, what);
      style.bufferColor1 = ColorOr(l, "bufferColor1", style.bufferColor1, what);
      style.bufferColor2 = ColorOr(l, "bufferColor2", style.bufferColor2, what);
      doc->AddLink(std::make_unique<CGraphicLink>(first, second, std::move(forward), std::move(backward), style));
    }
  }

  if (root.contains("classes")) {
    if (!root["classes"].is_array()) Fail("\"classes\" must be an array");
    for (size_t i = 0; i < root["classes"].size(); ++i) {
      const json& c = root["classes"][i];
      const std::string what = "classes[" + std::to_string(i) + "]";
      if (!c.is_object()) Fail(what + " must be an object");
      const std::string type = TextField(c, "type", what);
      const std::uint16_t sourceNumber = NodeNumberField(c, "source", what);
      const std::uint16_t destinationNumber = NodeNumberField(c, "destination", what);
      CGraphicNode* source = doc->FindNode(sourceNumber);
      CGraphicNode* destination = doc->FindNode(destinationNumber);
      if (source == nullptr) Fail(what + ": there is no " + NodeLabel(sourceNumber));
      if (destination == nullptr) Fail(what + ": there is no " + NodeLabel(destinationNumber));
      const double start = NumberField(c, "start", what);
      const double stop = NumberField(c, "stop", what);
      const TrafficClassKind* kind = FindKindByJsonName(type);
      if (kind == nullptr) Fail(what + ": unknown class type \"" + type + "\" (" + KindNames() + ")");
      KindValues values;
      for (const KindParameter& p : kind->parameters) {
        if (p.type == KindParameter::kFile) {
          values.files[p.name] = ResolvePath(TextField(c, p.name, what), baseDirectory);
        } else {
          values.numbers[p.name] = p.required ? NumberField(c, p.name, what) : NumberOr(c, p.name, p.defaultNumber, what);
        }
      }
      std::unique_ptr<CTrafficClass> trafficClass;
      try {
        trafficClass = kind->create(source, destination, start, stop, values);
      } catch (const CFileException& e) {
        Fail(what + ": " + e.Message());
      }
      doc->AddClass(std::move(trafficClass));
    }
  }
  doc->SetModifiedFlag(false);
  return doc;
}

static json DocumentToJsonValue(const CVarloDoc& doc) {
  json root;
  root["nextNodeNumber"] = doc.nextNodeNumber;
  root["templateQueue"] = QueueToJson(doc.templateQueue, doc.templateQueue.bufferSize);
  json nodes = json::array();
  for (const CGraphicNode* n : doc.NodesInTableOrder()) {
    nodes.push_back(json{{"number", n->GetNumber()}, {"name", n->GetName()}, {"x", n->x}, {"y", n->y},
                         {"size", n->size}, {"shape", n->shape}, {"backColor", ColorToText(n->backColor)},
                         {"foreColor", ColorToText(n->foreColor)}, {"textColor", ColorToText(n->textColor)}});
  }
  root["nodes"] = nodes;
  json links = json::array();
  for (const auto& l : doc.GetLinks()) {
    links.push_back(json{{"first", l->GetFirstNumber()},
                         {"second", l->GetSecondNumber()},
                         {"forward", QueueToJson(*l->GetForwardQueue(), l->GetForwardQueue()->bufferSize)},
                         {"backward", QueueToJson(*l->GetBackwardQueue(), l->GetBackwardQueue()->bufferSize)},
                         {"thickness", l->thickness},
                         {"lineColor", ColorToText(l->lineColor)},
                         {"bufferColor1", ColorToText(l->bufferColor1)},
                         {"bufferColor2", ColorToText(l->bufferColor2)}});
  }
  root["links"] = links;
  json classes = json::array();
  for (const auto& c : doc.GetClasses()) {
    json j{{"source", c->GetSourceNumber()}, {"destination", c->GetDestinationNumber()},
           {"start", c->startTime}, {"stop", c->stopTime}};
    const TrafficClassKind& kind = KindOf(*c);
    j["type"] = kind.jsonName;
    const KindValues values = kind.valuesOf(*c);
    for (const auto& [name, number] : values.numbers) j[name] = number;
    for (const auto& [name, file] : values.files) j[name] = file;
    classes.push_back(std::move(j));
  }
  root["classes"] = classes;
  return root;
}

std::unique_ptr<CVarloDoc> DocumentFromJson(std::istream& in, const std::string& fileName,
                                            const std::string& baseDirectory) {
  json root;
  try {
    in >> root;
  } catch (const json::exception& e) {
    throw CJsonNetworkError(fileName + " is not valid JSON: " + e.what());
  }
  try {
    return DocumentFromJsonValue(root, baseDirectory);
  } catch (const CJsonNetworkError& e) {
    throw CJsonNetworkError(fileName + ": " + e.what());
  }
}

std::string DocumentToJson(const CVarloDoc& doc) {
  return DocumentToJsonValue(doc).dump(2) + "\n";
}

}  // namespace varlo
