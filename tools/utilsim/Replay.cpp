#include "tools/utilsim/Replay.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <exception>

#include "tools/utilsim/State.h"

namespace Utilsim {
namespace {

Pavo::Ptr<Asic::LogEntryWrapperBase> makeLogEntry(const InputEntry& e, std::uint32_t sequence) {
  Asic::LogHeader header;
  header.flags = std::uint8_t((e.isDelete ? Asic::LogHeader::kIsDelete : 0) |
                              (e.tableDelete ? Asic::LogHeader::kTableDelete : 0));
  header.unitId = Asic::UnitId::of(e.fapId, e.instanceId);
  header.sequence = sequence;
  switch (e.table) {
    case SwTable::RoutingState: {
      const auto& in = e.routingState;
      // Both value shapes are filled: the key type decides which one a Util reads, and the
      // other holds zeros.
      TernL3Ni::RoutingStateLogEntry entry;
      entry.key().id = in.id;
      entry.key().type = in.type;
      entry.routingProfileMapIs(in.routingProfileMap);
      TernL3Ni::RoutingEnableProfile p;
      for (unsigned i = 0; i < 5; ++i) p.routingState.flag[i] = in.routingState[i];
      p.urpfState.ipv4Enabled = in.urpfState[0];
      p.urpfState.ipv6Enabled = in.urpfState[1];
      p.urpfState.ipv4Strict = in.urpfState[2];
      p.urpfState.ipv6Strict = in.urpfState[3];
      p.urpfState.allowDefault = in.urpfState[4];
      entry.routingEnableProfileIs(p);
      return Pavo::Ptr<Asic::LogEntryWrapperBase>(
          new TernL3Ni::RoutingStateLogEntryWrapper(header, entry));
    }
    case SwTable::TrapForwardAction: {
      TernTrapLib::EtppbTrapForwardActionTableDataModelLogEntry entry;
      entry.key.value = e.trapForwardAction.key;
      entry.outPort = e.trapForwardAction.outPort;
      entry.stampValue = e.trapForwardAction.stampValue;
      return Pavo::Ptr<Asic::LogEntryWrapperBase>(
          new TernTrapLib::EtppbTrapForwardActionTableDataModelLogEntryWrapper(header, entry));
    }
    case SwTable::MtuProfile: {
      TernL3Intf::MtuProfileLogEntry entry;
      entry.key.value = e.mtuProfile.key;
      entry.mtuBytes = e.mtuProfile.mtuBytes;
      return Pavo::Ptr<Asic::LogEntryWrapperBase>(
          new TernL3Intf::MtuProfileLogEntryWrapper(header, entry));
    }
  }
  return {};
}

std::string currentExceptionText() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown exception (not derived from std::exception)";
  }
}
}  // namespace

Asic::SwTableId swTableIdOf(SwTable t) noexcept {
  switch (t) {
    case SwTable::RoutingState:
      return TernL3Ni::RoutingStateConstants::swTableId;
    case SwTable::TrapForwardAction:
      return TernL3Ni::EtppTrapFwdActionConstants::swTableId;
    case SwTable::MtuProfile:
      return TernL3Intf::MtuProfileConstants::swTableId;
  }
  return {};
}

Replay::Replay(const TernAsicUtils::UtilHolderContext& context, const ReplayConfig& config)
    : config_(config), tableManager_(new TernAsicUtils::TableManager) {
  utils_ = Host::buildUtils(context, config.chip, tableManager_, config.fapmask);
  for (std::size_t i = 0; i < utils_.size(); ++i)
    for (const SwTable t : {SwTable::RoutingState, SwTable::TrapForwardAction, SwTable::MtuProfile})
      if (utils_[i].util->utilKey().swTableId == swTableIdOf(t))
        results_[std::size_t(t)].push_back(UtilResult{i, {}, {}, {}});
  if (config.timing) timings_.resize(utils_.size());
}

Replay::~Replay() = default;

void Replay::process(const InputEntry& entry, ReplaySink* sink) {
  const auto log = makeLogEntry(entry, std::uint32_t(++entries_));
  auto& results = results_[std::size_t(entry.table)];
  dispatch(log, results);
  if (config_.trackVsis) trackVsi(entry);
  if (sink) sink->entry(entry, results);
}

