#include "model/json_network.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <filesystem>
#include <iterator>
#include <set>
#include <utility>
#include <vector>

#include "model/mm1k_queue.h"
#include "model/archive.h"
#include "model/trace_class.h"
#include "model/traffic_class_kinds.h"

namespace varlo {

namespace {

using nlohmann::json;

[[noreturn]] void Fail(const std::string& message) { throw CJsonNetworkError(message); }

constexpr double kLargest = std::numeric_limits<double>::max();

// A finite number of at least `least` (and not denormal: no quantity of a network is).
double NumberField(const json& object, const char* key, const std::string& what, double least = -kLargest) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_number()) Fail(what + ": \"" + key + "\" must be a number");
  const double value = it->get<double>();
  if (!std::isfinite(value) || (value != 0.0 && std::fabs(value) < std::numeric_limits<double>::min())) {
    Fail(what + ": \"" + key + "\" must be a finite number");
  }
  if (value < least) {
    Fail(what + ": \"" + key + "\" must be at least " + json(least).dump());
  }
  return value;
}

double NumberOr(const json& object, const char* key, double fallback, const std::string& what,
                double least = -kLargest) {
  if (!object.contains(key)) return fallback;
  return NumberField(object, key, what, least);
}

// An integer within [least, most]; an unsigned JSON integer beyond long long is out of range
// too, never wrapped.
long long IntegerField(const json& object, const char* key, const std::string& what,
                       long long least = std::numeric_limits<std::int32_t>::min(),
                       long long most = std::numeric_limits<std::int32_t>::max()) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_number_integer()) Fail(what + ": \"" + key + "\" must be an integer");
  const bool tooLarge = it->is_number_unsigned() &&
                        it->get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<long long>::max());
  const long long value = tooLarge ? std::numeric_limits<long long>::max() : it->get<long long>();
  if (tooLarge || value < least || value > most) {
    Fail(what + ": \"" + key + "\" " + it->dump() + " is outside " + std::to_string(least) + ".." +
         std::to_string(most));
  }
  return value;
}

long long IntegerOr(const json& object, const char* key, long long fallback, const std::string& what,
                    long long least = std::numeric_limits<std::int32_t>::min(),
                    long long most = std::numeric_limits<std::int32_t>::max()) {
  if (!object.contains(key)) return fallback;
  return IntegerField(object, key, what, least, most);
}

// A trace must be a readable regular file: a folder or a device is no trace. Nothing is written.
void CheckTraceFile(const std::string& path, const std::string& what) {
  try {
    CTraceClass::CheckTraceFile(path);
  } catch (const CFileException& e) {
    Fail(what + ": " + e.Message());
  } catch (const CTraceRateException& e) {
    Fail(what + ": " + e.what());
  }
}

// Text of the archive as UTF-8. Text imported from JSON is UTF-8 already and stays as it is;
// anything else comes from the 8-bit strings of older files, which are Latin-1.
std::string ToUtf8(const std::string& text) {
  size_t i = 0;
  bool valid = true;
  while (valid && i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) {
      valid = false;
      break;
    }
    std::uint32_t code = length == 1 ? c : c & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) valid = false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (valid && (code < kLeast[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)) valid = false;
    i += length;
  }
  if (valid) return text;
  std::string converted;
  converted.reserve(text.size() * 2);
  for (unsigned char c : text) {
    if (c < 0x80) {
      converted += static_cast<char>(c);
    } else {
      converted += static_cast<char>(0xC0 | (c >> 6));
      converted += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return converted;
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
  q.rate = NumberOr(object, "rate", defaults.rate, what, 0.0);
  // A buffer holds at least the packet in service.
  q.buffer = NumberOr(object, "buffer", defaults.buffer, what, kLeastBufferSize);
  q.delay = NumberOr(object, "delay", defaults.delay, what, 0.0);
  const long long weight = IntegerOr(object, "weight", defaults.weight, what, 0, 65535);
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

// The whole text must be one JSON value (text after it is refused), and no object may hold a key
// twice (the parser would silently keep the last): the message names the object.
nlohmann::json ParseJsonStrictly(const std::string& text) {
  using nlohmann::json;
  struct Frame {
    bool array = false;
    size_t index = 0;       // array: elements completed
    std::string key;        // object: the key being read
    std::set<std::string> keys;
  };
  std::vector<Frame> frames;
  auto where = [&frames]() {
    std::string path;
    for (size_t i = 0; i + 1 < frames.size(); ++i) {
      if (frames[i].array) {
        path += "[" + std::to_string(frames[i].index) + "]";
      } else {
        path += (path.empty() ? "" : ".") + frames[i].key;
      }
    }
    return path.empty() ? std::string("the network") : path;
  };
  auto completed = [&frames]() {
    if (!frames.empty() && frames.back().array) ++frames.back().index;
  };
  const json::parser_callback_t check = [&](int, json::parse_event_t event, json& parsed) {
    switch (event) {
      case json::parse_event_t::object_start:
        frames.push_back(Frame{});
        break;
      case json::parse_event_t::array_start:
        frames.push_back(Frame{true, 0, {}, {}});
        break;
      case json::parse_event_t::key: {
        const std::string key = parsed.get<std::string>();
        frames.back().key = key;
        if (!frames.back().keys.insert(key).second) {
          throw CJsonNetworkError(where() + ": the key \"" + key + "\" appears twice");
        }
        break;
      }
      case json::parse_event_t::object_end:
      case json::parse_event_t::array_end:
        frames.pop_back();
        completed();
        break;
      case json::parse_event_t::value:
        completed();
        break;
    }
    return true;
  };
  return json::parse(text, check);
}

}  // namespace

std::string ColorToText(ColorRef color) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", RedOf(color), GreenOf(color), BlueOf(color));
  return text;
}

