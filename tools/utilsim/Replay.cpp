#include "tools/utilsim/Replay.h"

#include <chrono>
#include <exception>

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
  timings_.resize(utils_.size());
}

Replay::~Replay() = default;

void Replay::run(const std::vector<InputEntry>& entries) {
  entries_.reserve(entries_.size() + entries.size());
  for (const auto& e : entries) {
    entries_.push_back({e, {}});
    const auto log = makeLogEntry(e, std::uint32_t(entries_.size()));
    dispatch(entries_.back(), log);
  }
  mismatches_ = chip_.compare(*tableManager_);
}

void Replay::dispatch(EntryResult& out, const Pavo::Ptr<Asic::LogEntryWrapperBase>& log) {
  const auto id = swTableIdOf(out.entry.table);
  for (std::size_t i = 0; i < utils_.size(); ++i) {
    auto& util = *utils_[i].util;
    if (util.utilKey().swTableId != id) continue;
    UtilResult r;
    r.util = i;
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
      const auto start = std::chrono::steady_clock::now();
      try {
        const auto cmds = util.processSwEntry(log);
        const auto stop = std::chrono::steady_clock::now();
        timings_[i].samples.push_back(
            std::chrono::duration_cast<std::chrono::nanoseconds>(stop - start).count());
        if (cmds)
          for (const auto& c : *cmds) r.commands.push_back(c);
      } catch (...) {
        const auto stop = std::chrono::steady_clock::now();
        timings_[i].samples.push_back(
            std::chrono::duration_cast<std::chrono::nanoseconds>(stop - start).count());
        r.error = currentExceptionText();
      }
    }
    if (r.error) ++errors_;
    for (const auto& c : r.commands) execute(c);
    out.results.push_back(std::move(r));
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

}  // namespace Utilsim
