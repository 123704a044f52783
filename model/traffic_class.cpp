#include "model/traffic_class.h"

#include <atomic>

#include "model/archive.h"
#include "model/node.h"
#include "platform/core/text_format.h"

namespace varlo {

namespace {

std::uint32_t NextIdentity() {
  static std::atomic<std::uint32_t> counter{0};
  return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

}  // namespace

CTrafficClass::CTrafficClass() : identity_(NextIdentity()) {}

CTrafficClass::CTrafficClass(CNode* source, CNode* destination, double startTime, double stopTime)
    : startTime(startTime), stopTime(stopTime), identity_(NextIdentity()) {
  SetNodes(source, destination);
}

CTrafficClass::~CTrafficClass() {
  ClearPath();
}

void CTrafficClass::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar.WriteU16(sourceNumber_);
    ar.WriteU16(destinationNumber_);
    ar.WriteDouble(startTime);
    ar.WriteDouble(stopTime);
  } else {
    sourceNumber_ = ar.ReadU16();
    destinationNumber_ = ar.ReadU16();
    startTime = ar.ReadQuantity();
    stopTime = ar.ReadQuantity();
  }
}

void CTrafficClass::SetNodes(CNode* source, CNode* destination) {
  source_ = source;
  destination_ = destination;
  if (source != nullptr) sourceNumber_ = source->GetNumber();
  if (destination != nullptr) destinationNumber_ = destination->GetNumber();
}

template <class Visit>
bool CTrafficClass::WalkRoute(const CNode* from, const CNode* to, Visit&& visit) const {
  if (from == nullptr || to == nullptr) return false;
  // A loop-free route visits every node at most once, so it has fewer hops than the route table
  // has entries; a walk that goes on longer is circling.
  const size_t maxHops = from->RouteTable().size();
  size_t hops = 0;
  const CNode* current = from;
  while (current->GetNumber() != to->GetNumber()) {
    if (hops >= maxHops) return false;
    CQueue* queue = current->GetRoute(to).first;
    if (queue == nullptr || queue->toNode == nullptr) return false;
    visit(queue);
    current = queue->toNode;
    ++hops;
  }
  return true;
}

bool CTrafficClass::GetPathQueues(std::vector<CQueue*>& out) const {
  const size_t before = out.size();
  if (WalkRoute(source_, destination_, [&out](CQueue* q) { out.push_back(q); })) return true;
  out.resize(before);
  return false;
}

bool CTrafficClass::GetReversePathQueues(std::vector<CQueue*>& out) const {
  const size_t before = out.size();
  if (WalkRoute(destination_, source_, [&out](CQueue* q) { out.push_back(q); })) return true;
  out.resize(before);
  return false;
}

void CTrafficClass::BuildPath() {
  // Unlinking the old entries from their queues first keeps no queue pointing at a deleted entry,
  // whoever calls this (route computation as well as the runs).
  ClearPath();
  std::vector<CQueue*> queues;
  unreachable_ = !GetPathQueues(queues);
  if (!unreachable_ && GetType() == kTypeTCP) {
    // TCP needs the return direction too for its round-trip time.
    std::vector<CQueue*> reverse;
    unreachable_ = !GetReversePathQueues(reverse);
  }
  if (unreachable_) queues.clear();
  path_.reserve(queues.size() + 1);
  for (CQueue* queue : queues) {
    path_.push_back(std::make_unique<PathEntry>(PathEntry{this, queue, 0.0, 0.0}));
    queue->AddPathEntry(path_.back().get());
  }
  path_.push_back(std::make_unique<PathEntry>(PathEntry{this, nullptr, 0.0, 0.0}));
}

void CTrafficClass::ClearPath() {
  for (const auto& entry : path_) {
    if (entry->queue != nullptr) entry->queue->RemovePathEntriesOf(this);
  }
  path_.clear();
}

std::string CTrafficClass::ScriptName(const char* kind) const {
  const std::string from = SourceScriptName();
  const std::string to = DestinationScriptName();
  return Format("_%s_%s_%s_%x", kind, from.c_str(), to.c_str(), identity_);
}

std::string CTrafficClass::SourceScriptName() const {
  return source_ != nullptr ? source_->GetScriptName() : std::string();
}

std::string CTrafficClass::DestinationScriptName() const {
  return destination_ != nullptr ? destination_->GetScriptName() : std::string();
}

std::string CTrafficClass::DestinationName() const {
  return destination_ != nullptr ? destination_->GetName() : std::string();
}

std::string CTrafficClass::PoissonAgentScript(const std::string& name, double rate) const {
  const std::string from = SourceScriptName();
  const std::string to = DestinationScriptName();
  const char* c = name.c_str();
  // ns wants bits per second; a packet is 8000 bits.
  return Format(
      "set agent_%s [new Agent/CBR/UDP]\n$ns attach-agent $node_%s $agent_%s\nset null_%s [new "
      "Agent/Null]\n$ns attach-agent $node_%s $null_%s\n$ns connect $agent_%s $null_%s\n\nset poisson_%s "
      "[new Application/Traffic/Exponential]\n$poisson_%s set packet_size_ 1000\n$poisson_%s set rate_ "
      "%lf\n$agent_%s attach-traffic $poisson_%s\n",
      c, from.c_str(), c, c, to.c_str(), c, c, c, c, c, c, rate * 8000.0, c, c);
}

std::string CTrafficClass::PoissonStartStopScript(const std::string& name, double startOffset) const {
  const std::string from = SourceScriptName();
  const std::string to = DestinationScriptName();
  const char* c = name.c_str();
  return Format(
      "\n$ns at %lf \"$agent_%s start\"\n$ns at %lf \"$ns detach-agent $node_%s $agent_%s ; $ns "
      "detach-agent $node_%s $null_%s\"\n",
      startTime + startOffset, c, ShownStopTime(100000.0), from.c_str(), c, to.c_str(), c);
}

}  // namespace varlo
