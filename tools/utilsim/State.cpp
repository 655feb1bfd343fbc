#include "tools/utilsim/State.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "tools/utilsim/Fields.h"
#include "tools/utilsim/Input.h"
#include "tools/utilsim/Report.h"

namespace Utilsim {
namespace {
// Ordered, so that problems are reported in the file's order.
using Json = nlohmann::ordered_json;
using TernAsicUtils::HwTableInfo;
constexpr std::size_t kMaxErrors = 100;

std::string got(const Json& v) {
  return printable(v.dump(-1, ' ', false, Json::error_handler_t::replace), 60);
}

// What the rows of one table may hold: its key fields with their largest values, and its
// entry fields with the largest value of each of their values.
struct TableShape {
  explicit TableShape(const HwTableInfo& info) : rows(info) {
    for (unsigned r = 0; r < info.rows; ++r) {
      std::size_t i = 0;
      info.keyFields(r, [&](const char* name, std::uint32_t v) {
        if (i == keys.size()) keys.push_back({name, 0});
        keys[i].second = std::max(keys[i].second, v);
        ++i;
      });
    }
    info.entryFieldLimits([&](const char* name, const std::uint32_t* max, unsigned n, bool list) {
      offsets.push_back(width);
      fields.push_back({name, std::vector<std::uint32_t>(max, max + n), list});
      width += n;
    });
  }
  std::vector<std::pair<std::string, std::uint32_t>> keys;
  std::vector<EntryField> fields;  // values: the largest of each
  std::vector<unsigned> offsets;   // of each field in the values of a row
  unsigned width = 0;              // values of a row in all
  RowFinder rows;
};

class StateReader {
 public:
  explicit StateReader(const std::string& path) : name_(printable(path, 200)) {}

  std::optional<State> read(const std::string& path) {
    std::string text;
    if (!slurp(path, text)) return std::nullopt;
    Json doc;
    try {
      doc = Json::parse(text);
    } catch (const Json::exception& e) {
      std::string why = e.what();
      if (const auto close = why.find("] ");
          why.rfind("[json.exception", 0) == 0 && close != why.npos)
        why = why.substr(close + 2);
      error("", "not valid JSON: " + printable(why, 200));
    }
    State state;
    if (errors_ == 0) document(doc, state);
    if (errors_ > kMaxErrors)
      fmt::print(stderr, "{}: ... and {} more errors\n", name_, errors_ - kMaxErrors);
    if (errors_ != 0) {
      fmt::print(stderr, "utilsim: {} is not a valid state ({} error{})\n", name_, errors_,
                 errors_ == 1 ? "" : "s");
      return std::nullopt;
    }
    std::sort(state.rows.begin(), state.rows.end(), [](const StateRow& a, const StateRow& b) {
      return std::tuple(a.table->block, a.key, a.row) < std::tuple(b.table->block, b.key, b.row);
    });
    return state;
  }

 private:
  bool slurp(const std::string& path, std::string& text) {
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f) {
      char buf[1 << 16];
      std::size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
      const bool failed = std::ferror(f);
      std::fclose(f);
      if (!failed) return true;
    }
    fmt::print(stderr, "utilsim: cannot read {}: {}\n", name_, std::strerror(errno));
    return false;
  }

  void error(const std::string& place, const std::string& message) {
    if (errors_++ >= kMaxErrors) return;
    if (place.empty())
      fmt::print(stderr, "{}: {}\n", name_, message);
    else
      fmt::print(stderr, "{}: {}: {}\n", name_, place, message);
  }

  std::optional<std::uint32_t> number(const Json& v, const std::string& place, std::uint32_t max) {
    if (v.is_number_unsigned() && v.get<std::uint64_t>() <= max)
      return std::uint32_t(v.get<std::uint64_t>());
    if (v.is_number_integer())
      error(place, fmt::format("{} is out of range (0 to {})", got(v), max));
    else
      error(place, fmt::format("expected an integer from 0 to {}, got {}", max, got(v)));
    return std::nullopt;
  }

  void document(const Json& doc, State& state) {
    if (!doc.is_object()) {
      error("", "expected a JSON object with a member \"tables\" (a state or a utilsim document)");
      return;
    }
    if (const auto chip = doc.find("chip"); chip != doc.end()) {
      if (chip->is_string())
        state.chip = chip->get<std::string>();
      else
        error("/chip", "expected a chip name, got " + got(*chip));
    }
    const auto tables = doc.find("tables");
    if (tables == doc.end()) return error("/tables", "missing (a state holds the tables of a run)");
    if (!tables->is_object())
      return error("/tables", "expected an object of tables by name, got " + got(*tables));
    for (const auto& [name, rows] : tables->items()) {
      const auto place = "/tables/" + pointerToken(name);
      const auto& all = HwTableInfo::all();
      const auto info =
          std::find_if(all.begin(), all.end(), [&](auto* i) { return name == i->name; });
      if (info == all.end())
        error(place, "unknown table");
      else if (!rows.is_array())
        error(place, "expected an array of rows, got " + got(rows));
      else
        table(**info, rows, place, state);
    }
  }

