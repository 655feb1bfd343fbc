#include "host/TableStats.h"

#include <algorithm>

namespace TernAsicUtils {
void TableSchanEnqueueStats::entryEnqueueCntIncOther(HwShadowKey key, U32 n) {
  for (auto& c : counts_)
    if (c.first == key) {
      last_ = &c;
      c.second += n;
      return;
    }
  counts_.emplace_back(key, n);
  last_ = &counts_.back();
}

std::uint64_t TableSchanEnqueueStats::entryEnqueueCnt(HwShadowKey key) const noexcept {
  for (const auto& [k, n] : counts_)
    if (k == key) return n;
  return 0;
}

std::vector<std::pair<HwShadowKey, std::uint64_t>> TableSchanEnqueueStats::counts() const {
  auto out = counts_;
  std::sort(out.begin(), out.end());
  return out;
}

TableSchanEnqueueStats& TableManagerStats::schanEnqueueStatsMake(Asic::SwTableId id) {
  if (auto* s = schanEnqueueStatsFind(id)) return *s;
  stats_.emplace_back(id, Pavo::Ptr<TableSchanEnqueueStats>(new TableSchanEnqueueStats));
  last_ = stats_.back().second.get();
  lastId_ = id;
  return *last_;
}

TableSchanEnqueueStats* TableManagerStats::schanEnqueueStatsFind(
    Asic::SwTableId id) const noexcept {
  for (const auto& [k, s] : stats_)
    if (k == id) {
      last_ = s.get();
      lastId_ = id;
      return last_;
    }
  return nullptr;
}
}  // namespace TernAsicUtils
