#include "host/HwTable.h"

#include <algorithm>

namespace TernAsicUtils {
HwCommonTableBase::HwCommonTableBase(const Pavo::String& name, const HwTableKey& key,
                                     TableManager* manager, const HwTableInfo& info,
                                     const void* classTag)
    : shadow_(info), name_(name), key_(key), info_(info), classTag_(classTag) {
  if (manager) {
    // The slot first: if making it throws, no reference to this half-built object exists
    // whose release would destroy it a second time.
    auto& slot = manager->hwTableColl()[key];
    slot = Pavo::Ptr<HwCommonTableBase>(this);
  }
}

HwCommonTableBase::~HwCommonTableBase() = default;

void HwCommonTableBase::throwKeyOutside() const {
  const auto text = fmt::format("{}: key outside the table", name_);
  Pavo::RangeException::throwException(text.c_str());
}

void HwCommonTableBase::rowIs(HwShadowKey key, unsigned row, const std::uint32_t* words) {
  if (row >= info_.rows) throwKeyOutside();
  shadow_.write(key, row, words);
}

Pavo::Ptr<SchanAccel::SchanCmds> HwDirectTableBase::clearTableInHw(HwShadowKey key) {
  auto cmds = SchanAccel::schanCmdsFactory();
  shadow_.clear(key);
  cmds->reserve(info().rows);
  for (unsigned r = 0; r < info().rows; ++r) rowCmd(cmds->cmdEmplace(), key, r);
  return cmds;
}

TableManager::TableManager() : stats_(new TableManagerStats) {}
TableManager::~TableManager() = default;

std::vector<HwCommonTableBase*> TableManager::tables() const {
  std::vector<HwCommonTableBase*> out;
  for (const auto& [k, t] : tables_)
    if (t) out.push_back(t.get());
  std::sort(out.begin(), out.end(), [](auto* a, auto* b) {
    return std::pair(a->tableKey().name, a->tableKey().fapRevision) <
           std::pair(b->tableKey().name, b->tableKey().fapRevision);
  });
  return out;
}
}  // namespace TernAsicUtils
