#include "tools/utilsim/Compare.h"

#include <fmt/format.h>

#include <tuple>

#include "tools/utilsim/Fields.h"
#include "tools/utilsim/Input.h"
#include "tools/utilsim/JsonWriter.h"
#include "tools/utilsim/Report.h"

namespace Utilsim {
namespace {
using Kind = EndDifference::Kind;

std::tuple<std::uint16_t, TernAsicUtils::HwShadowKey, unsigned> order(const StateRow& r) {
  return {r.table->block, r.key, r.row};
}

// Rows present on one side only, or on both with other words; both lists in state order.
void compareRows(const std::vector<StateRow>& a, const std::vector<StateRow>& b, Kind onlyA,
                 Kind onlyB, Kind changed, std::vector<EndDifference>& out) {
  auto i = a.begin(), j = b.begin();
  while (i != a.end() || j != b.end()) {
    if (j == b.end() || (i != a.end() && order(*i) < order(*j))) {
      out.push_back(EndDifference{.kind = onlyA, .a = &*i++});
    } else if (i == a.end() || order(*j) < order(*i)) {
      out.push_back(EndDifference{.kind = onlyB, .b = &*j++});
    } else {
      if (i->words != j->words) out.push_back(EndDifference{.kind = changed, .a = &*i, .b = &*j});
      ++i, ++j;
    }
  }
}

std::string where(const StateRow& r) {
  return fmt::format("{} {} {}", r.table->name, copyText(r.key), keyText(*r.table, r.row));
}

// "  field: A -> B" for each field that differs.
std::string changedFields(const StateRow& a, const StateRow& b, const std::string& indent,
                          const char* prefix) {
  const auto lead = fmt::format("\n{}  {}", indent, prefix);
  return fieldChanges(entryFields(*a.table, a.words.data()), entryFields(*b.table, b.words.data()),
                      lead, lead);
}

void rowHead(JsonWriter& w, const char* kind, const StateRow& r) {
  w.beginObject().member("kind", kind).member("table", r.table->name);
  w.member("fapId", r.key.fapId().value()).member("instanceId", r.key.instanceId()).key("key");
  keyJson(w, *r.table, r.row);
}
}  // namespace

std::vector<EndDifference> compareEnds(const State& a, const State& b) {
  std::vector<EndDifference> out;
  if (!a.chip.empty() && !b.chip.empty() && a.chip != b.chip) {
    EndDifference d{.kind = Kind::Chip};
    d.name = "chip";
    d.valueA = a.chip, d.valueB = b.chip;
    d.jsonA = fmt::format("\"{}\"", printable(a.chip, 40));
    d.jsonB = fmt::format("\"{}\"", printable(b.chip, 40));
    out.push_back(std::move(d));
  }
  compareRows(a.rows, b.rows, Kind::RowRemoved, Kind::RowAdded, Kind::RowChanged, out);
  compareRows(a.chipRows, b.chipRows, Kind::MismatchGone, Kind::MismatchAdded,
              Kind::MismatchChanged, out);
  if (a.figures.empty() || b.figures.empty()) return out;
  // What a figure reads as: the hardware check's verdict as a word, counts as numbers.
  const auto shown = [](const State::Figure* f, bool json) -> std::string {
    if (!f) return json ? "null" : "none";
    if (f->name == "hardware consistent") return f->value ? "true" : "false";
    return std::to_string(f->value);
  };
  auto i = a.figures.begin(), j = b.figures.begin();
  while (i != a.figures.end() || j != b.figures.end()) {
    const State::Figure *fa = nullptr, *fb = nullptr;
    if (j == b.figures.end() || (i != a.figures.end() && i->name < j->name))
      fa = &*i++;
    else if (i == a.figures.end() || j->name < i->name)
      fb = &*j++;
    else
      fa = &*i++, fb = &*j++;
    if (fa && fb && fa->value == fb->value) continue;
    EndDifference d{.kind = Kind::Figure};
    d.name = (fa ? fa : fb)->name;
    d.valueA = shown(fa, false), d.valueB = shown(fb, false);
    d.jsonA = shown(fa, true), d.jsonB = shown(fb, true);
    out.push_back(std::move(d));
  }
  return out;
}

EndCounts::EndCounts(const std::vector<EndDifference>& differences) {
  for (const auto& d : differences) {
    switch (d.kind) {
      case Kind::RowAdded:
        ++rowsAdded;
        break;
      case Kind::RowRemoved:
        ++rowsRemoved;
        break;
      case Kind::RowChanged:
        ++rowsChanged;
        break;
      case Kind::MismatchAdded:
      case Kind::MismatchGone:
      case Kind::MismatchChanged:
        ++hardware;
        break;
      case Kind::Figure:
        if (d.name.rfind("counter ", 0) == 0)
          ++counters;
        else if (d.name.rfind("enqueue ", 0) == 0)
          ++enqueue;
        else if (d.isHardware())
          ++hardware;
        else
          ++other;
        break;
      case Kind::Chip:
        ++other;
        break;
    }
  }
}

std::string endDifferenceText(const EndDifference& d, const std::string& indent) {
  switch (d.kind) {
    case Kind::RowAdded:
    case Kind::RowRemoved:
      return fmt::format("{}{} {}: {}", indent, d.kind == Kind::RowAdded ? "added" : "removed",
                         where(d.row()), entryText(*d.row().table, d.row().words.data()));
    case Kind::RowChanged:
      return fmt::format("{}changed {}:{}", indent, where(*d.a),
                         changedFields(*d.a, *d.b, indent, ""));
    case Kind::MismatchAdded:
    case Kind::MismatchGone:
      return fmt::format("{}hardware mismatch {} {}: the chip {} {}", indent,
                         d.kind == Kind::MismatchAdded ? "added" : "gone", where(d.row()),
                         d.kind == Kind::MismatchAdded ? "holds" : "held",
                         entryText(*d.row().table, d.row().words.data()));
    case Kind::MismatchChanged:
      return fmt::format("{}hardware mismatch changed {}:{}", indent, where(*d.a),
                         changedFields(*d.a, *d.b, indent, "chip "));
    case Kind::Figure:
    case Kind::Chip:
      break;
  }
  return fmt::format("{}{}: {} -> {}", indent, d.name, d.valueA, d.valueB);
}

void endDifferenceJson(JsonWriter& w, const EndDifference& d, const char* nameA,
                       const char* nameB) {
  static constexpr const char* kNames[] = {
      "chip",          "rowAdded",     "rowRemoved",      "rowChanged",
      "mismatchAdded", "mismatchGone", "mismatchChanged", "figure"};
  const char* kind = kNames[std::size_t(d.kind)];
  if (d.kind == Kind::Figure || d.kind == Kind::Chip) {
    w.beginObject().member("kind", kind).member("name", d.name);
    w.key(std::string_view(nameA)).raw(d.jsonA).key(std::string_view(nameB)).raw(d.jsonB);
    w.endObject();
    return;
  }
  rowHead(w, kind, d.row());
  const bool mismatch = !d.isRow();
  if (d.a && d.b) {
    w.key(mismatch ? "hardware" : "fields").beginObject();
    const auto fa = entryFields(*d.a->table, d.a->words.data());
    const auto fb = entryFields(*d.b->table, d.b->words.data());
    for (std::size_t k = 0; k < fa.size(); ++k) {
      if (fa[k].values == fb[k].values) continue;
      w.key(fa[k].name).beginObject();
      fieldValueJson(w.key(std::string_view(nameA)), fa[k].values.data(),
                     unsigned(fa[k].values.size()), fa[k].list);
      fieldValueJson(w.key(std::string_view(nameB)), fb[k].values.data(),
                     unsigned(fb[k].values.size()), fb[k].list);
      w.endObject();
    }
    w.endObject();
  } else {
    entryFieldsJson(w.key(mismatch ? "hardware" : "entry"), *d.row().table, d.row().words.data());
  }
  w.endObject();
}

}  // namespace Utilsim
