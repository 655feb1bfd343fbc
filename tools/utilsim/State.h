// Saved states: the shadow tables of a run in the layout of the document's `tables` member,
// read to start a replay from them or to compare two runs, and written after a replay.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "host/HwTable.h"

namespace Utilsim {
class Replay;

struct StateRow {
  const TernAsicUtils::HwTableInfo* table;
  TernAsicUtils::HwShadowKey key;
  unsigned row;
  std::array<std::uint32_t, SchanAccel::SchanCmd::kMaxWords> words;  // the row format
};

struct State {
  std::string chip;  // as the file names it; empty when it names none
  // Sorted by table (block order), fap id, instance id, then row: the order of `tables`.
  std::vector<StateRow> rows;
};

// Reads a state, a `--json` document or the last line of `--jsonl` (anything with `tables`).
// A file that cannot be read or holds anything that is not a row of a table is reported on
// standard error, one "FILE: /json/pointer: message" line per problem; then none is returned.
std::optional<State> readStateFile(const std::string& path);

// Loads the state into the replay (before its first entry); warns when it is of another chip.
void loadState(Replay& replay, const State& state, const std::string& path);

// Writes the replay's end state; throws std::runtime_error naming the file when it cannot.
void saveState(const std::string& path, const Replay& replay);

// `utilsim diff [--json] A B` with the arguments after "diff"; returns the exit status.
int diffCommand(const std::vector<std::string>& args, const char* usage);

}  // namespace Utilsim
