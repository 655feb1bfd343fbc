// The reader of plain log lines: most logs are made of nothing else, and the general checker
// (Input.h) costs tens of thousands of instructions a line. It declines whatever it is not
// sure of, which the general checker then decides.
#pragma once

#include <cstddef>
#include <string_view>

#include "tools/utilsim/Input.h"

namespace Utilsim {

// Longer lines, rare and unlike what writers produce, are left to the general checker.
inline constexpr std::size_t kPlainLineMaxBytes = 480;

// True with `entry` filled when the line (at most kPlainLineMaxBytes) is valid and plain;
// false, `entry` untouched, when the general checker has to decide. It never accepts a line
// the general checker refuses nor reads one differently (the fuzz target checks that).
bool readPlainLine(std::string_view line, unsigned number, InputEntry& entry);

}  // namespace Utilsim