  // The rows of one table; a row with any error is left out (the state is refused then).
  void table(const HwTableInfo& info, const Json& rows, const std::string& place, State& state) {
    const TableShape shape(info);
    std::map<std::pair<std::uint16_t, unsigned>, std::size_t> seen;  // copy and row -> index
    std::vector<std::uint32_t> keyValues(shape.keys.size()), values(shape.width);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const auto at = fmt::format("{}/{}", place, i);
      const Json& r = rows[i];
      if (!r.is_object()) {
        error(at, "expected a row {\"fapId\", \"instanceId\", \"key\", \"entry\"}, got " + got(r));
        continue;
      }
      const std::size_t before = errors_;
      std::uint32_t fap = 0, instance = 0;
      std::fill(keyValues.begin(), keyValues.end(), 0);
      std::fill(values.begin(), values.end(), 0);
      for (const auto& [member, v] : r.items()) {
        const auto mp = at + "/" + pointerToken(member);
        if (member == "fapId")
          fap = number(v, mp, SchanAccel::FapId::null).value_or(0);
        else if (member == "instanceId")
          instance = number(v, mp, 255).value_or(0);
        else if (member == "key")
          key(v, mp, shape, keyValues);
        else if (member == "entry")
          entry(v, mp, shape, values);
        else
          error(mp, "unknown field (a row has fapId, instanceId, key and entry)");
      }
      if (errors_ != before) continue;
      const auto row = shape.rows.row(keyValues);
      if (!row) {
        error(at + "/key", "no row of the table has this key");
        continue;
      }
      const TernAsicUtils::HwShadowKey copy{SchanAccel::FapId(fap),
                                            TernAsicUtils::InstanceId(instance)};
      if (const auto [it, fresh] = seen.emplace(std::pair(copy.value(), *row), i); !fresh) {
        error(at, fmt::format("the same row as {}/{}", place, it->second));
        continue;
      }
      StateRow out{&info, copy, *row, {}};
      try {
        info.encodeFields(values.data(), out.words.data());
      } catch (const std::exception& e) {  // the field types' own checks
        error(at + "/entry", e.what());
        continue;
      }
      state.rows.push_back(out);
    }
  }

  void key(const Json& v, const std::string& place, const TableShape& shape,
           std::vector<std::uint32_t>& out) {
    if (!v.is_object()) return error(place, "expected an object of key fields, got " + got(v));
    for (const auto& [name, value] : v.items()) {
      const auto it = std::find_if(shape.keys.begin(), shape.keys.end(),
                                   [&](const auto& k) { return k.first == name; });
      const auto mp = place + "/" + pointerToken(name);
      if (it == shape.keys.end())
        error(mp, "unknown key field");
      else if (const auto n = number(value, mp, it->second))
        out[std::size_t(it - shape.keys.begin())] = *n;
    }
  }

  void entry(const Json& v, const std::string& place, const TableShape& shape,
             std::vector<std::uint32_t>& out) {
    if (!v.is_object()) return error(place, "expected an object of entry fields, got " + got(v));
    for (const auto& [name, value] : v.items()) {
      const auto mp = place + "/" + pointerToken(name);
      const auto* f = findField(shape.fields, name);
      if (!f) {
        error(mp, "unknown field");
        continue;
      }
      std::uint32_t* to = out.data() + shape.offsets[std::size_t(f - shape.fields.data())];
      if (!f->list) {
        if (const auto n = number(value, mp, f->values[0])) *to = *n;
      } else if (!value.is_array() || value.size() != f->values.size()) {
        error(mp,
              fmt::format("expected an array of {} numbers, got {}", f->values.size(), got(value)));
      } else {
        for (std::size_t j = 0; j < f->values.size(); ++j)
          if (const auto n = number(value[j], fmt::format("{}/{}", mp, j), f->values[j]))
            to[j] = *n;
      }
    }
  }

  std::string name_;
  std::size_t errors_ = 0;
};

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
              bool chips) {
  w.beginObject().key("chip");
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
                     const State& b, const std::vector<RowDiff>& diffs, bool chips) {
  std::size_t added = 0, removed = 0;
  for (const auto& d : diffs) added += !d.a, removed += !d.b;
  std::string out;
  if (diffs.empty() && !chips) return "utilsim: no differences\n";
  out += fmt::format("utilsim: from {} to {}: {} rows added, {} removed, {} changed\n", nameA,
                     nameB, added, removed, diffs.size() - added - removed);
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

std::optional<State> readStateFile(const std::string& path) { return StateReader(path).read(path); }

void loadState(Replay& replay, const State& state, const std::string& path) {
  const std::string chip = Hardware::chipTypeName(replay.config().chip);
  // Both chips lay their tables out alike, so another chip's state still loads.
  if (!state.chip.empty() && state.chip != chip)
    fmt::print(stderr, "utilsim: warning: {} is a state of {}; it is loaded into {}\n",
               printable(path, 200), printable(state.chip, 40), chip);
  replay.load(state);
}

void saveState(const std::string& path, const Replay& replay) {
  const auto failed = [&path] {
    return std::runtime_error(
        fmt::format("cannot write the state {}: {}", printable(path, 200), std::strerror(errno)));
  };
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw failed();
  try {
    Output out(f);
    stateJson(out, replay);
  } catch (const std::runtime_error&) {
    const int e = errno;
    std::fclose(f);
    errno = e;
    throw failed();
  }
  if (std::fclose(f) != 0) throw failed();
}

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
  const auto a = readStateFile(files[0]);
  const auto b = a ? readStateFile(files[1]) : std::nullopt;
  if (!a || !b) return 2;
  const auto diffs = compare(*a, *b);
  const bool chips = !a->chip.empty() && !b->chip.empty() && a->chip != b->chip;
  try {
    Output out(stdout);
    if (json) {
      JsonWriter w(out.buffer(), 2);
      diffJson(w, *a, *b, diffs, chips);
      out.buffer().push('\n');
    } else {
      out.buffer().append(
          diffText(printable(files[0], 200), printable(files[1], 200), *a, *b, diffs, chips));
    }
    out.flush();
  } catch (const std::runtime_error& e) {
    fmt::print(stderr, "utilsim: {}\n", e.what());
    return 3;
  }
  return diffs.empty() && !chips ? 0 : 1;
}

}  // namespace Utilsim
