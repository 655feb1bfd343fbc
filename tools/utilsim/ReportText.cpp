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

std::string fieldChanges(const std::vector<EntryField>& a, const std::vector<EntryField>& b,
                         std::string_view first, std::string_view lead) {
  std::string out;
  for (std::size_t k = 0; k < a.size(); ++k)
    if (a[k].values != b[k].values)
      put(out, "{}{}: {} -> {}", out.empty() ? first : lead, a[k].name, fieldValueText(a[k]),
          fieldValueText(b[k]));
  return out;
}

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
  if (e.op != HostOp::None) {
    const auto& table = *TernAsicUtils::HwTableInfo::all()[e.hwTable];
    std::string s = fmt::format("{} {} fap {} instance {}", hostOpName(e.op), table.name, e.fapId,
                                e.instanceId);
    return e.op == HostOp::ReadShadowEntry ? s + " " + keyText(table, e.row) : s;
  }
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

void tables(std::string& out, const Replay& replay, const RowFilter& filter) {
  put(out, "\nHardware tables (shadow rows)\n");
  for (const auto* info : TernAsicUtils::HwTableInfo::all()) {
    if (!filter.table(*info)) continue;
    const auto* table = findTable(replay.tableManager(), info->name);
    std::size_t count = 0;
    std::string body;
    if (table) {
      std::vector<std::uint32_t> words(info->wordsPerRow);
      for (const auto key : table->shadowKeys()) {
        if (!filter.copy(key)) continue;
        std::string rows;
        for (unsigned row = 0; row < info->rows; ++row) {
          if (!table->rowPresent(key, row)) continue;
          table->rowWords(key, row, words.data());
          if (!filter.row(*info, words.data())) continue;
          put(rows, "      {}: {}\n", keyText(*info, row), entryText(*info, words.data()));
          ++count;
        }
        if (!rows.empty()) put(body, "    {}\n{}", copyText(key), rows);
      }
    }
    put(out, "  {}: {}{}\n", info->name, counted(count, "row", "rows"),
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

void enqueue(std::string& out, const Replay& replay, const RowFilter& filter) {
  auto all = replay.tableManager().stats().all();
  std::stable_sort(all.begin(), all.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  put(out, "\nEnqueue counts (commands queued per software table and shadow copy)\n");
  if (all.empty()) put(out, "  (none)\n");
  // One copy a line: a switch has hundreds of them.
  for (const auto& [id, stats] : all) {
    std::string copies;
    if (stats)
      for (const auto& [key, count] : stats->counts())
        if (filter.copy(key)) put(copies, "    {}: {}\n", copyText(key), count);
    put(out, "  {}:{}\n{}", id, copies.empty() ? " (none)" : "", copies);
  }
}

void hardware(std::string& out, const Replay& replay, const RowFilter& filter) {
  const auto& chip = replay.chip();
  put(out, "\nHardware check: {} ({} executed, {})\n",
      replay.consistent() ? "consistent" : "INCONSISTENT",
      counted(chip.commands(), "command", "commands"),
      counted(chip.redundantWrites(), "redundant write", "redundant writes"));
  if (const auto& d = replay.droppedCommand())
    put(out, "  command {} was withheld from the chip (--drop-command): block {:#x} address {}\n",
        replay.config().dropCommand, d->block, d->address);
  const auto origin = [&](const std::optional<RowOrigin>& o, const char* none) {
    if (!o) return std::string(none);
    if (o->loaded()) return fmt::format("loaded from {}", replay.loadedFrom());
    return fmt::format("{}line {} ({})", o->command ? fmt::format("command {}, ", o->command) : "",
                       o->line, replay.utils()[o->util].shortName);
  };
  for (const auto& m : replay.mismatches())
    if (filter.table(*m.table) && filter.copy(m.key))
      put(out,
          "  {} {} {}:\n    shadow:   {}\n    hardware: {}\n    last shadow write: {}\n"
          "    last chip write:   {}\n",
          m.table->name, copyText(m.key), keyText(*m.table, m.row),
          entryText(*m.table, m.shadow.data()), entryText(*m.table, m.hardware.data()),
          origin(replay.shadowOrigin(*m.table, m.key, m.row), "none (reset value)"),
          origin(replay.chipOrigin(*m.table, m.key, m.row), "none (reset value)"));
}

void timing(std::string& out, const Replay& replay) {
  std::size_t width = 4;
  for (const auto& u : replay.utils()) width = std::max(width, u.shortName.size());
  // Nanoseconds: most calls take a few hundred, which tenths of a microsecond would blur.
  put(out, "\nprocessSwEntry latency (nanoseconds)\n  {:<{}}  {:>9} {:>9} {:>9} {:>9}\n", "Util",
      width, "entries", "median", "p99", "max");
  for (std::size_t i = 0; i < replay.utils().size(); ++i) {
    const auto& h = replay.timings()[i];
    put(out, "  {:<{}}  {:>9} {:>9} {:>9} {:>9}\n", replay.utils()[i].shortName, width, h.count(),
        h.percentile(50), h.percentile(99), h.max());
  }
}
}  // namespace

std::string textReport(const Replay& replay, const ReportOptions& options,
                       const FailureList& failureList, const LiveVsis* chains) {
  std::string out;
  put(out, "utilsim replay: chip {}, {}, {}, dispatch {}\n\n",
      Hardware::chipTypeName(replay.config().chip),
      counted(replay.entries(), "log entry", "log entries"),
      counted(replay.utils().size(), "Util", "Utils"),
      replay.config().always ? "always" : "applicable");
  failures(out, replay, failureList);
  tables(out, replay, options.filter);
  if (chains) {
    out += '\n';
    out += chainsText(replay, *chains, options.filter);
  }
  counters(out, replay);
  enqueue(out, replay, options.filter);
  if (options.timing) timing(out, replay);
  hardware(out, replay, options.filter);
  return out;
}

bool RowFilter::table(const TernAsicUtils::HwTableInfo& t) const noexcept {
  return tables.empty() || std::find(tables.begin(), tables.end(), &t) != tables.end();
}

bool RowFilter::copy(unsigned fapId, unsigned instanceId) const noexcept {
  return (faps.empty() || (fapId < faps.size() && faps[fapId])) &&
         (instances.empty() || (instanceId < instances.size() && instances[instanceId]));
}

bool RowFilter::row(const TernAsicUtils::HwTableInfo& t,
                    const std::uint32_t* words) const noexcept {
  return !changed || std::any_of(words, words + t.wordsPerRow, [](std::uint32_t w) { return w; });
}

void LineView::entry(const InputEntry& e, std::span<const UtilResult> results) {
  if ((!lines_.empty() && std::none_of(lines_.begin(), lines_.end(),
                                       [&](const LineRange& r) { return r.has(e.line); })) ||
      !filter_.copy(e.fapId, e.instanceId))
    return;
  auto& out = text_;
  out.clear();
  if (!started_) put(out, "Entries\n");
  started_ = true;
  TextBuffer read;
  JsonWriter w(read, JsonWriter::kCompact);
  inputJson(w, e);
  put(out, "  line {}: {}\n    as read: {}\n", e.line, entrySummary(e), read.view());
  if (traces_) out += traces_->take(fmt::format("    {}:{}: ", file_, e.line));
  for (const auto& r : results) {
    const auto& name = replay_.utils()[r.util].shortName;
    if (r.error) {
      put(out, "    {}: error\n      {}\n", name, *r.error);
      continue;
    }
    if (r.applicable == false) {
      put(out, "    {}: not applicable\n", name);
      continue;
    }
    const auto cmds = r.commands();
    put(out, "    {}: {} command{}\n", name, cmds.size(), cmds.size() == 1 ? "" : "s");
    for (const auto& c : cmds) {
      const auto d = Host::decode(c);
      const char* op = SchanAccel::opcodeName(c.opcode);
      if (!d.table) {
        put(out, "      {} block {:#x} address {} (no table)\n", op, c.block, c.address);
        continue;
      }
      std::vector<std::uint32_t> words(d.table->wordsPerRow);
      std::copy_n(c.data, std::min<unsigned>(c.words, d.table->wordsPerRow), words.begin());
      put(out, "      {} {} {} {}: {}\n", op, d.table->name, copyText(d.key),
          keyText(*d.table, d.row), entryText(*d.table, words.data()));
    }
  }
  if (e.op == HostOp::ReadShadowEntry && !replay_.readWords().empty())
    put(out, "    read: {}\n",
        entryText(*TernAsicUtils::HwTableInfo::all()[e.hwTable], replay_.readWords().data()));
  if (replay_.changes().empty()) put(out, "    shadow rows changed: none\n");
  for (const auto& c : replay_.changes()) {
    const auto& name = replay_.utils()[c.util].shortName;
    if (c.row == RowChange::kAllRows) {
      put(out, "    shadow copy cleared: {} {} (by {})\n", c.table->name, copyText(c.key), name);
      continue;
    }
    const auto* table = findTable(replay_.tableManager(), c.table->name);
    std::vector<std::uint32_t> words(c.table->wordsPerRow);
    const bool present = table && table->rowPresent(c.key, c.row);
    if (present) table->rowWords(c.key, c.row, words.data());
    put(out, "    shadow row {}: {} {} {}: {} (by {})\n", present ? "written" : "removed",
        c.table->name, copyText(c.key), keyText(*c.table, c.row),
        present ? entryText(*c.table, words.data()) : "reset value", name);
  }
  out_.buffer().append(out);
  out_.maybeFlush();
}

}  // namespace Utilsim
