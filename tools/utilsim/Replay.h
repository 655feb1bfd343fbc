// The replay engine: builds the Utils of one chip from the started plug-ins, hands them the
// log entries, records what each returned or raised, and runs the commands through a model
// of the chip.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/Host.h"
#include "tools/utilsim/Input.h"

namespace Utilsim {

struct ReplayConfig {
  Hardware::ChipType chip = Hardware::kChipBcm88890A0;
  SchanAccel::Fapmask fapmask;
  bool always = false;            // call processSwEntry without asking utilApplicable
  std::uint64_t dropCommand = 0;  // 1-based number of a command the chip never sees; 0: none
};

// What one Util did with one log entry.
struct UtilResult {
  std::size_t util = 0;            // index into Replay::utils()
  std::optional<bool> applicable;  // utilApplicable's answer; none when not asked or it raised
  std::vector<Pavo::Ptr<SchanAccel::SchanCmd>> commands;
  std::optional<std::string> error;  // exception text
};

struct EntryResult {
  InputEntry entry;
  std::vector<UtilResult> results;
};

// Latencies of processSwEntry of one Util, in nanoseconds.
struct UtilTiming {
  std::vector<std::int64_t> samples;
};

Asic::SwTableId swTableIdOf(SwTable t) noexcept;

class Replay {
 public:
  // Builds every Util registered for the chip (through its factory). Exceptions of the
  // factories pass through.
  Replay(const TernAsicUtils::UtilHolderContext& context, const ReplayConfig& config);
  ~Replay();
  Replay(const Replay&) = delete;
  Replay& operator=(const Replay&) = delete;

  void run(const std::vector<InputEntry>& entries);

  const ReplayConfig& config() const noexcept { return config_; }
  const std::vector<Host::UtilInstance>& utils() const noexcept { return utils_; }
  const TernAsicUtils::TableManager& tableManager() const noexcept { return *tableManager_; }
  const std::vector<EntryResult>& entries() const noexcept { return entries_; }
  const Host::ChipModel& chip() const noexcept { return chip_; }
  const std::vector<Host::ChipModel::Mismatch>& mismatches() const noexcept { return mismatches_; }
  const std::vector<UtilTiming>& timings() const noexcept { return timings_; }
  std::size_t errors() const noexcept { return errors_; }
  bool consistent() const noexcept { return mismatches_.empty(); }
  // The command withheld from the chip model, if one was.
  const Pavo::Ptr<SchanAccel::SchanCmd>& droppedCommand() const noexcept { return dropped_; }

 private:
  void dispatch(EntryResult& out, const Pavo::Ptr<Asic::LogEntryWrapperBase>& log);
  void execute(const Pavo::Ptr<SchanAccel::SchanCmd>& cmd);

  ReplayConfig config_;
  Pavo::Ptr<TernAsicUtils::TableManager> tableManager_;
  std::vector<Host::UtilInstance> utils_;
  std::vector<EntryResult> entries_;
  std::vector<UtilTiming> timings_;
  Host::ChipModel chip_;
  std::vector<Host::ChipModel::Mismatch> mismatches_;
  std::size_t errors_ = 0;
  std::uint64_t commandsSeen_ = 0;
  Pavo::Ptr<SchanAccel::SchanCmd> dropped_;
};

}  // namespace Utilsim
