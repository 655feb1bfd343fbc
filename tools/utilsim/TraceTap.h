// Trace lines tied to what caused them (`--trace`): the host's trace lines are taken instead
// of written, and each goes out behind "FILE:LINE: " of the log line (or host operation) that
// caused it, or "startup: " / "teardown: " outside any entry. Their text stays as the host
// writes it.
#pragma once

#include <string>
#include <string_view>

namespace Utilsim {

class TraceTap {
 public:
  TraceTap();
  // Writes what is left as teardown lines, and gives the lines back to standard error.
  ~TraceTap();
  TraceTap(const TraceTap&) = delete;
  TraceTap& operator=(const TraceTap&) = delete;

  // The lines taken since the last call, each behind the prefix and ended by a line end.
  std::string take(std::string_view prefix);

 private:
  static void sink(void* tap, std::string_view line);
  std::string pending_;  // lines, each ended by '\n'
};

}  // namespace Utilsim
