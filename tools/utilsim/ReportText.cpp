#include <algorithm>
#include <iterator>

#include "tools/utilsim/Fields.h"
#include "tools/utilsim/Report.h"

namespace Utilsim {
namespace {
template <class... Args>
void put(std::string& out, fmt::format_string<Args...> format, Args&&... args) {
  fmt::format_to(std::back_inserter(out), format, std::forward<Args>(args)...);
}
}  // namespace

std::string fieldValueText(const EntryField& f) {
  if (!f.list) return fmt::format("{}", f.values.empty() ? 0u : f.values.front());
  // Long lists are bit vectors in 32-bit words: hexadecimal reads better there.
  const bool words = f.values.size() > 4;
  std::string s = "[";
  for (std::size_t i = 0; i < f.values.size(); ++i) {
    if (i) s += ", ";
    s += words && f.values[i] ? fmt::format("{:#010x}", f.values[i])
                              : fmt::format("{}", f.values[i]);
  }
  return s + "]";
}

std::string fieldText(const EntryField& f) { return f.name + "=" + fieldValueText(f); }

std::string entryText(const TernAsicUtils::HwTableInfo& info, const std::uint32_t* words) {
  std::string s;
  for (const auto& f : entryFields(info, words)) {
    if (!s.empty()) s += ' ';
    s += fieldText(f);
  }
  return s.empty() ? "(no fields)" : s;
}

std::string keyText(const TernAsicUtils::HwTableInfo& info, unsigned row) {
  std::string s;
  for (const auto& f : keyFields(info, row))
    s += fmt::format("{}{}={}", s.empty() ? "" : " ", f.name, f.value);
  return s.empty() ? "(register)" : s;
}

std::string copyText(TernAsicUtils::HwShadowKey key) {
  return fmt::format("fap {} instance {}", key.fapId().value(), key.instanceId());
}

std::string entrySummary(const InputEntry& e) {
  std::string s = fmt::format("{} fap {} instance {}", swTableName(e.table), e.fapId, e.instanceId);
  if (e.tableDelete) return s + " table delete";
  switch (e.table) {
    case SwTable::RoutingState:
      s += e.routingState.type == 0
               ? fmt::format(" VSI {}", e.routingState.id)
               : fmt::format(" profile {} (type {})", e.routingState.id, e.routingState.type);
      if (!e.isDelete && e.routingState.type == 0)
        s += fmt::format(" -> routing profile {}", e.routingState.routingProfileMap);
      break;
    case SwTable::TrapForwardAction:
      s += fmt::format(" key {}", e.trapForwardAction.key);
      break;
    case SwTable::MtuProfile:
      s += fmt::format(" profile {}", e.mtuProfile.key);
      if (!e.isDelete) s += fmt::format(" -> {} bytes", e.mtuProfile.mtuBytes);
      break;
  }
  return e.isDelete ? s + " delete" : s;
}

void FailureList::entry(const InputEntry& entry, std::span<const UtilResult> results) {
  for (const auto& r : results) {
    if (!r.error) continue;
    if (total_++ < cap_) listed_.push_back({entry.line, entrySummary(entry), r.util, *r.error});
  }
}

namespace {

void failures(std::string& out, const Replay& replay, const FailureList& list) {
  put(out, "Failures: {}\n", list.total());
  for (const auto& f : list.listed())
    put(out, "  line {} ({}): {}:\n    {}\n", f.line, f.entry, replay.utils()[f.util].shortName,
        f.error);
  if (list.total() > list.listed().size())
    put(out, "  ... and {} more (--failures all lists them all)\n",
        list.total() - list.listed().size());
}

void tables(std::string& out, const Replay& replay) {
  put(out, "\nHardware tables (shadow rows)\n");
  for (const auto* info : TernAsicUtils::HwTableInfo::all()) {
    const auto* table = findTable(replay.tableManager(), info->name);
    std::size_t count = 0;
    std::string body;
    if (table) {
      std::vector<std::uint32_t> words(info->wordsPerRow);
      for (const auto key : table->shadowKeys()) {
        put(body, "    {}\n", copyText(key));
        for (unsigned row = 0; row < info->rows; ++row) {
          if (!table->rowPresent(key, row)) continue;
          table->rowWords(key, row, words.data());
          put(body, "      {}: {}\n", keyText(*info, row), entryText(*info, words.data()));
          ++count;
        }
      }
    }
    put(out, "  {}: {} row{}{}\n", info->name, count, count == 1 ? "" : "s",
        table ? "" : " (no table object)");
    out += body;
  }
}

void counters(std::string& out, const Replay& replay) {
  std::size_t width = 4;
  for (const auto& u : replay.utils()) width = std::max(width, u.shortName.size());
  put(out, "\nUtil counters\n  {:<{}}  {:>6} {:>6} {:>11} {:>15}\n", "Util", width, "add", "delete",
      "updateOnDel", "fapmaskMismatch");
  for (const auto& u : replay.utils()) {
    const auto& s = u.util->stats();
    put(out, "  {:<{}}  {:>6} {:>6} {:>11} {:>15}\n", u.shortName, width, s ? s->addCnt() : 0,
        s ? s->deleteCnt() : 0, s ? s->updateOnDelCnt() : 0, s ? s->fapmaskMismatch() : 0);
  }
}

void enqueue(std::string& out, const Replay& replay) {
  auto all = replay.tableManager().stats().all();
  std::stable_sort(all.begin(), all.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  put(out, "\nEnqueue counts (commands queued per software table and shadow copy)\n");
  if (all.empty()) put(out, "  (none)\n");
  for (const auto& [id, stats] : all) {
    put(out, "  {}:", id);
    if (!stats || stats->counts().empty()) put(out, " (none)");
    if (stats)
      for (const auto& [key, count] : stats->counts()) put(out, " [{}: {}]", copyText(key), count);
    out += '\n';
  }
}

void hardware(std::string& out, const Replay& replay) {
  const auto& chip = replay.chip();
  put(out, "\nHardware check: {} ({} commands executed, {} redundant writes)\n",
      replay.consistent() ? "consistent" : "INCONSISTENT", chip.commands(), chip.redundantWrites());
  if (const auto& d = replay.droppedCommand())
    put(out, "  command {} was withheld from the chip (--drop-command): block {:#x} address {}\n",
        replay.config().dropCommand, d->block, d->address);
  for (const auto& m : replay.mismatches())
    put(out, "  {} {} {}:\n    shadow:   {}\n    hardware: {}\n", m.table->name, copyText(m.key),
        keyText(*m.table, m.row), entryText(*m.table, m.shadow.data()),
        entryText(*m.table, m.hardware.data()));
}

std::string micros(std::int64_t ns) { return fmt::format("{:.1f}", double(ns) / 1000.0); }

void timing(std::string& out, const Replay& replay) {
  std::size_t width = 4;
  for (const auto& u : replay.utils()) width = std::max(width, u.shortName.size());
  put(out, "\nprocessSwEntry latency (microseconds)\n  {:<{}}  {:>9} {:>9} {:>9} {:>9}\n", "Util",
      width, "entries", "median", "p99", "max");
  for (std::size_t i = 0; i < replay.utils().size(); ++i) {
    const auto& h = replay.timings()[i];
    put(out, "  {:<{}}  {:>9} {:>9} {:>9} {:>9}\n", replay.utils()[i].shortName, width, h.count(),
        micros(h.percentile(50)), micros(h.percentile(99)), micros(h.max()));
  }
}
}  // namespace

std::string textReport(const Replay& replay, const ReportOptions& options,
                       const FailureList& failureList) {
  std::string out;
  put(out, "utilsim replay: chip {}, {} log entries, {} Utils, dispatch {}\n\n",
      Hardware::chipTypeName(replay.config().chip), replay.entries(), replay.utils().size(),
      replay.config().always ? "always" : "applicable");
  failures(out, replay, failureList);
  tables(out, replay);
  if (options.chains) {
    out += '\n';
    out += chainsText(replay);
  }
  counters(out, replay);
  enqueue(out, replay);
  if (options.timing) timing(out, replay);
  hardware(out, replay);
  return out;
}

}  // namespace Utilsim
