// The replay engine: builds the Utils of one chip from the started plug-ins, hands them the
// log entries one at a time, and runs the commands through a model of the chip.
//
// Nothing of an entry outlives it: what the Utils returned is handed to a sink while the
// entry is current and dropped after, so a replay takes the same memory for any log length.
// What stays is the end state (shadows, counters, the chip model) and fixed-size summaries.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "host/Host.h"
#include "tools/utilsim/Input.h"
#include "tools/utilsim/Latency.h"
#include "tools/utilsim/RowValues.h"

namespace Utilsim {
struct State;

struct ReplayConfig {
  Hardware::ChipType chip = Hardware::kChipBcm88890A0;
  SchanAccel::Fapmask fapmask;
  bool always = false;            // call processSwEntry without asking utilApplicable
  std::uint64_t dropCommand = 0;  // 1-based number of a command the chip never sees; 0: none
  bool timing = false;            // time processSwEntry
};

// What one Util did with the current log entry.
struct UtilResult {
  std::size_t util = 0;            // index into Replay::utils()
  std::optional<bool> applicable;  // utilApplicable's answer; none when not asked or it raised
  Pavo::Ptr<SchanAccel::SchanCmds> list;  // what processSwEntry returned
  std::optional<std::string> error;       // exception text

  std::span<const SchanAccel::SchanCmd> commands() const noexcept {
    if (!list) return {};
    return {list->begin(), list->end()};
  }
};

// Receives every log entry with the results of the Utils of its software table, in
// registration order, while they are alive.
class ReplaySink {
 public:
  virtual ~ReplaySink() = default;
  virtual void entry(const InputEntry& entry, std::span<const UtilResult> results) = 0;
};

Asic::SwTableId swTableIdOf(SwTable t) noexcept;

// Who last wrote a row: the log line and the Util (index into Replay::utils()); for a chip
// row also the number of the command (from 1, in the order the Utils returned them). A row a
// loaded state gave has the Util kLoaded.
struct RowOrigin {
  static constexpr std::uint32_t kNone = ~0u, kLoaded = ~0u - 1;
  unsigned line = 0;
  std::uint32_t util = kNone;
  std::uint64_t command = 0;
  bool loaded() const noexcept { return util == kLoaded; }
};

// A shadow row the current entry changed (`row` is kAllRows when the whole copy was cleared).
struct RowChange {
  static constexpr unsigned kAllRows = ~0u;
  const TernAsicUtils::HwTableInfo* table;
  TernAsicUtils::HwShadowKey key;
  unsigned row;
  std::size_t util;
};

class Replay : private TernAsicUtils::ShadowWatch {
 public:
  // Builds every Util registered for the chip (through its factory). Exceptions of the
  // factories pass through.
  Replay(const TernAsicUtils::UtilHolderContext& context, const ReplayConfig& config);
  ~Replay();
  Replay(const Replay&) = delete;
  Replay& operator=(const Replay&) = delete;

  // Starts from a saved state: its rows go into the shadows (through the table objects of
  // the chip) and into the chip model, which then takes the rows where the state's chip
  // differed from its shadows. Call before the first entry.
  void load(const State& state);
  // The file of the loaded state (the writer of its rows), or empty.
  const std::string& loadedFrom() const noexcept { return loadedFrom_; }
  // Hands one entry to the Utils of its software table, executes their commands in the chip
  // model, and shows the results to the sink (if any).
  void process(const InputEntry& entry, ReplaySink* sink = nullptr);
  // Compares the chip model with the shadows; call once after the last entry.
  void finish();

  const ReplayConfig& config() const noexcept { return config_; }
  const std::vector<Host::UtilInstance>& utils() const noexcept { return utils_; }
  const TernAsicUtils::TableManager& tableManager() const noexcept { return *tableManager_; }
  std::uint64_t entries() const noexcept { return entries_; }
  const Host::ChipModel& chip() const noexcept { return chip_; }
  const std::vector<Host::ChipModel::Mismatch>& mismatches() const noexcept { return mismatches_; }
  const std::vector<LatencyHistogram>& timings() const noexcept { return timings_; }
  std::uint64_t errors() const noexcept { return errors_; }
  // Commands the Utils returned so far (the one withheld from the chip too).
  std::uint64_t commandsSeen() const noexcept { return commandsSeen_; }
  bool consistent() const noexcept { return mismatches_.empty(); }
  // The command withheld from the chip model, if one was.
  const std::optional<SchanAccel::SchanCmd>& droppedCommand() const noexcept { return dropped_; }

