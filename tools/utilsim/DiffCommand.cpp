// utilsim diff: the rows two stored runs end with, compared by table, copy and key.
#include <fmt/format.h>

#include <algorithm>
#include <cstdio>

#include "tools/utilsim/Commands.h"
#include "tools/utilsim/Compare.h"
#include "tools/utilsim/Fields.h"
#include "tools/utilsim/Input.h"
#include "tools/utilsim/Report.h"
#include "tools/utilsim/State.h"

namespace Utilsim {
namespace {
using Kind = EndDifference::Kind;

void diffJson(JsonWriter& w, const std::vector<EndDifference>& diffs,
              const std::vector<std::string>& notes) {
  w.beginObject().key("notes").beginArray();
  for (const auto& n : notes) w.value(n);
  w.endArray().key("chip");
  const auto chip =
      std::find_if(diffs.begin(), diffs.end(), [](const auto& d) { return d.kind == Kind::Chip; });
  if (chip != diffs.end())
    w.beginObject().key("a").raw(chip->jsonA).key("b").raw(chip->jsonB).endObject();
  else
    w.null();
  const auto list = [&](const char* name, auto&& wanted) {
    w.key(std::string_view(name)).beginArray();
    for (const auto& d : diffs)
      if (wanted(d.kind)) endDifferenceJson(w, d, "a", "b");
    w.endArray();
  };
  list("added", [](Kind k) { return k == Kind::RowAdded; });
  list("removed", [](Kind k) { return k == Kind::RowRemoved; });
  list("changed", [](Kind k) { return k == Kind::RowChanged; });
  list("mismatches", [](Kind k) {
    return k == Kind::MismatchAdded || k == Kind::MismatchGone || k == Kind::MismatchChanged;
  });
  list("figures", [](Kind k) { return k == Kind::Figure; });
  w.endObject();
}

std::string diffText(const std::string& nameA, const std::string& nameB,
                     const std::vector<EndDifference>& diffs,
                     const std::vector<std::string>& notes) {
  // What makes the comparison less than it seems goes on the first line, where it is read.
  std::string note;
  for (const auto& n : notes) note += fmt::format("{}{}", note.empty() ? " (" : "; ", n);
  if (!note.empty()) note += ")";
  if (diffs.empty()) return "utilsim: no differences" + note + "\n";
  const EndCounts n(diffs);
  std::string more;
  for (const auto& [count, what] : {std::pair{n.hardware, "hardware"},
                                    {n.counters, "counters"},
                                    {n.enqueue, "enqueue counts"},
                                    {n.other, "other"}})
    if (count) more += fmt::format(", {} {}", count, what);
  std::string out =
      fmt::format("utilsim: from {} to {}: {} rows added, {} removed, {} changed{}{}\n", nameA,
                  nameB, n.rowsAdded, n.rowsRemoved, n.rowsChanged, more, note);
  for (const auto& d : diffs) out += endDifferenceText(d, "") + "\n";
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
  if (files[0] == "-" && files[1] == "-") {
    fmt::print(stderr, "utilsim: diff - -: A and B both read standard input\n{}", kDiffHint);
    return 2;
  }
  const auto a = readStateFile(files[0], false);
  const auto b = a ? readStateFile(files[1], false) : std::nullopt;
  if (!a || !b) return 2;
  const auto shown = [&](std::size_t i) {
    return files[i] == "-" ? std::string("<stdin>") : printable(files[i], 200);
  };
  const auto diffs = compareEnds(*a, *b);
  std::vector<std::string> notes;
  for (std::size_t i = 0; i < 2; ++i)
    if (const auto why = (i ? *b : *a).notWhole(); !why.empty())
      notes.push_back(shown(i) + " " + why);
  try {
    Output out(stdout);
    if (json) {
      JsonWriter w(out.buffer(), 2);
      diffJson(w, diffs, notes);
      out.buffer().push('\n');
    } else {
      out.buffer().append(diffText(shown(0), shown(1), diffs, notes));
    }
    out.flush();
  } catch (const std::runtime_error& e) {
    fmt::print(stderr, "utilsim: {}\n", e.what());
    return 3;
  }
  return diffs.empty() ? 0 : 1;
}

}  // namespace Utilsim
