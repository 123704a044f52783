// The traffic-class kinds in one table: for each, its type code, its class name in .net/.cls
// files, its name in the JSON form, its class-tree image, how the engine finds its rate, its
// parameters beyond the end nodes and times, and how to make one. Files, the JSON form, the class
// tree, the canvas and the engine all go through this table, so a new kind is one entry here plus
// its own class files (and, when users create it by hand, its controls in the traffic class dialog).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/traffic_class.h"

namespace varlo {

class CNode;

// How the evaluation runs find a kind's offered rate at each step.
enum class RateSource {
  kConstant,    // a fixed rate while active (ConstantRate)
  kTcpProfile,  // the TCP profile, from the round trip and loss of the class's path
  kOwn,         // the class's own GetRate (rate files, traces)
};

// A kind's parameter: a number or a file name (taken relative to the JSON file's folder).
struct KindParameter {
  enum Type { kNumber, kFile };
  const char* name;  // its key in the JSON form
  Type type;
  bool required;
  double defaultNumber;  // when not required
};

// The parameters of one class, by name.
struct KindValues {
  std::map<std::string, double> numbers;
  std::map<std::string, std::string> files;
};

struct TrafficClassKind {
  int type;                    // GetType()
  const char* persistentName;  // the class name in the archive
  const char* jsonName;        // "type" in the JSON form
  int treeImage;               // image index in the class tree
  RateSource rateSource;
  std::vector<KindParameter> parameters;
  // An empty object, for reading an archive.
  std::unique_ptr<CPersistent> (*createEmpty)();
  // A class between the nodes from its values (every parameter present). May throw CFileException
  // (a trace file that cannot be read).
  std::unique_ptr<CTrafficClass> (*create)(CNode* source, CNode* destination, double startTime,
                                           double stopTime, const KindValues& values);
  // The values of an existing class of this kind.
  KindValues (*valuesOf)(const CTrafficClass& c);
  // The fixed rate of a kConstant kind, packets/s.
  double (*constantRate)(const CTrafficClass& c);
};

// Every kind, in type order.
const std::vector<TrafficClassKind>& TrafficClassKinds();
// The kind of a type code or of a JSON name; nullptr when there is none.
const TrafficClassKind* FindKindByType(int type);
const TrafficClassKind* FindKindByJsonName(const std::string& name);
const TrafficClassKind& KindOf(const CTrafficClass& c);

}  // namespace varlo
