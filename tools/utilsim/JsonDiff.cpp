#include <fmt/format.h>

#include <cerrno>
#include <cstring>

#include "tools/utilsim/Commands.h"
#include "tools/utilsim/DocumentReader.h"
#include "tools/utilsim/Files.h"
#include "tools/utilsim/Input.h"
#include "tools/utilsim/JsonCheck.h"
#include "tools/utilsim/Report.h"

namespace Utilsim {
namespace {
using Json = nlohmann::json;

std::string shortDump(const Json& v) {
  return printable(v.dump(-1, ' ', false, Json::error_handler_t::replace), 120);
}
}  // namespace

void JsonDiff::add(const std::string& path, std::string text, const std::string& note) {
  if (total_++ < max_)
    lines_.push_back((path.empty() ? "/" : path) + ": " + std::move(text) + note);
}

void JsonDiff::compare(const std::string& path, const Json& expected, const Json& actual,
                       const std::string& note) {
  if (expected.is_object() && actual.is_object()) {
    for (const auto& [key, value] : expected.items()) {
      const auto it = actual.find(key);
      if (it == actual.end())
        add(path + "/" + pointerToken(key), "missing (expected " + shortDump(value) + ")", note);
      else
        compare(path + "/" + pointerToken(key), value, *it, note);
    }
    for (const auto& [key, value] : actual.items())
      if (!expected.contains(key))
        add(path + "/" + pointerToken(key), "unexpected (got " + shortDump(value) + ")", note);
  } else if (expected.is_array() && actual.is_array()) {
    const std::size_t common = std::min(expected.size(), actual.size());
    for (std::size_t i = 0; i < common; ++i)
      compare(path + "/" + std::to_string(i), expected[i], actual[i], note);
    if (expected.size() != actual.size())
      add(path,
          fmt::format("expected {}, got {}", counted(expected.size(), "element", "elements"),
                      actual.size()),
          note);
  } else if (expected != actual) {
    add(path, "expected " + shortDump(expected) + ", got " + shortDump(actual), note);
  }
}

std::vector<std::string> JsonDiff::lines() const {
  auto out = lines_;
  if (total_ > max_)
    out.push_back("... and " + counted(total_ - max_, "more difference", "more differences"));
  return out;
}

namespace {
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
}  // namespace

ExpectCheck::ExpectCheck(const std::string& path, const Replay& replay, const RunHeader& run)
    : stored_(std::make_unique<StoredRun>(path, false)), replay_(replay), entries_(replay) {
  const auto& members = stored_->members();
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
}

ExpectCheck::~ExpectCheck() = default;

void ExpectCheck::entry(const InputEntry& entry, std::span<const UtilResult> results) {
  const auto index = index_++;
  expected_.clear();
  if (!stored_->nextEntry(expected_)) return;  // counted at the end
  actual_.clear();
  JsonWriter w(actual_, JsonWriter::kCompact);
  entries_.write(w, entry, results, false, !legacy_);
  const auto storedLine = takeLine(expected_);
  if (storedLine != 0 && actual_.view() == expected_) return;
  // Different bytes: compare as values, which also tells where they differ.
  auto expected = stored_->stream().parse<nlohmann::json>(
      expected_, fmt::format("/entries/{}", index), stored_->stream().offset());
  auto actual = nlohmann::json::parse(actual_.view());
  std::uint64_t line = storedLine;
  if (line == 0 && expected.is_object() && expected.contains("line") &&
      expected["line"].is_number_unsigned()) {
    line = expected["line"].get<std::uint64_t>();
    expected.erase("line");
  }
  if (expected == actual) return;
  const auto note = line == entry.line
                        ? fmt::format(" (line {})", line)
                        : fmt::format(" (stored line {}, this run's line {})", line, entry.line);
  diff_.compare(fmt::format("/entries/{}", index), expected, actual, note);
}

std::vector<std::string> ExpectCheck::finish() {
  stored_->finish();
  auto members = stored_->members();
  if (legacy_ && members.contains("header"))
    throw InputFileError(fmt::format(
        "{}: /header: comes after the entries; a stored run is read as it goes and must say "
        "what it is first",
        stored_->name()));
  if (!legacy_) {
    const auto complete = members.find("complete");
    if (complete == members.end() || !complete->is_boolean())
      throw InputFileError(
          fmt::format("{}: /complete: missing (a document says whether its "
                      "run is whole)",
                      stored_->name()));
    if (!complete->get<bool>())
      throw InputFileError(fmt::format(
          "{} is a partial run (its replay stopped at the input error on line {}): it cannot "
          "serve as a golden; record it from the whole log",
          stored_->name(), members.value("stoppedAt", nlohmann::ordered_json()).dump()));
  }
  if (!stored_->hasEntries())
    diff_.add("/entries",
              fmt::format("unexpected (got {})", counted(index_, "element", "elements")));
  else if (stored_->entriesRead() != index_)
    diff_.add("/entries",
              fmt::format("expected {}, got {}",
                          counted(stored_->entriesRead(), "element", "elements"), index_));
  // What wrote the document and how it ended are not results; latencies differ run to run.
  for (const char* member : {"header", "complete", "stoppedAt", "timing"}) members.erase(member);
  auto expected = nlohmann::json::parse(members.dump());
  auto actual = nlohmann::json::parse(summaryJson(replay_, ReportOptions{}));
  if (legacy_) actual["chip"] = Hardware::chipTypeName(replay_.config().chip);
  diff_.compare("", expected, actual);
  return diff_.lines();
}

}  // namespace Utilsim