ColorRef ColorFromText(const std::string& text, const std::string& what) {
  // Exactly six hexadecimal digits: sscanf's "%2x" would also take blanks and signs.
  bool wellFormed = text.size() == 7 && text[0] == '#';
  for (size_t i = 1; wellFormed && i < text.size(); ++i) {
    wellFormed = std::isxdigit(static_cast<unsigned char>(text[i])) != 0;
  }
  if (!wellFormed) Fail(what + ": colour \"" + text + "\" is not of the form #RRGGBB");
  const unsigned long value = std::stoul(text.substr(1), nullptr, 16);
  return Rgb(static_cast<unsigned>(value >> 16) & 0xFF, static_cast<unsigned>(value >> 8) & 0xFF,
             static_cast<unsigned>(value) & 0xFF);
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
      const long long shape = IntegerOr(n, "shape", node->shape, what, 0, 6);
      node->shape = static_cast<std::int32_t>(shape);
      node->backColor = ColorOr(n, "backColor", node->backColor, what);
      node->foreColor = ColorOr(n, "foreColor", node->foreColor, what);
      node->textColor = ColorOr(n, "textColor", node->textColor, what);
      largestNumber = std::max<int>(largestNumber, number);
      doc->AddNode(std::move(node));
    }
  }
  // One past the last number in use: 65536 when 65535 is taken.
  doc->nextNodeNumber =
      static_cast<std::int32_t>(IntegerOr(root, "nextNodeNumber", largestNumber + 1, "network", 1, 65536));
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
        const std::string name = p.name;
        if (p.type == KindParameter::kFile) {
          values.files[name] = ResolvePath(TextField(c, p.name, what), baseDirectory);
        } else {
          // Rates, delays and slots are never negative; the reserved fields hold any number.
          const double least = name.rfind("reserved", 0) == 0 ? -kLargest : 0.0;
          values.numbers[name] = p.required ? NumberField(c, p.name, what, least)
                                            : NumberOr(c, p.name, p.defaultNumber, what, least);
          if (name == "slot" && values.numbers[name] == 0.0) Fail(what + ": \"slot\" must be greater than 0");
        }
      }
      // A trace is read when a run needs it; a folder or a device is refused now, once the
      // numbers beside it have been found sound.
      if (values.files.count("traceFile") != 0) CheckTraceFile(values.files["traceFile"], what);
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
    nodes.push_back(json{{"number", n->GetNumber()}, {"name", ToUtf8(n->GetName())}, {"x", n->x}, {"y", n->y},
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
    // Older files hold 8-bit (Latin-1) text; JSON text is UTF-8.
    for (const auto& [name, file] : values.files) j[name] = ToUtf8(file);
    classes.push_back(std::move(j));
  }
  root["classes"] = classes;
  return root;
}

std::unique_ptr<CVarloDoc> DocumentFromJson(std::istream& in, const std::string& fileName,
                                            const std::string& baseDirectory) {
  // The whole stream is the network: text after the JSON value is refused, not ignored.
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  json root;
  try {
    root = ParseJsonStrictly(text);
  } catch (const json::exception& e) {
    throw CJsonNetworkError(fileName + " is not valid JSON: " + e.what());
  } catch (const CJsonNetworkError& e) {
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
