// A network node: identity, name, neighbour queues, next-hop route table and the traffic classes
// that start or end at it. The document owns nodes; everything here is a reference.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "model/persistent.h"

namespace varlo {

class CQueue;
class CTrafficClass;

class CNode : public CPersistent {
 public:
  // A neighbour and the two queues between this node and it.
  struct Neighbour {
    CNode* node;
    CQueue* outgoing;  // this node -> neighbour
    CQueue* incoming;  // neighbour -> this node
  };
  // One route: the first queue toward the destination and the cost (sum of route weights).
  struct Route {
    CQueue* firstQueue = nullptr;
    std::uint16_t cost = 0xFFFF;
  };

  CNode() = default;
  CNode(std::uint16_t number, std::string name);
  ~CNode() override;
  CNode(const CNode&) = delete;
  CNode& operator=(const CNode&) = delete;

  const char* GetRuntimeClassName() const override { return "CNode"; }
  void Serialize(CArchive& ar) override;

  std::uint16_t GetNumber() const { return number_; }
  const std::string& GetName() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  // "%s_%d" of name and number with every character other than a letter, digit or '_' replaced
  // by '_' (this covers " -+=\[]{}()#$" and everything else Tcl or qns could read as syntax).
  std::string GetScriptName() const;
  // The ns declaration "set node_%s [$ns node]\n".
  std::string GetNSScript() const;

  // Neighbour tables (outgoing and incoming queue tables, kept together).
  void AddNeighbour(CNode* neighbour, CQueue* incomingQueue, CQueue* outgoingQueue);
  void RemoveNeighbour(CNode* neighbour);
  const std::vector<Neighbour>& GetNeighbours() const { return neighbours_; }
  // The neighbour's place in the table (the table's size when absent) and an entry put back at a
  // place given before it was removed: undoing a deletion restores the table's order.
  size_t NeighbourIndexOf(const CNode* neighbour) const;
  void InsertNeighbourAt(size_t index, const Neighbour& entry);
  CQueue* GetOutgoingQueue(const CNode* neighbour) const;
  CQueue* GetIncomingQueue(const CNode* neighbour) const;

  // Route table. Destinations are addressed by their route index, which route computation
  // assigns (the node's position in node-table order); a node without an index has no routes.
  void SetRoute(const CNode* destination, CQueue* firstQueue, std::uint16_t cost);
  // The first queue toward destination (nullptr when there is no entry) and the cost (65535 then).
  std::pair<CQueue*, std::uint16_t> GetRoute(const CNode* destination) const;
  void ClearRoutes();
  int GetRouteIndex() const { return routeIndex_; }
  void SetRouteIndex(int index) { routeIndex_ = index; }
  // Sizes the route table for count destinations, all empty.
  void ResetRoutes(size_t count);
  std::vector<Route>& RouteTable() { return routes_; }
  const std::vector<Route>& RouteTable() const { return routes_; }

  // Traffic classes that start or end here (not owned).
  void AddClass(CTrafficClass* trafficClass) { classes_.push_back(trafficClass); }
  void RemoveClass(CTrafficClass* trafficClass);
  const std::vector<CTrafficClass*>& GetClasses() const { return classes_; }
  // The first occurrence's place (the list's size when absent), and a class put back at a place.
  size_t ClassIndexOf(const CTrafficClass* trafficClass) const;
  void InsertClassAt(size_t index, CTrafficClass* trafficClass);

 protected:
  std::uint16_t number_ = 0;
  std::string name_;

 private:
  std::vector<Neighbour> neighbours_;
  std::vector<Route> routes_;
  int routeIndex_ = -1;
  std::vector<CTrafficClass*> classes_;
};

}  // namespace varlo
