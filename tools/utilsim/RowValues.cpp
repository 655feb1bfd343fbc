#include "tools/utilsim/RowValues.h"

#include <algorithm>

#include "tools/utilsim/Fields.h"
#include "tools/utilsim/Replay.h"

namespace Utilsim {

RowValues::RowValues(const TernAsicUtils::TableManager& manager) : manager_(manager) {
  for (const auto* table : manager.tables()) {
    const auto& info = table->info();
    for (const auto key : table->shadowKeys()) {
      auto& c = copy(info, key);
      for (unsigned row = 0; row < info.rows; ++row)
        if (table->rowPresent(key, row)) {
          c.present[row] = true;
          table->rowWords(key, row, c.words.data() + std::size_t(row) * info.wordsPerRow);
        }
    }
  }
}

RowValues::Copy& RowValues::copy(const TernAsicUtils::HwTableInfo& table,
                                 TernAsicUtils::HwShadowKey key) {
  auto& c = copies_[{&table, key.value()}];
  if (c.present.empty()) {
    c.present.resize(table.rows);
    c.words.resize(std::size_t(table.rows) * table.wordsPerRow);
  }
  return c;
}

const TernAsicUtils::HwCommonTableBase* RowValues::tableOf(const TernAsicUtils::HwTableInfo& t) {
  auto [it, fresh] = tables_.emplace(&t, nullptr);
  if (fresh || !it->second) it->second = findTable(manager_, t.name);
  return it->second;
}

void RowValues::update(const std::vector<RowChange>& changes, std::vector<RowDelta>& out) {
  out.clear();
  const auto add = [&](const TernAsicUtils::HwTableInfo& info, TernAsicUtils::HwShadowKey key,
                       unsigned row, std::size_t util) {
    const auto same = [&](const RowDelta& d) {
      return d.table == &info && d.key == key && d.row == row;
    };
    if (const auto it = std::find_if(out.begin(), out.end(), same); it != out.end()) {
      it->util = util;
      return;
    }
    auto& c = copy(info, key);
    RowDelta d{&info, key, row, util, c.present[row], false, {}, {}};
    std::copy_n(c.words.data() + std::size_t(row) * info.wordsPerRow, info.wordsPerRow,
                d.before.data());
    out.push_back(d);
  };
  for (const auto& change : changes) {
    if (change.row != RowChange::kAllRows) {
      add(*change.table, change.key, change.row, change.util);
      continue;
    }
    const auto& c = copy(*change.table, change.key);
    for (unsigned row = 0; row < change.table->rows; ++row)
      if (c.present[row]) add(*change.table, change.key, row, change.util);
  }
  // The values now, into the deltas and the copy.
  for (auto& d : out) {
    const auto* table = tableOf(*d.table);
    auto& c = copy(*d.table, d.key);
    d.presentAfter = table && table->rowPresent(d.key, d.row);
    if (d.presentAfter) table->rowWords(d.key, d.row, d.after.data());
    c.present[d.row] = d.presentAfter;
    std::copy_n(d.after.data(), d.table->wordsPerRow,
                c.words.data() + std::size_t(d.row) * d.table->wordsPerRow);
  }
}

}  // namespace Utilsim
