#include <fmt/format.h>

#include <cerrno>
#include <cstring>

#include "tools/utilsim/Files.h"
#include "tools/utilsim/Input.h"
#include "tools/utilsim/Report.h"

namespace Utilsim {
namespace {
using Json = nlohmann::json;

std::string shortDump(const Json& v) {
  return printable(v.dump(-1, ' ', false, Json::error_handler_t::replace), 120);
}
}  // namespace

std::string pointerToken(const std::string& key) {
  std::string s;
  for (const char ch : key) {
    if (ch == '~')
      s += "~0";
    else if (ch == '/')
      s += "~1";
    else
      s += ch;
  }
  return s;
}

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

// Pulls a stored document apart without holding it: member names one at a time, and each
// value copied out in compact form (white space outside strings dropped), which is how the
// run's side is written too, so that equal values compare as equal bytes. Values are
// checked only as far as needed to find their end; one that differs from the run's is
// parsed in full, which reports any syntax error.
class ExpectCheck::Reader {
 public:
  explicit Reader(const std::string& path) : name_(printable(path, 200)) {
    errno = 0;
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_)
      throw InputFileError(fmt::format("cannot open {}: {}", name_, std::strerror(errno)));
  }
  ~Reader() { std::fclose(file_); }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // The next character that is not white space, without taking it; -1 at the end.
  int peek() {
    while (true) {
      const int c = get();
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
        if (c >= 0) --pos_;
        return c;
      }
    }
  }
  void expect(char want, const char* what) {
    if (peek() != want) fail(fmt::format("expected {}", what));
    ++pos_;
  }
  // After a member or element: true when another follows (',' taken), false at the close.
  bool more(char close) {
    const int c = peek();
    ++pos_;
    if (c == ',') return true;
    if (c == close) return false;
    fail(fmt::format("expected ',' or '{}'", close));
  }
  // A member name (a JSON string).
  std::string name() {
    std::string token;
    if (peek() != '"') fail("expected a member name");
    value(token);
    return parse(token).get<std::string>();
  }
  // Appends the next value, in compact form.
  void value(std::string& out) {
    peek();
    unsigned depth = 0;
    bool inString = false;
    while (true) {
      const int c = get();
      if (c < 0) fail("unexpected end of the document");
      if (inString) {
        out += char(c);
        if (c == '\\') {
          const int e = get();
          if (e < 0) fail("unexpected end of the document");
          out += char(e);
        } else if (c == '"') {
          inString = false;
          if (depth == 0) return;
        }
        continue;
      }
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        if (depth == 0 && !out.empty()) return;
        continue;
      }
      if (depth == 0 && (c == ',' || c == ']' || c == '}')) {
        --pos_;
        if (out.empty()) fail("expected a value");
        return;
      }
      out += char(c);
      if (c == '"') {
        inString = true;
      } else if (c == '{' || c == '[') {
        ++depth;
      } else if (c == '}' || c == ']') {
        if (depth == 0) fail("unbalanced brackets");
        if (--depth == 0) return;
      }
    }
  }
  Json parse(const std::string& text) {
    try {
      return Json::parse(text);
    } catch (const Json::exception& e) {
      fail(e.what());
    }
  }
  [[noreturn]] void fail(const std::string& why) {
    throw InputFileError(fmt::format("{}: not a valid JSON document: {} (near byte {})", name_,
                                     printable(why, 200), offset_ + pos_));
  }

  // Reads members of the top-level object into `rest` until `entries` opens or the object
  // closes (`first`: just after its '{').
  void toEntries(bool first) {
    if (!first && !more('}')) return;
    while (true) {
      if (first && peek() == '}') {
        expect('}', "'}'");
        return;
      }
      first = false;
      const auto member = name();
      expect(':', "':'");
      if (member == "entries" && !sawEntries) {
        expect('[', "'[' (entries is an array)");
        sawEntries = inEntries = true;
        return;
      }
      std::string text;
      value(text);
      rest[member] = parse(text);
      if (!more('}')) return;
    }
  }
  // The next stored entry element into `out`; false (and `entries` closed) after the last.
  bool nextEntry(std::string& out) {
    if (!inEntries) return false;
    if (first_ ? peek() == ']' : !more(']')) {
      if (first_) expect(']', "']'");
      inEntries = first_ = false;
      toEntries(false);
      return false;
    }
    first_ = false;
    value(out);
    ++entries;
    return true;
  }

  bool sawEntries = false, inEntries = false;
  std::uint64_t entries = 0;   // stored entry elements read
  Json rest = Json::object();  // every member but `entries`

 private:
  int get() {
    if (pos_ == len_) {
      offset_ += len_;
      len_ = std::fread(buf_, 1, sizeof buf_, file_);
      pos_ = 0;
      if (len_ == 0) {
        if (std::ferror(file_))
          throw InputFileError(fmt::format("{}: read error: {}", name_, std::strerror(errno)));
        return -1;
      }
    }
    return static_cast<unsigned char>(buf_[pos_++]);
  }

  std::string name_;
  std::FILE* file_;
  char buf_[1 << 16];
  std::size_t pos_ = 0, len_ = 0;
  std::uint64_t offset_ = 0;
  bool first_ = true;
};

namespace {
// Takes a leading "line" member off a compact entry element: its value, or 0 if none.
std::uint64_t takeLine(std::string& element) {
  static constexpr std::string_view kPrefix = "{\"line\":";
  if (element.compare(0, kPrefix.size(), kPrefix) != 0) return 0;
  std::size_t end = kPrefix.size();
  std::uint64_t line = 0;
  while (end < element.size() && element[end] >= '0' && element[end] <= '9')
    line = line * 10 + unsigned(element[end++] - '0');
  if (end == kPrefix.size() || end >= element.size() || element[end] != ',') return 0;
  element.erase(1, end);  // keeps the '{'
  return line;
}
}  // namespace

ExpectCheck::ExpectCheck(const std::string& path, const Replay& replay)
    : reader_(std::make_unique<Reader>(path)), replay_(replay), entries_(replay) {
  reader_->expect('{', "a JSON object");
  reader_->toEntries(true);
}

ExpectCheck::~ExpectCheck() = default;

void ExpectCheck::entry(const InputEntry& entry, std::span<const UtilResult> results) {
  const auto index = index_++;
  auto& r = *reader_;
  expected_.clear();
  if (!r.nextEntry(expected_)) return;  // counted at the end
  actual_.clear();
  JsonWriter w(actual_, JsonWriter::kCompact);
  entries_.write(w, entry, results, false, false);
  const auto storedLine = takeLine(expected_);
  if (storedLine != 0 && actual_.view() == expected_) return;
  // Different bytes: compare as values, which also tells where they differ.
  auto expected = r.parse(expected_);
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
  auto& r = *reader_;
  // Stored entries the run did not reach.
  for (std::string skipped; r.nextEntry(skipped);) skipped.clear();
  if (r.peek() != -1) r.fail("text after the document");
  if (!r.sawEntries)
    diff_.add("/entries",
              fmt::format("unexpected (got {})", counted(index_, "element", "elements")));
  else if (r.entries != index_)
    diff_.add("/entries", fmt::format("expected {}, got {}",
                                      counted(r.entries, "element", "elements"), index_));

  auto& expected = r.rest;
  expected.erase("timing");  // latencies differ from run to run
  auto actual = nlohmann::json::parse(summaryJson(replay_, ReportOptions{}));
  actual["chip"] = Hardware::chipTypeName(replay_.config().chip);
  diff_.compare("", expected, actual);
  return diff_.lines();
}

}  // namespace Utilsim