void Replay::load(const State& state) {
  const TernAsicUtils::HwTableInfo* info = nullptr;
  TernAsicUtils::HwCommonTableBase* table = nullptr;
  for (const auto& r : state.rows) {
    if (r.table != info) {
      info = r.table;
      // The table object of the chip's Utils, or one made like theirs when none owns it.
      table = nullptr;
      for (const auto& [key, t] : tableManager_->hwTableColl())
        if (t && key.name == info->name && key.fapRevision.chipType() == config_.chip)
          table = t.get();
      if (!table)
        table =
            &Host::obtainTable(*tableManager_, *info, Hardware::Tern::FapRevision(config_.chip, 0));
    }
    table->rowIs(r.key, r.row, r.words.data());
    chip_.rowIs(info->block, r.key, r.row, r.words.data());
  }
}

void Replay::finish() { mismatches_ = chip_.compare(*tableManager_); }

void Replay::dispatch(const Pavo::Ptr<Asic::LogEntryWrapperBase>& log,
                      std::span<UtilResult> results) {
  for (auto& r : results) {
    auto& util = *utils_[r.util].util;
    r.applicable.reset();
    r.list.reset();
    r.error.reset();
    bool process = true;
    if (!config_.always) {
      try {
        r.applicable = util.utilApplicable(log);
        process = *r.applicable;
      } catch (...) {
        r.error = currentExceptionText();
        process = false;
      }
    }
    if (process) {
      const auto start = config_.timing ? std::chrono::steady_clock::now()
                                        : std::chrono::steady_clock::time_point();
      try {
        r.list = util.processSwEntry(log);
      } catch (...) {
        r.error = currentExceptionText();
      }
      if (config_.timing)
        timings_[r.util].add(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
    }
    if (r.error) ++errors_;
    for (const auto& c : r.commands()) execute(c);
  }
}

void Replay::execute(const Pavo::Ptr<SchanAccel::SchanCmd>& cmd) {
  if (!cmd) return;
  if (++commandsSeen_ == config_.dropCommand) {
    dropped_ = cmd;
    return;
  }
  chip_.execute(*cmd);
}

void Replay::trackVsi(const InputEntry& e) {
  if (e.table != SwTable::RoutingState || e.fapId > SchanAccel::FapId::null) return;
  if (e.tableDelete) {
    std::erase_if(liveVsis_, [&](const CopyVsi& v) {
      return std::get<0>(v) == e.fapId && std::get<1>(v) == e.instanceId;
    });
  } else if (e.routingState.type == 0) {
    const CopyVsi v{e.fapId, e.instanceId, e.routingState.id};
    if (e.isDelete)
      liveVsis_.erase(v);
    else
      liveVsis_.insert(v);
  }
}

unsigned LatencyHistogram::bucket(std::uint64_t ns) noexcept {
  if (ns < kExact) return unsigned(ns);
  const unsigned top = unsigned(std::bit_width(ns)) - 1;  // 13 and above
  const unsigned octave = std::min(top - 13, kOctaves - 1);
  const unsigned sub = unsigned(ns >> (top - 6)) & (kSub - 1);
  return kExact + octave * kSub + sub;
}

std::int64_t LatencyHistogram::bucketValue(unsigned b) noexcept {
  if (b < kExact) return b;
  const unsigned octave = (b - kExact) / kSub, sub = (b - kExact) % kSub;
  return std::int64_t(std::uint64_t(kSub + sub) << (octave + 7));
}

void LatencyHistogram::add(std::int64_t ns) noexcept {
  if (ns < 0) ns = 0;
  ++counts_[bucket(std::uint64_t(ns))];
  ++count_;
  max_ = std::max(max_, ns);
}

std::int64_t LatencyHistogram::percentile(unsigned percent) const noexcept {
  if (count_ == 0) return 0;
  const std::uint64_t rank = std::max<std::uint64_t>(1, (count_ * percent + 99) / 100);
  std::uint64_t seen = 0;
  for (unsigned b = 0; b < counts_.size(); ++b) {
    seen += counts_[b];
    if (seen >= rank) return std::min(bucketValue(b), max_);
  }
  return max_;
}

}  // namespace Utilsim
