// The one comparison of how two runs ended, for `utilsim diff` and for `--expect` after the
// entries: rows by table, shadow copy and key (added, removed, changed: only the fields that
// differ), the hardware check's mismatches by row, and what the runs counted, by name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/utilsim/State.h"

namespace Utilsim {
class JsonWriter;

struct EndDifference {
  enum class Kind {
    Chip,
    RowAdded,
    RowRemoved,
    RowChanged,
    MismatchAdded,
    MismatchGone,
    MismatchChanged,
    Figure
  };
  Kind kind;
  // Rows and mismatches: the row on each side, null where it has none (a mismatch's row is
  // its chip side).
  const StateRow* a = nullptr;
  const StateRow* b = nullptr;
  // Figures and the chip: the name, and the value on each side as shown ("none" where it has
  // none) and as JSON.
  std::string name = {};
  std::string valueA = {}, valueB = {}, jsonA = {}, jsonB = {};

  const StateRow& row() const noexcept { return a ? *a : *b; }
  bool isRow() const noexcept {
    return kind == Kind::RowAdded || kind == Kind::RowRemoved || kind == Kind::RowChanged;
  }
  bool isHardware() const noexcept {
    return kind == Kind::MismatchAdded || kind == Kind::MismatchGone ||
           kind == Kind::MismatchChanged ||
           (kind == Kind::Figure && name.rfind("hardware ", 0) == 0);
  }
};

// From a to b, in the order of a state: the chip, rows (tables in block order, then copy and
// key), mismatches, then figures by name. Figures are compared only when both sides have
// them (files written before headers have none).
std::vector<EndDifference> compareEnds(const State& a, const State& b);

// Counts by kind, for a summary line.
struct EndCounts {
  std::size_t rowsAdded = 0, rowsRemoved = 0, rowsChanged = 0, counters = 0, enqueue = 0,
              hardware = 0, other = 0;
  explicit EndCounts(const std::vector<EndDifference>& differences);
};

// A difference as text lines (the first is its headline), each starting with `indent`; a
// changed row or mismatch lists only its fields that differ, "field: A -> B".
std::string endDifferenceText(const EndDifference& d, const std::string& indent);
// The same as a JSON object; the sides are named as given ("a"/"b", "stored"/"run").
void endDifferenceJson(JsonWriter& w, const EndDifference& d, const char* nameA, const char* nameB);

}  // namespace Utilsim
