// Rows named on the command line as the reports print them (`utilsim history`).
#pragma once

#include <string>
#include <vector>

#include "host/HwTable.h"

namespace Utilsim {

// A shadow row of a table: the copy and the row.
struct Watched {
  const TernAsicUtils::HwTableInfo* table;
  TernAsicUtils::HwShadowKey key;
  unsigned row;
  std::string name() const;  // as the reports print it
};

// The rows of the words given, as the reports print them: `TABLE [fap F] [instance I]
// KEY=VALUE...` (a register has no key; fap and instance default to 0), or
// `[TABLE] [fap F] [instance I] VSI N` for the rows of the VSI maps that hold the VSI's
// profile. Throws UsageError saying what is wrong.
std::vector<Watched> parseRows(const std::vector<std::string>& args);

}  // namespace Utilsim
