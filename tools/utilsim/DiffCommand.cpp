// utilsim diff: the rows two stored runs end with, compared by table, copy and key.
#include <fmt/format.h>

#include <cstdio>

#include "tools/utilsim/Commands.h"
#include "tools/utilsim/Fields.h"
#include "tools/utilsim/Input.h"
#include "tools/utilsim/Report.h"
#include "tools/utilsim/State.h"

namespace Utilsim {
namespace {
using RowOrder = std::tuple<std::uint16_t, TernAsicUtils::HwShadowKey, unsigned>;
RowOrder order(const StateRow& r) { return {r.table->block, r.key, r.row}; }

// A row in one state and not the other (one side null), or in both with other values.
struct RowDiff {
  const StateRow* a;
  const StateRow* b;
  const StateRow& row() const noexcept { return a ? *a : *b; }
};

std::vector<RowDiff> compare(const State& a, const State& b) {
  std::vector<RowDiff> out;
  auto i = a.rows.begin(), j = b.rows.begin();
  while (i != a.rows.end() || j != b.rows.end()) {
    if (j == b.rows.end() || (i != a.rows.end() && order(*i) < order(*j))) {
      out.push_back({&*i++, nullptr});
    } else if (i == a.rows.end() || order(*j) < order(*i)) {
      out.push_back({nullptr, &*j++});
    } else {
      if (i->words != j->words) out.push_back({&*i, &*j});
      ++i, ++j;
    }
  }
  return out;
}

void rowJsonHead(JsonWriter& w, const StateRow& r) {
  w.beginObject().member("table", r.table->name).member("fapId", r.key.fapId().value());
  w.member("instanceId", r.key.instanceId()).key("key");
  keyJson(w, *r.table, r.row);
}

void diffJson(JsonWriter& w, const State& a, const State& b, const std::vector<RowDiff>& diffs,
              bool chips, const std::vector<std::string>& notes) {
  w.beginObject().key("notes").beginArray();
  for (const auto& n : notes) w.value(n);
  w.endArray().key("chip");
  if (chips)
    w.beginObject().member("a", a.chip).member("b", b.chip).endObject();
  else
    w.null();
  for (const bool added : {true, false}) {
    w.key(added ? "added" : "removed").beginArray();
    for (const auto& d : diffs)
      if (!(d.a && d.b) && bool(d.b) == added) {
        rowJsonHead(w, d.row());
        entryFieldsJson(w.key("entry"), *d.row().table, d.row().words.data());
        w.endObject();
      }
    w.endArray();
  }
  w.key("changed").beginArray();
  for (const auto& d : diffs) {
    if (!(d.a && d.b)) continue;
    rowJsonHead(w, *d.a);
    w.key("fields").beginObject();
    const auto fa = entryFields(*d.a->table, d.a->words.data());
    const auto fb = entryFields(*d.b->table, d.b->words.data());
    for (std::size_t k = 0; k < fa.size(); ++k) {
      if (fa[k].values == fb[k].values) continue;
      w.key(fa[k].name).beginObject();
      fieldValueJson(w.key("a"), fa[k].values.data(), unsigned(fa[k].values.size()), fa[k].list);
      fieldValueJson(w.key("b"), fb[k].values.data(), unsigned(fb[k].values.size()), fb[k].list);
      w.endObject();
    }
    w.endObject().endObject();
  }
  w.endArray().endObject();
}

std::string diffText(const std::string& nameA, const std::string& nameB, const State& a,
                     const State& b, const std::vector<RowDiff>& diffs, bool chips,
                     const std::vector<std::string>& notes) {
  std::size_t added = 0, removed = 0;
  for (const auto& d : diffs) added += !d.a, removed += !d.b;
  // What makes the comparison less than it seems goes on the first line, where it is read.
  std::string note;
  for (const auto& n : notes) note += fmt::format("{}{}", note.empty() ? " (" : "; ", n);
  if (!note.empty()) note += ")";
  if (diffs.empty() && !chips) return "utilsim: no differences" + note + "\n";
  std::string out = fmt::format("utilsim: from {} to {}: {} rows added, {} removed, {} changed{}\n",
                                nameA, nameB, added, removed, diffs.size() - added - removed, note);
  if (chips) out += fmt::format("chip: {} -> {}\n", a.chip, b.chip);
  for (const auto& d : diffs) {
    const auto& r = d.row();
    const auto where =
        fmt::format("{} {} {}", r.table->name, copyText(r.key), keyText(*r.table, r.row));
    if (!(d.a && d.b)) {
      out += fmt::format("{} {}: {}\n", d.a ? "removed" : "added", where,
                         entryText(*r.table, r.words.data()));
      continue;
    }
    out += fmt::format("changed {}:\n", where);
    const auto fa = entryFields(*r.table, d.a->words.data());
    const auto fb = entryFields(*r.table, d.b->words.data());
    for (std::size_t k = 0; k < fa.size(); ++k)
      if (fa[k].values != fb[k].values)
        out += fmt::format("  {}: {} -> {}\n", fa[k].name, fieldValueText(fa[k]),
                           fieldValueText(fb[k]));
  }
  return out;
}
}  // namespace

int diffCommand(const std::vector<std::string>& args, const char* usage) {
  static constexpr const char* kDiffHint = "run 'utilsim diff --help' for the options\n";
  bool json = false, positional = false;
  std::vector<std::string> files;
  for (const auto& arg : args) {
    if (!positional && arg == "--") {
      positional = true;
    } else if (!positional && arg == "--json") {
      json = true;
    } else if (!positional && (arg == "--help" || arg == "-h")) {
      std::fputs(usage, stdout);
      return 0;
    } else if (!positional && arg.size() > 1 && arg[0] == '-') {
      fmt::print(stderr, "utilsim: unknown option '{}' for diff\n{}", arg, kDiffHint);
      return 2;
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) {
    fmt::print(stderr, "utilsim: diff compares two files (A and B), got {}\n{}", files.size(),
               kDiffHint);
    return 2;
  }
  const auto a = readStateFile(files[0], false);
  const auto b = a ? readStateFile(files[1], false) : std::nullopt;
  if (!a || !b) return 2;
  const auto diffs = compare(*a, *b);
  const bool chips = !a->chip.empty() && !b->chip.empty() && a->chip != b->chip;
  std::vector<std::string> notes;
  for (std::size_t i = 0; i < 2; ++i)
    if (const auto why = (i ? *b : *a).notWhole(); !why.empty())
      notes.push_back(printable(files[i], 200) + " " + why);
  try {
    Output out(stdout);
    if (json) {
      JsonWriter w(out.buffer(), 2);
      diffJson(w, *a, *b, diffs, chips, notes);
      out.buffer().push('\n');
    } else {
      out.buffer().append(diffText(printable(files[0], 200), printable(files[1], 200), *a, *b,
                                   diffs, chips, notes));
    }
    out.flush();
  } catch (const std::runtime_error& e) {
    fmt::print(stderr, "utilsim: {}\n", e.what());
    return 3;
  }
  return diffs.empty() && !chips ? 0 : 1;
}

}  // namespace Utilsim
