// `--expect`: a run compared with a stored one while it replays, as a regression gate people
// read. Entries are matched by their input, so that a line added to or removed from a log is
// one difference and the entries after it match again; the end (rows, mismatches, counts) is
// compared by row and name; the report names the first difference first and groups under an
// entry what follows from it.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/utilsim/Compare.h"
#include "tools/utilsim/Header.h"
#include "tools/utilsim/Replay.h"
#include "tools/utilsim/Report.h"

namespace Utilsim {
class StoredRun;

struct ExpectOptions {
  std::string path;  // "-": standard input
  std::size_t maxDifferences = 50;
};

class ExpectCheck : public ReplaySink {
 public:
  // Reads the stored run up to its entries. Throws InputFileError when it cannot be read, is
  // not a stored run, or is not a whole one (written with filters).
  ExpectCheck(const ExpectOptions& options, const Replay& replay, const RunHeader& run);
  ~ExpectCheck() override;

  // How the stored run is written: a document (or a state, which has no entries), or a
  // stream of lines.
  bool linesForm() const noexcept;
  // A state: only the end of the run is compared.
  bool endOnly() const noexcept { return endOnly_; }
  // The stored run was written with --decode: this run's entries are written so too (the
  // replay must track the rows' values before the first entry).
  bool decoded() const noexcept { return decoded_; }

  void entry(const InputEntry& entry, std::span<const UtilResult> results) override;
  // After Replay::finish: reads the rest of the stored run and compares the ends. Throws
  // InputFileError when the stored run proves partial or broken.
  void finish();

  bool matches() const noexcept { return total_ == 0; }
  // The report: its first line says whether the run matches and, if not, the first
  // difference; then the differences, capped, and a summary line.
  std::string text() const;
  std::uint64_t differences() const noexcept { return total_; }
  // The same for scripts.
  void json(JsonWriter& w) const;

 private:
  // An entry as compact JSON without its line, and its line.
  struct Held {
    std::uint64_t line;
    std::string text;
    bool ofRun;
    mutable std::optional<std::string> input;  // its input, canonical, once asked for
  };
  // One difference of entries, with what follows from it.
  struct Item {
    enum class Kind { Inserted, Removed, Replaced, Changed, Unaligned } kind;
    std::uint64_t storedLine = 0, runLine = 0;  // 0: none on that side
    std::string headline = {};
    std::vector<std::string> details = {};
    nlohmann::ordered_json json = {};
    std::vector<std::size_t> follows = {};  // indexes into ends_
  };

  bool fetchStored(std::size_t count);
  const std::string& inputOf(const Held& h) const;
  void align(bool last);
  void same(const Held& stored, const Held& run);
  void unmatched(std::size_t storedCount, std::size_t runCount);
  void add(Item item);
  void groupEnds();

  ExpectOptions options_;
  std::unique_ptr<StoredRun> stored_;
  const Replay& replay_;
  bool legacy_ = false;   // written before headers: no header, entries without their input
  bool endOnly_ = false;  // a state
  bool decoded_ = false;
  std::vector<std::string> otherOptions_;
  EntryJson entries_;
  TextBuffer actual_;
  std::deque<Held> storedQ_, runQ_;
  bool storedEnded_ = false;

  // Differences: the first maxDifferences of entries kept whole, every one counted.
  std::vector<Item> items_;
  std::uint64_t inserted_ = 0, removed_ = 0, changed_ = 0, unaligned_ = 0, total_ = 0;
  std::uint64_t runEntries_ = 0;
  // The ends' differences (whose States they point into are kept here).
  std::optional<State> storedEnd_, runEnd_;
  std::vector<EndDifference> ends_;
  std::vector<std::size_t> topEnds_;  // those not grouped under an entry
};

}  // namespace Utilsim
