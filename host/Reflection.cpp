#include "host/Reflection.h"

#include <algorithm>

namespace Pavo {
namespace {
std::vector<const ModuleInspectData*>& modules() {
  static auto* v = new std::vector<const ModuleInspectData*>;
  return *v;
}
}  // namespace

ModuleInspectData::~ModuleInspectData() {
  auto& v = modules();
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
}
void ModuleInspectData::loaded() {
  if (loaded_) return;
  loaded_ = true;
  modules().push_back(this);
}
const InspectableClass* ModuleInspectData::findClass(const String& className) {
  for (const auto* m : modules())
    for (const auto& c : m->classes())
      if (className == c.className) return &c;
  return nullptr;
}
std::vector<const ModuleInspectData*> ModuleInspectData::loadedModules() { return modules(); }

String Attribute::signature() const {
  String s = name;
  const std::size_t n = parameterCount();
  if (n == 0) return s;
  s += '(';
  for (std::size_t i = 0; i < n; ++i) {
    if (i) s += ", ";
    s += parameters[i];
  }
  s += ')';
  return s;
}

int Inspect::opResEncRelNode(void* result, Node* node) {
  *static_cast<Ptr<Node>*>(result) = Ptr<Node>(node);
  return 0;
}
}  // namespace Pavo
