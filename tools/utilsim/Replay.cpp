#include "tools/utilsim/Replay.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <stdexcept>

#include "tools/utilsim/State.h"

namespace Utilsim {
namespace {

Pavo::Ptr<Asic::LogEntryWrapperBase> makeLogEntry(const InputEntry& e, std::uint32_t sequence) {
  const Host::Log::Header header{.fapId = e.fapId,
                                 .instanceId = e.instanceId,
                                 .isDelete = e.isDelete,
                                 .isTableDelete = e.tableDelete,
                                 .sequence = sequence};
  return visitValue(e, [&](const auto& value) { return Host::Log::entry(value, header); });
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
  InputEntry e;
  e.table = t;
  return visitValue(e, [](const auto& value) { return value.kSwTableId; });
}

Replay::Replay(const TernAsicUtils::UtilHolderContext& context, const ReplayConfig& config)
    : config_(config), tableManager_(new TernAsicUtils::TableManager) {
  utils_ = Host::buildUtils(context, config.chip, tableManager_, config.fapmask);
  for (std::size_t i = 0; i < utils_.size(); ++i)
    for (std::size_t t = 0; t < kSwTableNames.size(); ++t)
      if (utils_[i].util->utilKey().swTableId == swTableIdOf(SwTable(t)))
        results_[t].push_back(UtilResult{i, {}, {}, {}});
  if (config.timing) timings_.resize(utils_.size());
  TernAsicUtils::ShadowStore::watchIs(this);
}

Replay::~Replay() { TernAsicUtils::ShadowStore::watchIs(nullptr); }

void Replay::process(const InputEntry& entry, ReplaySink* sink) {
  ++entries_;
  line_ = entry.line;
  changes_.clear();
  if (entry.op != HostOp::None) {
    hostOp(entry, opResult_);
    if (values_) values_->update(changes_, deltas_);
    if (sink) sink->entry(entry, std::span<const UtilResult>(&opResult_, 1));
    return;
  }
  const auto log = makeLogEntry(entry, std::uint32_t(entries_));
  auto& results = results_[std::size_t(entry.table)];
  dispatch(log, results);
  if (values_) values_->update(changes_, deltas_);
  if (sink) sink->entry(entry, results);
}

void Replay::trackRowValues() {
  if (!values_) values_.emplace(*tableManager_);
}

void Replay::load(const State& state) {
  loadedFrom_ = state.file;
  const RowOrigin loaded{0, RowOrigin::kLoaded, 0};
  const TernAsicUtils::HwTableInfo* info = nullptr;
  TernAsicUtils::HwCommonTableBase* table = nullptr;
  for (const auto& r : state.rows) {
    if (r.table != info) {
      info = r.table;
      // The table object of the chip's Util, or one made like it when no Util owns one.
      const auto* owner = utilOf(*info);
      table = owner ? owner->util->hwTableBase().get()
                    : &Host::obtainTable(*tableManager_, *info,
                                         Hardware::Tern::FapRevision(config_.chip, 0));
    }
    table->rowIs(r.key, r.row, r.words.data());
    chip_.rowIs(info->block, r.key, r.row, r.words.data());
  }
  // Loading wrote the shadows through the watch; what a run reports starts after it.
  changes_.clear();
  for (const auto& r : state.rows) shadowOrigins_.copy(*r.table, r.key)[r.row] = loaded;
  // A chip row at its reset value reads as never written, as it would in one long run.
  for (const auto* rows : {&state.rows, &state.chipRows})
    for (const auto& r : *rows) {
      if (rows == &state.chipRows) chip_.rowIs(r.table->block, r.key, r.row, r.words.data());
      const bool reset = std::all_of(r.words.begin(), r.words.end(), [](auto w) { return !w; });
      chipOrigins_.copy(*r.table, r.key)[r.row] = reset ? RowOrigin{} : loaded;
    }
}

void Replay::finish() { mismatches_ = chip_.compare(*tableManager_); }

void Replay::dispatch(const Pavo::Ptr<Asic::LogEntryWrapperBase>& log,
                      std::span<UtilResult> results) {
  for (auto& r : results) {
    auto& util = *utils_[r.util].util;
    util_ = r.util;
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

const Host::UtilInstance* Replay::utilOf(const TernAsicUtils::HwTableInfo& table) const {
  for (const auto& u : utils_)
    if (u.util->hwTableBase() && &u.util->hwTableBase()->info() == &table) return &u;
  return nullptr;
}

void Replay::hostOp(const InputEntry& e, UtilResult& r) {
  const auto& table = *TernAsicUtils::HwTableInfo::all()[e.hwTable];
  const auto* owner = utilOf(table);
  if (!owner)
    throw std::runtime_error(fmt::format("line {}: no Util of {} programs {}", e.line,
                                         Hardware::chipTypeName(config_.chip), table.name));
  r = UtilResult{std::size_t(owner - utils_.data()), {}, {}, {}};
  util_ = r.util;
  auto& util = *owner->util;
  read_.clear();
  try {
    if (e.op == HostOp::ClearHwTable) {
      r.list = util.clearHwTable(Asic::UnitId::of(e.fapId, e.instanceId));
    } else {
      const auto* cls = Pavo::ModuleInspectData::findClass(util.utilKey().utilName);
      if (!cls) throw std::runtime_error("the Util has no reflection class");
      read_.resize(table.wordsPerRow);
      const TernAsicUtils::HwShadowKey key(SchanAccel::FapId(e.fapId), e.instanceId);
      if (table.readShadowEntry(cls->inspectOperation, &util, key, e.row, read_.data()) != 0)
        throw std::runtime_error("readShadowEntry is not reachable through reflection");
    }
  } catch (...) {
    r.error = currentExceptionText();
    read_.clear();
  }
  if (r.error) ++errors_;
  for (const auto& c : r.commands()) execute(c);
}

void Replay::execute(const SchanAccel::SchanCmd& cmd) {
  if (++commandsSeen_ == config_.dropCommand) {
    dropped_ = cmd;
    return;
  }
  chip_.execute(cmd);
  const auto* table = TernAsicUtils::HwTableInfo::byBlock(cmd.block);
  if (table && cmd.address < table->rows)
    chipOrigins_.copy(*table, {SchanAccel::FapId(cmd.fapId), cmd.instanceId})[cmd.address] = {
        line_, std::uint32_t(util_), commandsSeen_};
}

RowOrigin* Replay::Origins::copy(const TernAsicUtils::HwTableInfo& table,
                                 TernAsicUtils::HwShadowKey key) {
  // Writes come in runs for one copy: look it up once per run and table.
  auto& last = last_[table.block % last_.size()];
  if (last.table == &table && last.key == key.value()) return last.rows;
  auto& rows = copies_[{&table, key.value()}];
  if (rows.empty()) rows.resize(table.rows);
  last = {&table, key.value(), rows.data()};
  return last.rows;
}

const RowOrigin* Replay::Origins::find(const TernAsicUtils::HwTableInfo& table,
                                       TernAsicUtils::HwShadowKey key) const {
  const auto it = copies_.find({&table, key.value()});
  return it == copies_.end() ? nullptr : it->second.data();
}

void Replay::rowChanged(const TernAsicUtils::HwTableInfo& table, TernAsicUtils::HwShadowKey key,
                        unsigned row) noexcept {
  shadowOrigins_.copy(table, key)[row] = {line_, std::uint32_t(util_), 0};
  changes_.push_back({&table, key, row, util_});
}

void Replay::copyCleared(const TernAsicUtils::HwTableInfo& table,
                         TernAsicUtils::HwShadowKey key) noexcept {
  auto* rows = shadowOrigins_.copy(table, key);
  std::fill(rows, rows + table.rows, RowOrigin{line_, std::uint32_t(util_), 0});
  changes_.push_back({&table, key, RowChange::kAllRows, util_});
}

std::optional<RowOrigin> Replay::shadowOrigin(const TernAsicUtils::HwTableInfo& table,
                                              TernAsicUtils::HwShadowKey key, unsigned row) const {
  const auto* rows = shadowOrigins_.find(table, key);
  if (!rows || rows[row].util == RowOrigin::kNone) return std::nullopt;
  return rows[row];
}

std::optional<RowOrigin> Replay::chipOrigin(const TernAsicUtils::HwTableInfo& table,
                                            TernAsicUtils::HwShadowKey key, unsigned row) const {
  const auto* rows = chipOrigins_.find(table, key);
  if (!rows || rows[row].util == RowOrigin::kNone) return std::nullopt;
  return rows[row];
}

}  // namespace Utilsim
