// The shadow rows' values as the previous entry left them, so that what an entry changed can
// be shown before and after (`--decode`, `utilsim history`). Kept only when asked for: it is a
// copy of the shadows.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "host/HwTable.h"

namespace Utilsim {
struct RowChange;

// A shadow row an entry changed: its value before the entry and after (absent: the reset
// value), and the Util that changed it last.
struct RowDelta {
  using Words = std::array<std::uint32_t, SchanAccel::SchanCmd::kMaxWords>;
  const TernAsicUtils::HwTableInfo* table;
  TernAsicUtils::HwShadowKey key;
  unsigned row;
  std::size_t util;
  bool presentBefore, presentAfter;
  Words before, after;
};

class RowValues {
 public:
  // Takes the shadows of the manager as they are now.
  explicit RowValues(const TernAsicUtils::TableManager& manager);
  // The rows these changes touched, each once in the order of its first change, as they were
  // and as they are now; the copy then holds them as they are now.
  void update(const std::vector<RowChange>& changes, std::vector<RowDelta>& out);

 private:
  struct Copy {
    std::vector<std::uint32_t> words;
    std::vector<bool> present;
  };
  Copy& copy(const TernAsicUtils::HwTableInfo& table, TernAsicUtils::HwShadowKey key);
  const TernAsicUtils::HwCommonTableBase* tableOf(const TernAsicUtils::HwTableInfo& table);

  const TernAsicUtils::TableManager& manager_;
  std::map<std::pair<const TernAsicUtils::HwTableInfo*, std::uint16_t>, Copy> copies_;
  std::map<const TernAsicUtils::HwTableInfo*, const TernAsicUtils::HwCommonTableBase*> tables_;
};

}  // namespace Utilsim
