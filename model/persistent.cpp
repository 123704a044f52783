#include "model/persistent.h"

#include <map>
#include <mutex>
#include <utility>

#include "model/graphic_link.h"
#include "model/graphic_node.h"
#include "model/mm1k_queue.h"
#include "model/node.h"
#include "model/traffic_class_kinds.h"

namespace varlo {

namespace {

struct Registry {
  std::mutex mutex;
  // Node-based map: the PersistentClassInfo addresses handed out stay valid as classes are added.
  std::map<std::string, PersistentClassInfo> classes;
};

Registry& GetRegistry() {
  static Registry registry;
  return registry;
}

template <class T>
PersistentClassInfo InfoFor(const char* name) {
  return PersistentClassInfo{name, 1, [] { return std::unique_ptr<CPersistent>(std::make_unique<T>()); }};
}

}  // namespace

const PersistentClassInfo* FindPersistentClass(const std::string& name) {
  Registry& registry = GetRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  auto it = registry.classes.find(name);
  return it == registry.classes.end() ? nullptr : &it->second;
}

void RegisterPersistentClass(PersistentClassInfo info) {
  Registry& registry = GetRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  std::string name = info.name;
  registry.classes.insert_or_assign(std::move(name), std::move(info));
}

void RegisterPersistentClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterPersistentClass(InfoFor<CNode>("CNode"));
    RegisterPersistentClass(InfoFor<CGraphicNode>("CGraphicNode"));
    RegisterPersistentClass(InfoFor<CGraphicLink>("CGraphicLink"));
    RegisterPersistentClass(InfoFor<C_MM1K_Queue>("C_MM1K_Queue"));
    for (const TrafficClassKind& kind : TrafficClassKinds())
      RegisterPersistentClass(PersistentClassInfo{kind.persistentName, 1, kind.createEmpty});
  });
}

}  // namespace varlo
