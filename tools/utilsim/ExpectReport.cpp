// The report of `--expect`, for people and for scripts: the cause first, what follows from it
// under it, a summary by kind.
#include <fmt/format.h>

#include "tools/utilsim/DocumentReader.h"
#include "tools/utilsim/Expect.h"
#include "tools/utilsim/Input.h"
#include "tools/utilsim/JsonWriter.h"

namespace Utilsim {
namespace {
// The first line of a difference's text.
std::string headline(const std::string& text) { return text.substr(0, text.find('\n')); }
}  // namespace

std::string ExpectCheck::text() const {
  std::string notes;
  if (endOnly_) notes += " (a state: the end of the run is compared, not its entries)";
  if (!otherOptions_.empty())
    notes += fmt::format(" (recorded with other options: {})", fmt::join(otherOptions_, ", "));
  const char* what = endOnly_ ? "the run's end" : "the run";
  if (matches()) return fmt::format("utilsim: {} matches {}{}\n", what, stored_->name(), notes);
  const auto first = !items_.empty() ? items_.front().headline
                                     : headline(endDifferenceText(ends_[topEnds_.front()], ""));
  std::string out = fmt::format("utilsim: {} differs from {}{}: first, {}\n", what, stored_->name(),
                                notes, first);
  std::uint64_t listed = 0;
  const auto room = [&] { return listed < options_.maxDifferences; };
  for (const auto& item : items_) {
    if (!room()) break;
    ++listed;
    out += "  " + item.headline + "\n";
    for (const auto& d : item.details) out += "    " + d + "\n";
    for (std::size_t i = 0; i < item.follows.size() && room(); ++i, ++listed) {
      if (i == 0) out += "    and so, at the end:\n";
      out += endDifferenceText(ends_[item.follows[i]], "      ") + "\n";
    }
  }
  for (std::size_t i = 0; i < topEnds_.size() && room(); ++i, ++listed)
    out += endDifferenceText(ends_[topEnds_[i]], "  ") + "\n";
  if (total_ > listed)
    out += fmt::format("  ... and {} (--max-differences all lists them)\n",
                       counted(total_ - listed, "more difference", "more differences"));
  const EndCounts n(ends_);
  out += fmt::format(
      "utilsim: {}: entries {} inserted, {} removed, {} changed{}; rows {} added, {} removed, "
      "{} changed; {}, {}, {} of the hardware check{}\n",
      counted(total_, "difference", "differences"), inserted_, removed_, changed_,
      unaligned_ ? fmt::format(", {} not aligned", counted(unaligned_, "region", "regions")) : "",
      n.rowsAdded, n.rowsRemoved, n.rowsChanged, counted(n.counters, "counter", "counters"),
      counted(n.enqueue, "enqueue count", "enqueue counts"), n.hardware,
      n.other ? fmt::format(", {} other", n.other) : "");
  return out;
}

void ExpectCheck::json(JsonWriter& w) const {
  const EndCounts n(ends_);
  w.beginObject().member("golden", stored_->name());
  w.member("form", endOnly_ ? "state" : linesForm() ? "lines" : "document");
  w.key("matches").value(matches()).key("otherOptions").beginArray();
  for (const auto& o : otherOptions_) w.value(o);
  w.endArray().key("summary").beginObject();
  w.member("differences", total_).member("entriesInserted", inserted_);
  w.member("entriesRemoved", removed_).member("entriesChanged", changed_);
  w.member("regionsNotAligned", unaligned_).member("rowsAdded", n.rowsAdded);
  w.member("rowsRemoved", n.rowsRemoved).member("rowsChanged", n.rowsChanged);
  w.member("counters", n.counters).member("enqueue", n.enqueue);
  w.member("hardware", n.hardware).member("other", n.other).endObject();
  w.key("differences").beginArray();
  std::uint64_t listed = 0;
  const auto room = [&] { return listed < options_.maxDifferences; };
  for (const auto& item : items_) {
    if (!room()) break;
    ++listed;
    // The item's own members, then what follows from it; an item to a line.
    auto one = item.json;
    auto& follows = one["follows"] = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < item.follows.size() && room(); ++i, ++listed) {
      TextBuffer text;
      JsonWriter end(text, JsonWriter::kCompact);
      endDifferenceJson(end, ends_[item.follows[i]], "stored", "run");
      follows.push_back(nlohmann::ordered_json::parse(text.view()));
    }
    w.raw(one.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
  }
  for (std::size_t i = 0; i < topEnds_.size() && room(); ++i, ++listed)
    endDifferenceJson(w, ends_[topEnds_[i]], "stored", "run");
  w.endArray().member("more", total_ - listed).endObject();
}

}  // namespace Utilsim
