// Saved states: the end of a run (its shadow tables, counters, enqueue counts and hardware
// check, with the chip model's rows where they differ from the shadows), which is a run's
// document without its entries. Read to start a replay from it or to compare two runs, and
// written after a replay.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/HwTable.h"
#include "tools/utilsim/Header.h"

namespace Utilsim {
class Replay;
class SafeOutput;

struct StateRow {
  const TernAsicUtils::HwTableInfo* table;
  TernAsicUtils::HwShadowKey key;
  unsigned row;
  std::array<std::uint32_t, SchanAccel::SchanCmd::kMaxWords> words;  // the row format
};

struct State {
  std::string file;                 // the file's name without its folders
  std::string sha256;               // of the whole file, when asked for
  std::optional<RunHeader> header;  // none: written before documents had one
  std::string chip;                 // as the file names it; empty when it names none
  bool complete = true;             // false: the run stopped at an input error
  std::uint64_t stoppedAt = 0;      // the line of that error
  // Sorted by table (block order), fap id, instance id, then row: the order of `tables`.
  std::vector<StateRow> rows;
  // The chip model's rows where they differ from the shadows (the hardware check's
  // mismatches), in the same order.
  std::vector<StateRow> chipRows;
  // What the run counted, each by a name a report can show: "counter UTIL NAME", "enqueue
  // ID fap F instance I", "hardware commands", "hardware redundantWrites", "hardware
  // consistent" (0 or 1), "errors". Empty for a file without them (written before headers).
  struct Figure {
    std::string name;
    std::uint64_t value;
  };
  std::vector<Figure> figures;  // sorted by name

  bool filtered() const noexcept { return header && header->filtered(); }
  // Why it is not the whole end of a run, as said of the file ("is a partial run: ..."); empty
  // when it is.
  std::string notWhole() const;
};

// Reads a state, a `--json` document or the last line of `--jsonl`; a document's entries are
// skipped, not held. A file that cannot be read or holds anything that is not part of a
// state is reported on standard error, one "FILE: /json/pointer: message" line per problem;
// then none is returned. A file written before documents had a header gets one warning.
std::optional<State> readStateFile(const std::string& path, bool hash);

// The end state of a stored run read as a whole (its members but the entries), `name`
// standing for the file in messages; problems are reported as readStateFile does.
// Without `warnLegacy`, one written before headers gets no warning (its reader gave one).
std::optional<State> stateOf(const nlohmann::ordered_json& members, const std::string& name,
                             bool warnLegacy = true);

// Whether the state can start a run of that chip: the whole end of a run of that chip.
// Prints why not.
bool loadable(const State& state, const std::string& chip);
// The --load-state file, when given, read and found loadable; false after saying why not.
bool readLoadable(const std::optional<std::string>& path, const std::string& chip,
                  std::optional<State>& loaded);

// Writes the replay's end state, with its header, and puts the file in place. Throws
// std::runtime_error naming the file when it cannot.
void saveState(SafeOutput& file, const Replay& replay, const RunHeader& header);

}  // namespace Utilsim
