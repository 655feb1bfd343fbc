// Reflection: a module (one per Util source file) announces its inspectable classes, whose
// named attributes the host's type system reads, writes and calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/Node.h"
#include "host/Pavo.h"

namespace Pavo {
struct FieldDescriptor {
  const char* name;
};

// One attribute of an inspectable class: its name and, for an operation, the names of its
// parameters in order.
struct Attribute {
  static constexpr std::size_t kMaxParameters = 5;
  const char* name;
  const char* parameters[kMaxParameters] = {};
  std::size_t parameterCount() const noexcept {
    std::size_t n = 0;
    while (n < kMaxParameters && parameters[n]) ++n;
    return n;
  }
  // "name(p1, p2)", or the bare name when there are no parameters.
  String signature() const;
};

struct InspectableClass {
  const char* className;  // fully qualified
  // Performs op (0 read, 1 write, 10 call) on one attribute; answers 0 done, 1 not
  // applicable, 2 no such attribute.
  int (*inspectOperation)(void* object, const FieldDescriptor& field, int op, void* const* args,
                          void* result);
  void (*genericIfConstructFromCtorArgs)(void* result, void* const* args);
  const Attribute* attributes;  // in declaration order
  std::size_t attributeCount;
};

class ModuleInspectData {
 public:
  ModuleInspectData(const char* name, std::vector<InspectableClass> classes)
      : name_(name), classes_(std::move(classes)) {}
  ~ModuleInspectData();
  void loaded();
  const char* name() const noexcept { return name_; }
  const std::vector<InspectableClass>& classes() const noexcept { return classes_; }
  // The loaded module that declares className, or null.
  static const InspectableClass* findClass(const String& className);
  static std::vector<const ModuleInspectData*> loadedModules();

 private:
  const char* name_;
  std::vector<InspectableClass> classes_;
  bool loaded_ = false;
};

struct TypeData {
  const ModuleInspectData* module;
  std::uint32_t index;
};

namespace Inspect {
// Hands a node produced by an inspected operation to the caller: result must point at a
// Ptr<Node>, which takes its own reference. Answers 0.
int opResEncRelNode(void* result, Node* node);
}  // namespace Inspect
}  // namespace Pavo
