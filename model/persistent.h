// Base of every object that is written to and read from an object archive (.net and .cls files).
// Each persistent class has a run-time class name and schema 1, and can be created empty by name.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace varlo {

class CArchive;

class CPersistent {
 public:
  virtual ~CPersistent() = default;
  // The name written in the class record of the archive ("CGraphicNode", "CTCPClass", ...).
  virtual const char* GetRuntimeClassName() const = 0;
  // Reads or writes the object's fields, according to the archive's direction.
  virtual void Serialize(CArchive& ar) = 0;
};

using PersistentFactory = std::function<std::unique_ptr<CPersistent>()>;

// Registry of persistent classes: name -> schema and factory. The program's classes register
// themselves once (RegisterPersistentClasses); the archive reader creates objects through it.
struct PersistentClassInfo {
  std::string name;
  unsigned schema = 1;
  PersistentFactory create;
};

// Returns the class of that name, or nullptr when it is unknown.
const PersistentClassInfo* FindPersistentClass(const std::string& name);
void RegisterPersistentClass(PersistentClassInfo info);
// Registers every persistent class of the program (idempotent, thread-safe).
void RegisterPersistentClasses();

}  // namespace varlo
