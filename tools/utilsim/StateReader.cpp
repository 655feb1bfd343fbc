// Reading a state: the members of a stored run but its entries, checked whole, every problem
// named by its place.
#include "tools/utilsim/State.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "tools/utilsim/DocumentReader.h"
#include "tools/utilsim/Fields.h"
#include "tools/utilsim/Files.h"
#include "tools/utilsim/Input.h"
#include "tools/utilsim/JsonCheck.h"
#include "tools/utilsim/Report.h"

namespace Utilsim {
namespace {
// Ordered, so that problems are reported in the file's order.
using Json = nlohmann::ordered_json;
using TernAsicUtils::HwTableInfo;
using Words = std::array<std::uint32_t, SchanAccel::SchanCmd::kMaxWords>;
constexpr std::size_t kMaxErrors = 100;

// The members a stored run may have besides `header` and `entries`.
constexpr const char* kRunMembers[] = {"complete", "stoppedAt", "tables", "counters",
                                       "enqueue",  "hardware",  "errors", "timing"};

const HwTableInfo* tableNamed(const std::string& name) { return findHwTable(name); }

std::string baseName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == path.npos ? path : path.substr(slash + 1);
}

std::tuple<std::uint16_t, TernAsicUtils::HwShadowKey, unsigned> order(const StateRow& r) {
  return {r.table->block, r.key, r.row};
}

class StateReader {
 public:
  explicit StateReader(const std::string& path, bool warnLegacy = true)
      : name_(path == "-" ? "<stdin>" : printable(path, 200)), warnLegacy_(warnLegacy) {}

  std::optional<State> read(const std::string& path, bool hash) {
    State state;
    state.file = baseName(path);
    try {
      StoredRun run(path, hash);
      run.finish();
      if (hash) state.sha256 = run.sha256();
      document(run.members(), state);
    } catch (const JsonSyntaxError& e) {
      ++errors_;
      fmt::print(stderr, "{}\n", e.what());
    } catch (const InputFileError& e) {
      fmt::print(stderr, "utilsim: {}\n", e.what());
      return std::nullopt;
    }
    return done(std::move(state));
  }

  std::optional<State> read(const Json& members) {
    State state;
    state.file = name_;
    document(members, state);
    return done(std::move(state));
  }

