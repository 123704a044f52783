// A traffic class: a stream of packets from a source node to a destination node along its route,
// active between a start and a stop time (always active when they are equal).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/queue.h"
#include "model/persistent.h"

namespace varlo {

class CNode;

enum TrafficClassType : int {
  kTypeConstPoisson = 2,
  kTypeTCP = 3,
  kTypeTdPoisson = 4,
  kTypeTrace = 5,
};

class CTrafficClass : public CPersistent {
 public:
  CTrafficClass();
  CTrafficClass(CNode* source, CNode* destination, double startTime, double stopTime);
  ~CTrafficClass() override;
  CTrafficClass(const CTrafficClass&) = delete;
  CTrafficClass& operator=(const CTrafficClass&) = delete;

  void Serialize(CArchive& ar) override;  // source number, destination number, start, stop

  virtual int GetType() const = 0;
  virtual double GetRate(double t) = 0;
  virtual std::string GetDescription() const = 0;
  virtual std::string GetNSScript(double startOffset) = 0;
  // Throws CNotSupportedException for the kinds qns does not know.
  virtual std::string GetQNSScript() const = 0;

  bool IsActive(double t) const { return ActiveAt(startTime, stopTime, t); }
  // Whether a class active from start to stop (always, where they are equal) is active at t.
  static bool ActiveAt(double start, double stop, double t) { return (start <= t && t <= stop) || start == stop; }

  CNode* GetSource() const { return source_; }
  CNode* GetDestination() const { return destination_; }
  // Sets both end nodes (when a file is read or traffic is loaded); takes their numbers.
  void SetNodes(CNode* source, CNode* destination);
  std::uint16_t GetSourceNumber() const { return sourceNumber_; }
  std::uint16_t GetDestinationNumber() const { return destinationNumber_; }

  // Route walks. They follow the route tables from node to node and stop when a node has no
  // route (the class is then unreachable) or after as many hops as there are route entries.
  // Each returns false when the destination (source, for the reverse walk) is not reached, and
  // then leaves out as it was.
  bool GetPathQueues(std::vector<CQueue*>& out) const;
  bool GetReversePathQueues(std::vector<CQueue*>& out) const;
  // Rebuilds the path from the route tables; an unreachable class keeps only the terminal entry
  // and is marked unreachable.
  void BuildPath();
  // Drops the path: removes its entries from their queues' lists and deletes them.
  void ClearPath();
  // Drops the path without unlinking it from the queues: only for when every queue's list of
  // path entries has been emptied already (the whole network is going).
  void ForgetPath() { path_.clear(); }
  bool IsUnreachable() const { return unreachable_; }

  const std::vector<std::unique_ptr<PathEntry>>& GetPath() const { return path_; }
  // A number unique among the classes of the process, written by "%x" in script names.
  std::uint32_t GetIdentity() const { return identity_; }

  double startTime = 0.0;    // s
  double stopTime = 0.0;     // s

 protected:
  // "_<kind>_%s_%s_%x" of the end nodes' script names and the identity ("_Poisson_...", "_TCP_...").
  std::string ScriptName(const char* kind) const;
  // The agent and Poisson application text of a UDP source sending rate packets/s.
  std::string PoissonAgentScript(const std::string& name, double rate) const;
  // The start and detach text of a UDP source (agent and null sink).
  std::string PoissonStartStopScript(const std::string& name, double startOffset) const;
  // The stop time as scripts and descriptions show it: "always active" becomes far in the future.
  double ShownStopTime(double always) const { return startTime == stopTime ? always : stopTime; }
  // The end nodes' names and script names, or "" before the class has its nodes.
  std::string DestinationName() const;
  std::string SourceScriptName() const;
  std::string DestinationScriptName() const;

  CNode* source_ = nullptr;
  CNode* destination_ = nullptr;
  std::uint16_t sourceNumber_ = 0;
  std::uint16_t destinationNumber_ = 0;

 private:
  // Follows the route tables from `from` toward `to`, calling visit(queue) for every hop. False
  // when a node has no route entry or the walk takes more hops than there are route entries.
  template <class Visit>
  bool WalkRoute(const CNode* from, const CNode* to, Visit&& visit) const;

  std::vector<std::unique_ptr<PathEntry>> path_;
  bool unreachable_ = false;
  std::uint32_t identity_;
};

}  // namespace varlo
