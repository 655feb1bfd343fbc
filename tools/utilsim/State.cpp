#include "tools/utilsim/State.h"

#include <fmt/format.h>

#include <cerrno>

#include "tools/utilsim/Input.h"
#include "tools/utilsim/Report.h"
#include "tools/utilsim/SafeFile.h"

namespace Utilsim {

std::string State::notWhole() const {
  if (!complete)
    return fmt::format("is a partial run: its replay stopped at the input error on line {}",
                       stoppedAt);
  if (filtered())
    return fmt::format("was written with filters ({}): it shows part of a run",
                       header->filterOptions());
  return {};
}

bool loadable(const State& state, const std::string& chip) {
  const auto why = state.notWhole();
  if (!why.empty())
    fmt::print(stderr,
               "utilsim: --load-state {} {}; a state must hold the whole end of a run (write "
               "one with --save-state)\n",
               printable(state.file, 200), why);
  else if (!state.chip.empty() && state.chip != chip)
    fmt::print(stderr,
               "utilsim: --load-state {} is a state of {} and this run is of {}; the chips "
               "place some rows differently (give --chip {} or a state of {})\n",
               printable(state.file, 200), printable(state.chip, 40), chip,
               printable(state.chip, 40), chip);
  else
    return true;
  return false;
}

bool readLoadable(const std::optional<std::string>& path, const std::string& chip,
                  std::optional<State>& loaded) {
  return !path || ((loaded = readStateFile(*path, true)) && loadable(*loaded, chip));
}

void saveState(SafeOutput& file, const Replay& replay, const RunHeader& header) {
  Output out(file.file());
  try {
    JsonWriter w(out.buffer(), 2);
    w.objectsOnOneLineFrom(2);  // a row, a mismatch, a Util's counters: a line each
    w.beginObject();
    headerJson(w.key("header"), header);
    w.key("complete").value(true);
    summaryMembers(w, &out, replay, ReportOptions{});
    w.endObject();
    out.buffer().push('\n');
    out.flush();
  } catch (const std::runtime_error&) {
    file.fail(errno);
  }
  file.commit();
}

}  // namespace Utilsim