 private:
  std::optional<State> done(State state) {
    if (errors_ > kMaxErrors)
      fmt::print(stderr, "{}: ... and {} more errors\n", name_, errors_ - kMaxErrors);
    if (errors_ != 0) {
      fmt::print(stderr, "utilsim: {} is not a valid state ({} error{})\n", name_, errors_,
                 errors_ == 1 ? "" : "s");
      return std::nullopt;
    }
    std::sort(state.figures.begin(), state.figures.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    return state;
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
    error(place, integerRangeMessage(v.is_number_integer(), describeJson(v), max));
    return std::nullopt;
  }

  void document(const Json& doc, State& state) {
    if (const auto h = doc.find("header"); h != doc.end()) {
      std::string problem;
      state.header = readHeader(*h, problem);
      if (!state.header) return error("", problem);
      state.chip = state.header->chip;
      for (const auto& [member, value] : doc.items())
        if (member != "header" && std::none_of(std::begin(kRunMembers), std::end(kRunMembers),
                                               [&](const char* m) { return member == m; }))
          error("/" + pointerToken(member), "unknown member");
      completeness(doc, state);
    } else {
      if (warnLegacy_)
        fmt::print(stderr,
                   "utilsim: warning: {} has no header (written by an older utilsim): whether it "
                   "holds the whole end of a run is not known\n",
                   name_);
      if (const auto chip = doc.find("chip"); chip != doc.end()) {
        if (chip->is_string())
          state.chip = chip->get<std::string>();
        else
          error("/chip", "expected a chip name, got " + describeJson(*chip));
      }
    }
    const auto tables = doc.find("tables");
    if (tables == doc.end()) return error("/tables", "missing (a state holds the tables of a run)");
    if (!tables->is_object())
      return error("/tables", "expected an object of tables by name, got " + describeJson(*tables));
    for (const auto& [name, rows] : tables->items()) {
      const auto place = "/tables/" + pointerToken(name);
      const auto* info = tableNamed(name);
      if (!info)
        error(place, "unknown table");
      else if (!rows.is_array())
        error(place, "expected an array of rows, got " + describeJson(rows));
      else
        table(*info, rows, place, state);
    }
    std::sort(state.rows.begin(), state.rows.end(),
              [](const StateRow& a, const StateRow& b) { return order(a) < order(b); });
    if (const auto hw = doc.find("hardware"); hw != doc.end())
      hardware(*hw, state);
    else if (state.header)
      error("/hardware", "missing (a state holds the hardware check of a run)");
    figures(doc, state);
  }

  std::optional<std::uint64_t> count(const Json& v, const std::string& place) {
    if (v.is_number_unsigned()) return v.get<std::uint64_t>();
    error(place, "expected a count (an integer from 0), got " + describeJson(v));
    return std::nullopt;
  }

  // What the run counted. Required of a file with a header: a state records them.
  void figures(const Json& doc, State& state) {
    const auto add = [&](std::string name, const std::optional<std::uint64_t>& v) {
      if (v) state.figures.push_back({std::move(name), *v});
    };
    const auto member = [&](const char* name, auto&& read) {
      const auto it = doc.find(name);
      if (it != doc.end())
        read(*it, fmt::format("/{}", name));
      else if (state.header)
        error(fmt::format("/{}", name), "missing");
    };
    member("counters", [&](const Json& counters, const std::string& place) {
      if (!counters.is_object()) return error(place, "expected an object of Utils");
      for (const auto& [util, counts] : counters.items()) {
        const auto at = place + "/" + pointerToken(util);
        if (!counts.is_object()) {
          error(at, "expected an object of counters");
          continue;
        }
        for (const auto& [name, v] : counts.items()) {
          if (name != "add" && name != "delete" && name != "updateOnDel" &&
              name != "fapmaskMismatch")
            error(at + "/" + pointerToken(name), "unknown counter");
          else
            add(fmt::format("counter {} {}", util, name), count(v, at + "/" + name));
        }
      }
    });
    member("enqueue", [&](const Json& enqueue, const std::string& place) {
      if (!enqueue.is_object()) return error(place, "expected an object of software tables");
      for (const auto& [id, copies] : enqueue.items()) {
        const auto at = place + "/" + pointerToken(id);
        if (!copies.is_array()) {
          error(at, "expected an array of shadow copies");
          continue;
        }
        for (std::size_t i = 0; i < copies.size(); ++i) {
          const auto& c = copies[i];
          const auto ci = fmt::format("{}/{}", at, i);
          if (!c.is_object() || c.size() != 3 || !c.contains("fapId") ||
              !c.contains("instanceId") || !c.contains("count")) {
            error(ci, "expected {\"fapId\", \"instanceId\", \"count\"}");
            continue;
          }
          const auto fap = number(c["fapId"], ci + "/fapId", 255);
          const auto instance = number(c["instanceId"], ci + "/instanceId", 255);
          if (fap && instance)
            add(fmt::format("enqueue {} fap {} instance {}", printable(id, 40), *fap, *instance),
                count(c["count"], ci + "/count"));
        }
      }
    });
    member("hardware", [&](const Json& hw, const std::string& place) {
      if (!hw.is_object()) return;  // said by hardware()
      for (const auto& [name, v] : hw.items()) {
        const auto at = place + "/" + pointerToken(name);
        if (name == "consistent") {
          if (v.is_boolean())
            add("hardware consistent", std::uint64_t(v.get<bool>()));
          else
            error(at, "expected true or false");
        } else if (name == "commands" || name == "redundantWrites") {
          add(fmt::format("hardware {}", name), count(v, at));
        } else if (name != "mismatches") {
          error(at, "unknown member");
        }
      }
    });
    member("errors",
           [&](const Json& v, const std::string& place) { add("errors", count(v, place)); });
  }

  void completeness(const Json& doc, State& state) {
    const auto complete = doc.find("complete");
    if (complete == doc.end() || !complete->is_boolean())
      return error("/complete", complete == doc.end() ? "missing" : "expected true or false");
    state.complete = complete->get<bool>();
    const auto stopped = doc.find("stoppedAt");
    if (state.complete && stopped != doc.end())
      error("/stoppedAt", "only a partial run (complete false) stopped");
    else if (!state.complete && (stopped == doc.end() || !stopped->is_number_unsigned()))
      error("/stoppedAt", "expected the line a partial run stopped at");
    else if (!state.complete)
      state.stoppedAt = stopped->get<std::uint64_t>();
  }

  // The copy and row of a row object ({"fapId", "instanceId", "key", ...}), its other
  // members checked against `others`.
  std::optional<std::pair<TernAsicUtils::HwShadowKey, unsigned>> rowOf(
      const Json& r, const std::string& at, const TableShape& shape,
      std::initializer_list<const char*> others) {
    if (!r.is_object()) {
      error(at, "expected a row {\"fapId\", \"instanceId\", \"key\", ...}, got " + describeJson(r));
      return std::nullopt;
    }
    const std::size_t before = errors_;
    std::uint32_t fap = 0, instance = 0;
    std::vector<std::uint32_t> keyValues(shape.keys.size());
    for (const auto& [member, v] : r.items()) {
      const auto mp = at + "/" + pointerToken(member);
      if (member == "fapId")
        fap = number(v, mp, SchanAccel::FapId::null).value_or(0);
      else if (member == "instanceId")
        instance = number(v, mp, 255).value_or(0);
      else if (member == "key")
        key(v, mp, shape, keyValues);
      else if (std::none_of(others.begin(), others.end(),
                            [&](const char* o) { return member == o; }))
        error(mp, "unknown field");
    }
    if (errors_ != before) return std::nullopt;
    const auto row = shape.rows.row(keyValues);
    if (!row) {
      error(at + "/key", "no row of the table has this key");
      return std::nullopt;
    }
    return std::pair{
        TernAsicUtils::HwShadowKey(SchanAccel::FapId(fap), TernAsicUtils::InstanceId(instance)),
        *row};
  }

  // The rows of one table; a row with any error is left out (the state is refused then).
  void table(const HwTableInfo& info, const Json& rows, const std::string& place, State& state) {
    const TableShape shape(info);
    std::map<std::pair<std::uint16_t, unsigned>, std::size_t> seen;  // copy and row -> index
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const auto at = fmt::format("{}/{}", place, i);
      const auto where = rowOf(rows[i], at, shape, {"entry"});
      if (!where) continue;
      if (const auto [it, fresh] = seen.emplace(std::pair(where->first.value(), where->second), i);
          !fresh) {
        error(at, fmt::format("the same row as {}/{}", place, it->second));
        continue;
      }
      Words words{};
      const auto given = rows[i].find("entry");
      if (given == rows[i].end() || entry(*given, at + "/entry", shape, words))
        state.rows.push_back({&info, where->first, where->second, words});
    }
  }