  // What the current readShadowEntry operation read (valid while a sink sees it).
  const std::vector<std::uint32_t>& readWords() const noexcept { return read_; }
  // The shadow rows the current entry changed, in order (valid while a sink sees it).
  const std::vector<RowChange>& changes() const noexcept { return changes_; }
  // From now on, keep the shadows' values so that each entry's changes come with the rows'
  // values before and after (`--decode`, history). Before the first entry.
  void trackRowValues();
  bool tracksRowValues() const noexcept { return values_.has_value(); }
  // The rows the current entry changed, before and after (valid while a sink sees it).
  const std::vector<RowDelta>& deltas() const noexcept { return deltas_; }
  // Who last wrote the shadow row, and the chip row; none when nothing did.
  std::optional<RowOrigin> shadowOrigin(const TernAsicUtils::HwTableInfo& table,
                                        TernAsicUtils::HwShadowKey key, unsigned row) const;
  std::optional<RowOrigin> chipOrigin(const TernAsicUtils::HwTableInfo& table,
                                      TernAsicUtils::HwShadowKey key, unsigned row) const;

 private:
  // One RowOrigin per row of each copy of each table that was written.
  class Origins {
   public:
    RowOrigin* copy(const TernAsicUtils::HwTableInfo& table, TernAsicUtils::HwShadowKey key);
    const RowOrigin* find(const TernAsicUtils::HwTableInfo& table,
                          TernAsicUtils::HwShadowKey key) const;

   private:
    std::map<std::pair<const TernAsicUtils::HwTableInfo*, std::uint16_t>, std::vector<RowOrigin>>
        copies_;
    // The copy each table wrote last (the tables' blocks differ in their low five bits).
    struct Last {
      const TernAsicUtils::HwTableInfo* table = nullptr;
      std::uint16_t key = 0;
      RowOrigin* rows = nullptr;
    };
    std::array<Last, 32> last_{};
  };

  void rowChanged(const TernAsicUtils::HwTableInfo& table, TernAsicUtils::HwShadowKey key,
                  unsigned row) noexcept override;
  void copyCleared(const TernAsicUtils::HwTableInfo& table,
                   TernAsicUtils::HwShadowKey key) noexcept override;

  void dispatch(const Pavo::Ptr<Asic::LogEntryWrapperBase>& log, std::span<UtilResult> results);
  void hostOp(const InputEntry& entry, UtilResult& result);
  // The chip's Util that programs the table (and owns its table object), if any.
  const Host::UtilInstance* utilOf(const TernAsicUtils::HwTableInfo& table) const;
  void execute(const SchanAccel::SchanCmd& cmd);

  ReplayConfig config_;
  Pavo::Ptr<TernAsicUtils::TableManager> tableManager_;
  std::vector<Host::UtilInstance> utils_;
  // The Utils of each software table, in registration order, and one result slot for each
  // (reused from entry to entry).
  std::array<std::vector<UtilResult>, 3> results_;
  UtilResult opResult_;
  std::vector<std::uint32_t> read_;
  std::vector<LatencyHistogram> timings_;
  Host::ChipModel chip_;
  std::vector<Host::ChipModel::Mismatch> mismatches_;
  std::uint64_t entries_ = 0, errors_ = 0, commandsSeen_ = 0;
  std::optional<SchanAccel::SchanCmd> dropped_;
  // The line and Util at work, for the watch of the shadows.
  unsigned line_ = 0;
  std::size_t util_ = 0;
  std::vector<RowChange> changes_;
  std::optional<RowValues> values_;
  std::vector<RowDelta> deltas_;
  Origins shadowOrigins_, chipOrigins_;
  std::string loadedFrom_;
};

}  // namespace Utilsim
