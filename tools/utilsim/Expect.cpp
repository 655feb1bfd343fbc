#include "tools/utilsim/Expect.h"

#include <fmt/format.h>

#include <algorithm>
#include <unordered_map>

#include "tools/utilsim/Commands.h"
#include "tools/utilsim/DocumentReader.h"
#include "tools/utilsim/EntryStream.h"
#include "tools/utilsim/Fields.h"
#include "tools/utilsim/Files.h"
#include "tools/utilsim/JsonCheck.h"

namespace Utilsim {
namespace {
using Json = nlohmann::json;
// How far the two runs are searched for an entry they have in common after they part: the
// entries held in memory on each side.
constexpr std::size_t kWindow = 2000;

// Takes a leading "line" member off a compact entry element: its value, or 0 if none. Only
// a number as utilsim writes it is taken (the element is not parsed when the rest is equal):
// anything else stays, for the parser to judge.
std::uint64_t takeLine(std::string& element) {
  static constexpr std::string_view kPrefix = "{\"line\":";
  if (element.compare(0, kPrefix.size(), kPrefix) != 0) return 0;
  std::size_t end = kPrefix.size();
  std::uint64_t line = 0;
  while (end < element.size() && element[end] >= '0' && element[end] <= '9' &&
         end - kPrefix.size() < 19)
    line = line * 10 + unsigned(element[end++] - '0');
  if (line == 0 || element[kPrefix.size()] == '0' || end >= element.size() || element[end] != ',')
    return 0;
  element.erase(1, end);  // keeps the '{'
  return line;
}

// The entry in a few words, from the input an element records (the log's own format).
std::string summaryOf(const Json& element) {
  const auto input = element.find("entry");
  if (input == element.end()) return element.value("table", std::string("an entry"));
  InputEntry e;
  std::vector<InputError> errors;
  if (!checkLine(input->dump(), 1, e, errors)) return printable(input->dump(), 120);
  return entrySummary(e);
}

// A command decoded: what it writes (op, table, copy, key) and the fields it writes there.
struct Decoded {
  std::string target;
  std::vector<EntryField> fields;  // empty when the block or address names no row
};
Decoded decoded(const Json& c) {
  try {
    const auto op = c.at("op").get<std::string>();
    const unsigned block = c.at("block"), address = c.at("address");
    const auto* table = TernAsicUtils::HwTableInfo::byBlock(std::uint16_t(block));
    if (!table || address >= table->rows)
      return {fmt::format("{} block {:#x} address {} (no table)", op, block, address), {}};
    std::array<std::uint32_t, SchanAccel::SchanCmd::kMaxWords> words{};
    const auto& data = c.at("data");
    for (std::size_t i = 0; i < std::min<std::size_t>(data.size(), words.size()); ++i)
      words[i] = data[i];
    return {
        fmt::format("{} {} fap {} instance {} {}", op, table->name, c.at("fapId").get<unsigned>(),
                    c.at("instanceId").get<unsigned>(), keyText(*table, address)),
        entryFields(*table, words.data())};
  } catch (const Json::exception&) {
    return {printable(c.dump(), 200), {}};
  }
}

// A command as the per-line view shows it: table, copy, key and fields by name.
std::string commandText(const Json& c) {
  const auto d = decoded(c);
  std::string fields;
  for (const auto& f : d.fields) fields += (fields.empty() ? ": " : " ") + fieldText(f);
  return d.target + fields;
}

std::string errorText(const Json& error) {
  return error.is_string() ? printable(error.get<std::string>(), 300) : "none";
}

// What each Util did with the entry: its commands and its error.
std::vector<std::string> resultLines(const Json& element) {
  std::vector<std::string> out;
  for (const auto& r : element.value("results", Json::array())) {
    const auto util = r.value("util", std::string("?"));
    for (const auto& c : r.value("commands", Json::array()))
      out.push_back(fmt::format("{}: {}", util, commandText(c)));
    if (r.contains("error") && !r["error"].is_null())
      out.push_back(fmt::format("{}: error: {}", util, errorText(r["error"])));
  }
  return out;
}

// How each Util's result differs, stored to run: only what differs, commands decoded.
std::vector<std::string> resultChanges(const Json& stored, const Json& run) {
  std::vector<std::string> out;
  const auto a = stored.value("results", Json::array()), b = run.value("results", Json::array());
  for (std::size_t k = 0; k < std::max(a.size(), b.size()); ++k) {
    const auto util = (k < a.size() ? a[k] : b[k]).value("util", std::string("?"));
    if (k >= a.size() || k >= b.size()) {
      out.push_back(
          fmt::format("{}: {} only", util, k < a.size() ? "in the stored run" : "in this run"));
      continue;
    }
    const auto& ra = a[k];
    const auto& rb = b[k];
    if (ra == rb) continue;
    if (ra.value("applicable", Json()) != rb.value("applicable", Json()))
      out.push_back(fmt::format("{}: applicable: {} -> {}", util,
                                ra.value("applicable", Json()).dump(),
                                rb.value("applicable", Json()).dump()));
    if (ra.value("error", Json()) != rb.value("error", Json()))
      out.push_back(fmt::format("{}: error: {} -> {}", util, errorText(ra.value("error", Json())),
                                errorText(rb.value("error", Json()))));
    const auto ca = ra.value("commands", Json::array()), cb = rb.value("commands", Json::array());
    for (std::size_t i = 0; i < std::max(ca.size(), cb.size()); ++i) {
      if (i >= ca.size()) {
        out.push_back(fmt::format("{}: command added: {}", util, commandText(cb[i])));
      } else if (i >= cb.size()) {
        out.push_back(fmt::format("{}: command gone: {}", util, commandText(ca[i])));
      } else if (ca[i] != cb[i]) {
        const auto da = decoded(ca[i]), db = decoded(cb[i]);
        if (da.target != db.target || da.fields.size() != db.fields.size()) {
          out.push_back(fmt::format("{}: command {}: {} -> {}", util, i + 1, commandText(ca[i]),
                                    commandText(cb[i])));
          continue;
        }
        // The same row with other fields: only the fields that differ.
        out.push_back(fmt::format("{}: {}: {}", util, da.target,
                                  fieldChanges(da.fields, db.fields, "", "; ")));
      }
    }
  }
  return out;
}

std::string lines(std::uint64_t first, std::uint64_t last) {
  return first == last ? fmt::format("line {}", first) : fmt::format("lines {}-{}", first, last);
}
}  // namespace

ExpectCheck::ExpectCheck(const ExpectOptions& options, const Replay& replay, const RunHeader& run)
    : options_(options),
      stored_(std::make_unique<StoredRun>(options.path, false)),
      replay_(replay),
      entries_(replay) {
  const auto& members = stored_->members();
  endOnly_ = !stored_->hasEntries();
  const auto header = members.find("header");
  if (header == members.end()) {
    legacy_ = true;
    warn(
        "{} has no header (written by an older utilsim): it is compared as it is; record it "
        "again to compare the input of each entry too",
        stored_->name());
    return;
  }
  std::string problem;
  const auto stored = readHeader(*header, problem);
  if (!stored) throw InputFileError(fmt::format("{}: {}", stored_->name(), problem));
  if (stored->filtered())
    throw InputFileError(fmt::format(
        "{} was written with filters ({}): it shows part of a run, and --expect compares whole "
        "runs; record the golden without filters",
        stored_->name(), stored->filterOptions()));
  otherOptions_ = optionDifferences(*stored, run);
  decoded_ = stored->decoded;
  entries_.decodeIs(decoded_);
}

ExpectCheck::~ExpectCheck() = default;

bool ExpectCheck::linesForm() const noexcept { return stored_->form() == StoredRun::Form::Lines; }

bool ExpectCheck::fetchStored(std::size_t count) {
  while (storedQ_.size() < count && !storedEnded_) {
    Held h{0, {}, false, {}};
    if (!stored_->nextEntry(h.text)) {
      storedEnded_ = true;
      break;
    }
    h.line = takeLine(h.text);
    storedQ_.push_back(std::move(h));
  }
  return storedQ_.size() >= count;
}

// An element parsed: a stored one as the stored run's reader judges it (an error is the
// file's), this run's as written.
static Json parsed(StoredRun& stored, const std::string& text, std::uint64_t line, bool ofRun) {
  if (ofRun) return Json::parse(text);
  auto j = stored.stream().parse<Json>(text, fmt::format("the entry of stored line {}", line),
                                       stored.stream().offset());
  if (j.is_object()) j.erase("line");
  return j;
}

const std::string& ExpectCheck::inputOf(const Held& h) const {
  if (!h.input) {
    // Both sides are parsed and dumped alike, whatever their layout.
    const auto j = parsed(*stored_, h.text, h.line, h.ofRun);
    h.input = j.is_object() && j.contains("entry") ? j["entry"].dump() : std::string();
  }
  return *h.input;
}

void ExpectCheck::align(bool last) {
  while (!runQ_.empty()) {
    if (!fetchStored(1)) return unmatched(0, runQ_.size());  // the stored run ended first
    if (inputOf(storedQ_.front()) == inputOf(runQ_.front())) {
      same(storedQ_.front(), runQ_.front());
      storedQ_.pop_front();
      runQ_.pop_front();
      continue;
    }
    // The runs parted: they meet again at the stored and run entries of one input with the
    // fewest entries before them.
    fetchStored(kWindow);
    std::unordered_map<std::string_view, std::size_t> at;
    for (std::size_t i = 0; i < storedQ_.size(); ++i) at.emplace(inputOf(storedQ_[i]), i);
    std::optional<std::pair<std::size_t, std::size_t>> best;
    for (std::size_t b = 0; b < runQ_.size() && (!best || b < best->first + best->second); ++b)
      if (const auto it = at.find(inputOf(runQ_[b]));
          it != at.end() && (!best || it->second + b < best->first + best->second))
        best = std::pair{it->second, b};
    const bool full = runQ_.size() >= kWindow;
    // Entries of this run still to come could meet nearer.
    if (!last && !full && (!best || best->first + best->second > runQ_.size())) return;
    if (best) {
      unmatched(best->first, best->second);
    } else if (last) {
      unmatched(storedQ_.size(), runQ_.size());
    } else {
      Item item{Item::Kind::Unaligned};
      item.storedLine = storedQ_.front().line, item.runLine = runQ_.front().line;
      item.headline = fmt::format(
          "stored {} and this run's {} have no entry in common within {} entries: not "
          "compared, the comparison goes on after them",
          lines(storedQ_.front().line, storedQ_.back().line),
          lines(runQ_.front().line, runQ_.back().line), kWindow);
      item.json = {{"kind", "unaligned"},
                   {"storedLines", {storedQ_.front().line, storedQ_.back().line}},
                   {"lines", {runQ_.front().line, runQ_.back().line}}};
      ++unaligned_;
      add(std::move(item));
      storedQ_.clear();
      runQ_.clear();
    }
  }
}

void ExpectCheck::same(const Held& stored, const Held& run) {
  if (stored.line && stored.text == run.text) return;
  const auto a = parsed(*stored_, stored.text, stored.line, false);
  auto b = Json::parse(run.text);
  if (a == b) return;
  ++changed_;
  Item item{Item::Kind::Changed, stored.line, run.line};
  item.headline =
      fmt::format("{} gives other results: {}",
                  stored.line == run.line
                      ? fmt::format("line {}", run.line)
                      : fmt::format("stored line {}, this run's line {},", stored.line, run.line),
                  summaryOf(b));
  item.details = resultChanges(a, b);
  item.json = {{"kind", "entryChanged"},
               {"storedLine", stored.line},
               {"line", run.line},
               {"entry", b.value("entry", Json())},
               {"stored", a.value("results", Json())},
               {"run", b.value("results", Json())}};
  add(std::move(item));
}

// The first storedCount stored entries and runCount run entries have no counterpart: as
// many as both have are replaced entries, the rest removed or inserted.
void ExpectCheck::unmatched(std::size_t storedCount, std::size_t runCount) {
  for (std::size_t i = 0; i < std::max(storedCount, runCount); ++i) {
    const Held* s = i < storedCount ? &storedQ_[i] : nullptr;
    const Held* r = i < runCount ? &runQ_[i] : nullptr;
    const auto a = s ? parsed(*stored_, s->text, s->line, false) : Json();
    const auto b = r ? Json::parse(r->text) : Json();
    Item item{s && r ? Item::Kind::Replaced
              : s    ? Item::Kind::Removed
                     : Item::Kind::Inserted,
              s ? s->line : 0, r ? r->line : 0};
    removed_ += s != nullptr;
    inserted_ += r != nullptr;
    if (s && r) {
      item.headline = fmt::format("this run's line {} is another entry than stored line {}: {}",
                                  r->line, s->line, summaryOf(b));
      item.details.push_back("stored: " + summaryOf(a));
    } else if (s) {
      item.headline = fmt::format("stored line {} is not in this run: {}", s->line, summaryOf(a));
    } else {
      item.headline =
          fmt::format("this run's line {} is not in the stored run: {}", r->line, summaryOf(b));
    }
    for (const auto& l : resultLines(r ? b : a)) item.details.push_back(l);
    item.json = {{"kind", s && r ? "entryReplaced" : s ? "entryRemoved" : "entryInserted"}};
    if (s) item.json["storedLine"] = s->line, item.json["storedEntry"] = a.value("entry", Json());
    if (r) item.json["line"] = r->line, item.json["entry"] = b.value("entry", Json());
    item.json["results"] = (r ? b : a).value("results", Json());
    add(std::move(item));
  }
  storedQ_.erase(storedQ_.begin(), storedQ_.begin() + std::ptrdiff_t(storedCount));
  runQ_.erase(runQ_.begin(), runQ_.begin() + std::ptrdiff_t(runCount));
}

void ExpectCheck::add(Item item) {
  ++total_;
  if (items_.size() < options_.maxDifferences) items_.push_back(std::move(item));
}

void ExpectCheck::entry(const InputEntry& e, std::span<const UtilResult> results) {
  ++runEntries_;
  if (endOnly_) return;
  actual_.clear();
  JsonWriter w(actual_, JsonWriter::kCompact);
  entries_.write(w, e, results, false, !legacy_);
  // The common case: the next stored entry, byte for byte.
  if (runQ_.empty() && fetchStored(1) && storedQ_.front().line &&
      storedQ_.front().text == actual_.view()) {
    storedQ_.pop_front();
    return;
  }
  runQ_.push_back({e.line, std::string(actual_.view()), true, {}});
  align(false);
}

void ExpectCheck::finish() {
  if (!endOnly_) {
    align(true);
    // Stored entries this run did not reach.
    while (fetchStored(kWindow) || !storedQ_.empty()) unmatched(storedQ_.size(), 0);
  }
  stored_->finish();
  auto members = stored_->members();
  if (legacy_ && members.contains("header"))
    throw InputFileError(fmt::format(
        "{}: /header: comes after the entries; a stored run is read as it goes and must say "
        "what it is first",
        stored_->name()));
  if (!legacy_) {
    const auto complete = members.find("complete");
    if (complete != members.end() && complete->is_boolean() && !complete->get<bool>())
      throw InputFileError(fmt::format(
          "{} is a partial run (its replay stopped at the input error on line {}): it cannot "
          "serve as a golden; record it from the whole log",
          stored_->name(), members.value("stoppedAt", nlohmann::ordered_json()).dump()));
  }
  // The legacy warning was given above: once is enough.
  storedEnd_ = stateOf(members, stored_->name(), false);
  auto run = nlohmann::ordered_json::parse(summaryJson(replay_, ReportOptions{}));
  run["chip"] = Hardware::chipTypeName(replay_.config().chip);
  runEnd_ = stateOf(run, "this run", false);
  if (!storedEnd_ || !runEnd_) throw ReportedError("");
  ends_ = compareEnds(*storedEnd_, *runEnd_);
  total_ += ends_.size();
  groupEnds();
}

// A row's difference follows from the entry of this run that last wrote the row, when that
// entry differs; everything else at the end follows from the first difference.
void ExpectCheck::groupEnds() {
  for (std::size_t k = 0; k < ends_.size(); ++k) {
    const auto& d = ends_[k];
    Item* owner = items_.empty() ? nullptr : &items_.front();
    if (d.isRow()) {
      const auto& r = d.row();
      if (const auto o = replay_.shadowOrigin(*r.table, r.key, r.row); o && !o->loaded()) {
        const auto it = std::find_if(items_.begin(), items_.end(),
                                     [&](const Item& i) { return i.runLine == o->line; });
        if (it != items_.end()) owner = &*it;
      }
    }
    if (owner)
      owner->follows.push_back(k);
    else
      topEnds_.push_back(k);
  }
}

}  // namespace Utilsim
