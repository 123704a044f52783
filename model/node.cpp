#include "model/node.h"

#include <algorithm>

#include "model/archive.h"
#include "platform/core/text_format.h"

namespace varlo {

namespace {

// Script names become parts of Tcl variable names ($node_<name>) and of qns records, so only
// characters that a Tcl variable substitution takes whole survive: letters, digits and '_'.
// Everything else (blank, tab, newline, ';', '[', '$', '.', bytes above 127 ...) becomes '_'.
bool IsScriptNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

CNode::CNode(std::uint16_t number, std::string name) : number_(number), name_(std::move(name)) {}

// The tables only refer to queues, nodes and classes that the document owns.
CNode::~CNode() = default;

void CNode::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteU16(number_);
    ar.WriteString(name_);
  } else {
    number_ = ar.ReadU16();
    name_ = ar.ReadString();
  }
}

std::string CNode::GetScriptName() const {
  std::string s = Format("%s_%d", name_.c_str(), static_cast<int>(number_));
  for (char& c : s) {
    if (!IsScriptNameCharacter(c)) c = '_';
  }
  return s;
}

std::string CNode::GetNSScript() const {
  return Format("set node_%s [$ns node]\n", GetScriptName().c_str());
}

void CNode::AddNeighbour(CNode* neighbour, CQueue* incomingQueue, CQueue* outgoingQueue) {
  for (Neighbour& n : neighbours_) {
    if (n.node == neighbour) {
      n.incoming = incomingQueue;
      n.outgoing = outgoingQueue;
      return;
    }
  }
  neighbours_.push_back(Neighbour{neighbour, outgoingQueue, incomingQueue});
}

void CNode::RemoveNeighbour(CNode* neighbour) {
  std::erase_if(neighbours_, [neighbour](const Neighbour& n) { return n.node == neighbour; });
}

size_t CNode::NeighbourIndexOf(const CNode* neighbour) const {
  const auto it = std::find_if(neighbours_.begin(), neighbours_.end(),
                               [neighbour](const Neighbour& n) { return n.node == neighbour; });
  return static_cast<size_t>(it - neighbours_.begin());
}

void CNode::InsertNeighbourAt(size_t index, const Neighbour& entry) {
  RemoveNeighbour(entry.node);
  index = std::min(index, neighbours_.size());
  neighbours_.insert(neighbours_.begin() + static_cast<std::ptrdiff_t>(index), entry);
}

size_t CNode::ClassIndexOf(const CTrafficClass* trafficClass) const {
  return static_cast<size_t>(std::find(classes_.begin(), classes_.end(), trafficClass) - classes_.begin());
}

void CNode::InsertClassAt(size_t index, CTrafficClass* trafficClass) {
  index = std::min(index, classes_.size());
  classes_.insert(classes_.begin() + static_cast<std::ptrdiff_t>(index), trafficClass);
}

CQueue* CNode::GetOutgoingQueue(const CNode* neighbour) const {
  for (const Neighbour& n : neighbours_) {
    if (n.node == neighbour) return n.outgoing;
  }
  return nullptr;
}

CQueue* CNode::GetIncomingQueue(const CNode* neighbour) const {
  for (const Neighbour& n : neighbours_) {
    if (n.node == neighbour) return n.incoming;
  }
  return nullptr;
}

void CNode::SetRoute(const CNode* destination, CQueue* firstQueue, std::uint16_t cost) {
  if (destination == nullptr || destination->routeIndex_ < 0) return;
  const auto index = static_cast<size_t>(destination->routeIndex_);
  if (index >= routes_.size()) routes_.resize(index + 1);
  routes_[index] = Route{firstQueue, cost};
}

std::pair<CQueue*, std::uint16_t> CNode::GetRoute(const CNode* destination) const {
  if (destination == nullptr || destination->routeIndex_ < 0) return {nullptr, 0xFFFF};
  const auto index = static_cast<size_t>(destination->routeIndex_);
  if (index >= routes_.size() || routes_[index].firstQueue == nullptr) return {nullptr, 0xFFFF};
  return {routes_[index].firstQueue, routes_[index].cost};
}

void CNode::ClearRoutes() {
  routes_.clear();
}

void CNode::ResetRoutes(size_t count) {
  routes_.assign(count, Route{});
}

void CNode::RemoveClass(CTrafficClass* trafficClass) {
  auto it = std::find(classes_.begin(), classes_.end(), trafficClass);
  if (it != classes_.end()) classes_.erase(it);
}

}  // namespace varlo