  // The chip model's side of every mismatch; its shadow side must be the row of `tables`.
  void hardware(const Json& hw, State& state) {
    const auto mismatches = hw.is_object() ? hw.find("mismatches") : hw.end();
    if (mismatches == hw.end() || !mismatches->is_array())
      return error("/hardware/mismatches", "expected an array of mismatching rows");
    for (std::size_t i = 0; i < mismatches->size(); ++i) {
      const auto& m = (*mismatches)[i];
      const auto at = fmt::format("/hardware/mismatches/{}", i);
      const auto name = m.is_object() ? m.find("table") : m.end();
      const auto* info = name != m.end() && name->is_string() ? tableNamed(*name) : nullptr;
      if (!info) {
        error(at + "/table", "expected the name of a table");
        continue;
      }
      const TableShape shape(*info);
      const auto where = rowOf(
          m, at, shape, {"table", "shadow", "hardware", "shadowWrittenBy", "hardwareWrittenBy"});
      if (!where) continue;
      Words shadow{}, chip{};
      const auto s = m.find("shadow"), h = m.find("hardware");
      if (s == m.end() || h == m.end()) {
        error(at, "expected both sides of the row, \"shadow\" and \"hardware\"");
        continue;
      }
      if (!entry(*s, at + "/shadow", shape, shadow) || !entry(*h, at + "/hardware", shape, chip))
        continue;
      const StateRow row{info, where->first, where->second, chip};
      const auto held = std::lower_bound(
          state.rows.begin(), state.rows.end(), row,
          [](const StateRow& a, const StateRow& b) { return order(a) < order(b); });
      const bool present = held != state.rows.end() && order(*held) == order(row);
      if ((present ? held->words : Words{}) != shadow)
        error(at + "/shadow", "is not the row the tables hold");
      else if (shadow == chip)
        error(at, "shadow and hardware are equal: not a mismatch");
      else
        state.chipRows.push_back(row);
    }
  }

  void key(const Json& v, const std::string& place, const TableShape& shape,
           std::vector<std::uint32_t>& out) {
    if (!v.is_object())
      return error(place, "expected an object of key fields, got " + describeJson(v));
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

  // The words of an entry given by field names (absent fields are 0); false after an error.
  bool entry(const Json& v, const std::string& place, const TableShape& shape, Words& words) {
    if (!v.is_object()) {
      error(place, "expected an object of entry fields, got " + describeJson(v));
      return false;
    }
    const std::size_t before = errors_;
    std::vector<std::uint32_t> values(shape.width);
    for (const auto& [name, value] : v.items()) {
      const auto mp = place + "/" + pointerToken(name);
      const auto* f = findField(shape.fields, name);
      if (!f) {
        error(mp, "unknown field");
        continue;
      }
      std::uint32_t* to = values.data() + shape.offsets[std::size_t(f - shape.fields.data())];
      if (!f->list) {
        if (const auto n = number(value, mp, f->values[0])) *to = *n;
      } else if (!value.is_array() || value.size() != f->values.size()) {
        error(mp, fmt::format("expected an array of {} numbers, got {}", f->values.size(),
                              describeJson(value)));
      } else {
        for (std::size_t j = 0; j < f->values.size(); ++j)
          if (const auto n = number(value[j], fmt::format("{}/{}", mp, j), f->values[j]))
            to[j] = *n;
      }
    }
    if (errors_ != before) return false;
    try {
      shape.info.encodeFields(values.data(), words.data());
    } catch (const std::exception& e) {  // the field types' own checks
      error(place, e.what());
      return false;
    }
    return true;
  }

  std::string name_;
  bool warnLegacy_;
  std::size_t errors_ = 0;
};
}  // namespace

std::optional<State> readStateFile(const std::string& path, bool hash) {
  return StateReader(path).read(path, hash);
}

std::optional<State> stateOf(const nlohmann::ordered_json& members, const std::string& name,
                             bool warnLegacy) {
  return StateReader(name, warnLegacy).read(members);
}

}  // namespace Utilsim
