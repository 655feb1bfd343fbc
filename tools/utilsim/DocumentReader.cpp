#include "tools/utilsim/DocumentReader.h"

#include <fmt/format.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "tools/utilsim/Files.h"
#include "tools/utilsim/Input.h"
#include "tools/utilsim/JsonCheck.h"

namespace Utilsim {
namespace {
constexpr std::size_t kChunk = std::size_t(1) << 16;
// Deeper than any document utilsim writes; a bound on what a hostile file can make us hold.
constexpr std::size_t kMaxDepth = 64;

// Bytes that end a run of bytes a skip passes over: outside strings, and inside them.
constexpr std::array<bool, 256> bytesOf(std::string_view bytes) {
  std::array<bool, 256> t{};
  for (const char c : bytes) t[static_cast<unsigned char>(c)] = true;
  return t;
}
constexpr auto kStructural = bytesOf(std::string_view("\"[]{}\0", 6));
constexpr auto kInString = bytesOf(std::string_view("\"\\\0", 3));

bool space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
// Bytes of a literal or a number: two such runs apart are two tokens, never one.
bool wordByte(int c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
         c == '+' || c == '.';
}
}  // namespace

JsonStream::JsonStream(const std::string& path, bool hash)
    : name_(path == "-" ? "<stdin>" : printable(path, 200)),
      buf_(std::make_unique_for_overwrite<char[]>(kChunk)) {
  if (hash) hash_.emplace();
  const auto in = openInput(path, name_);
  file_ = in.file;
  owned_ = in.owned;
  // An editor may have put a byte order mark at the start.
  if (fill() && len_ >= 3 && std::memcmp(buf_.get(), "\xef\xbb\xbf", 3) == 0) pos_ = 3;
}

JsonStream::~JsonStream() {
  if (owned_) std::fclose(file_);
}

bool JsonStream::fill() {
  offset_ += len_;
  pos_ = 0;
  len_ = std::fread(buf_.get(), 1, kChunk, file_);
  if (len_ == 0) {
    if (std::ferror(file_))
      throw InputFileError(fmt::format("{}: read error: {}", name_, std::strerror(errno)));
    return false;
  }
  if (hash_) hash_->add(buf_.get(), len_);
  return true;
}

int JsonStream::get() {
  if (pos_ == len_ && !fill()) return -1;
  const auto c = static_cast<unsigned char>(buf_[pos_++]);
  if (c == 0) {
    --pos_;
    fail("a NUL byte (\\x00)");
  }
  return c;
}

void JsonStream::fail(const std::string& why, std::uint64_t at) {
  throw JsonSyntaxError(
      fmt::format("{}: not valid JSON: {} (at byte {})", name_, printable(why, 300), at));
}

int JsonStream::peek() {
  while (true) {
    const int c = get();
    if (!space(c)) {
      if (c >= 0) --pos_;
      return c;
    }
  }
}

void JsonStream::expect(char want, const char* what) {
  if (peek() != want) fail(fmt::format("expected {}", what));
  ++pos_;
}

bool JsonStream::more(char close) {
  const int c = peek();
  if (c == ',' || c == close) {
    ++pos_;
    return c == ',';
  }
  fail(c < 0 ? std::string("unexpected end of the document")
             : fmt::format("expected ',' or '{}'", close));
}

std::string JsonStream::memberName() {
  const auto at = offset();
  if (peek() != '"') fail("expected a member name");
  std::string token;
  value(token);
  return parse<nlohmann::json>(token, "a member name", at).get<std::string>();
}

void JsonStream::value(std::string& out) {
  if (peek() < 0) fail("unexpected end of the document");
  const std::size_t start = out.size();
  unsigned depth = 0;
  bool inString = false, spaced = false;
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
    if (space(c)) {
      if (depth == 0 && out.size() > start) return;
      spaced = true;
      continue;
    }
    if (depth == 0 && (c == ',' || c == ']' || c == '}')) {
      --pos_;
      if (out.size() == start) fail("expected a value");
      return;
    }
    // Dropping the space of "tr ue" would make a valid word of it: keep one, so that the
    // parser sees the text as it was.
    if (spaced && out.size() > start && wordByte(out.back()) && wordByte(c)) out += ' ';
    spaced = false;
    out += char(c);
    if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      if (++depth > kMaxDepth) fail(fmt::format("nested deeper than {} levels", kMaxDepth));
    } else if (c == '}' || c == ']') {
      if (depth == 0) fail("unbalanced brackets");
      if (--depth == 0) return;
    }
  }
}

void JsonStream::skip() {
  const int c = peek();
  if (c == '[' || c == '{') return skipNested();
  std::string scalar;
  value(scalar);
}

// A tight scan over the buffer: the entries of a stored run are most of its bytes, and
// skipping them is all that reading a state from a document costs.
void JsonStream::skipNested() {
  std::string closers;
  bool inString = false, escaped = false;
  while (true) {
    if (pos_ == len_ && !fill()) fail("unexpected end of the document");
    const char* const begin = buf_.get();
    const char* p = begin + pos_;
    const char* const end = begin + len_;
    const auto failAt = [&](const char* at, const std::string& why) {
      pos_ = std::size_t(at - begin);
      fail(why);
    };
    while (p < end) {
      if (escaped) {
        if (*p == '\0') failAt(p, "a NUL byte (\\x00)");
        escaped = false;
        ++p;
        continue;
      }
      if (inString) {
        while (p < end && !kInString[static_cast<unsigned char>(*p)]) ++p;
        if (p == end) break;
        if (*p == '\0') failAt(p, "a NUL byte (\\x00)");
        inString = *p == '\\';
        escaped = inString;
        ++p;
        continue;
      }
      while (p < end && !kStructural[static_cast<unsigned char>(*p)]) ++p;
      if (p == end) break;
      switch (*p) {
        case '"':
          inString = true;
          break;
        case '[':
        case '{':
          if (closers.size() == kMaxDepth)
            failAt(p, fmt::format("nested deeper than {} levels", kMaxDepth));
          closers.push_back(*p == '[' ? ']' : '}');
          break;
        case ']':
        case '}':
          if (closers.empty() || closers.back() != *p) failAt(p, "unbalanced brackets");
          closers.pop_back();
          if (closers.empty()) {
            pos_ = std::size_t(p + 1 - begin);
            return;
          }
          break;
        default:
          failAt(p, "a NUL byte (\\x00)");
      }
      ++p;
    }
    pos_ = len_;
  }
}

template <class Json>
Json JsonStream::parse(const std::string& text, const std::string& where, std::uint64_t at) {
  Json out;
  if (auto error = parseJson(text, out)) {
    static constexpr std::string_view kPrefix = "not valid JSON: ";
    if (error->message.rfind(kPrefix, 0) == 0) error->message.erase(0, kPrefix.size());
    fail(fmt::format("{}: {}", where, error->message), at);
  }
  return out;
}
template nlohmann::json JsonStream::parse(const std::string&, const std::string&, std::uint64_t);
template nlohmann::ordered_json JsonStream::parse(const std::string&, const std::string&,
                                                  std::uint64_t);

std::string JsonStream::sha256() {
  while (pos_ < len_ || fill()) pos_ = len_;  // the digest covers every byte of the file
  return hash_ ? hash_->hex() : std::string();
}

std::string_view JsonStream::firstLine() const noexcept {
  const std::string_view rest(buf_.get() + pos_, len_ - pos_);
  const auto nl = rest.find('\n');
  return nl == rest.npos ? std::string_view() : rest.substr(0, nl);
}

bool JsonStream::line(std::string& out, bool* ended) {
  out.clear();
  bool any = false;
  if (ended) *ended = false;
  while (pos_ < len_ || fill()) {
    any = true;
    const char* begin = buf_.get() + pos_;
    const auto n = len_ - pos_;
    const auto* nl = static_cast<const char*>(std::memchr(begin, '\n', n));
    const std::size_t take = nl ? std::size_t(nl - begin) : n;
    if (const auto* nul = static_cast<const char*>(std::memchr(begin, '\0', take))) {
      pos_ += std::size_t(nul - begin);
      fail("a NUL byte (\\x00)");
    }
    out.append(begin, take);
    pos_ += take + (nl ? 1 : 0);
    if (nl) {
      if (ended) *ended = true;
      break;
    }
  }
  if (!out.empty() && out.back() == '\r') out.pop_back();
  return any;
}

StoredRun::StoredRun(const std::string& path, bool hash) : in_(path, hash) {
  // A stream of lines starts with a line that is its header alone (or, from before headers,
  // with an entry); a document or state is one object, on any number of lines.
  const auto first = in_.firstLine();
  Json line;
  if (!first.empty() && !parseJson(first, line) && line.is_object() &&
      (line.contains("line") || (line.size() == 1 && line.contains("header")))) {
    form_ = Form::Lines;
    sawEntries_ = inEntries_ = true;
    if (line.contains("header")) {
      members_ = std::move(line);
      std::string header;
      in_.line(header);
    }
    return;
  }
  in_.expect('{', "a JSON object (a utilsim document or state)");
  readMembers(true);
}

// A line of a stream: an entry (it has a line number), or the summary, the stream's last
// line, whose members join the header's.
bool StoredRun::nextLine(std::string& out) {
  const auto at = in_.offset();
  bool ended = false;
  const bool any = in_.line(out, &ended);
  Json summary;
  // A stream cut short ends without its summary, or in the middle of a line.
  if (!any || (!ended &&
               (parseJson(out, summary) || !summary.is_object() || !summary.contains("complete"))))
    throw InputFileError(fmt::format(
        "{}: the stored run ended early: the stream ends before its summary line (the last "
        "line of --jsonl), after {}",
        in_.name(), entries_ == 1 ? "1 entry" : fmt::format("{} entries", entries_)));
  static constexpr std::string_view kEntry = "{\"line\":";
  if (ended && out.compare(0, kEntry.size(), kEntry) == 0) return true;
  if (ended) summary = in_.parse<Json>(out, fmt::format("the line at byte {}", at), at);
  if (summary.is_object() && summary.contains("line")) return true;
  if (!summary.is_object() || !summary.contains("complete"))
    in_.fail("expected an entry or the summary line", at);
  for (auto& [member, value] : summary.items()) {
    if (member == "header" && members_.contains("header")) {
      // The summary repeats the header; the two must say the same.
      if (value != members_["header"]) in_.fail("the summary's header is not the first line's", at);
      continue;
    }
    members_[member] = std::move(value);
  }
  inEntries_ = false;
  return false;
}

void StoredRun::readMembers(bool first) {
  if (first ? in_.peek() == '}' : !in_.more('}')) {
    if (first) in_.expect('}', "'}'");
    return;
  }
  while (true) {
    const auto at = in_.offset();
    auto member = in_.memberName();
    in_.expect(':', "':' after a member name");
    if (member == "entries" ? sawEntries_ : members_.contains(member))
      in_.fail(fmt::format("member \"{}\" appears twice", printable(member, 40)), at);
    if (member == "entries") {
      in_.expect('[', "'[' (entries is an array)");
      sawEntries_ = inEntries_ = true;
      return;
    }
    std::string text;
    in_.value(text);
    members_[member] = in_.parse<Json>(text, fmt::format("/{}", pointerToken(member)), at);
    if (!in_.more('}')) return;
  }
}

bool StoredRun::nextEntry(std::string& out) {
  if (!inEntries_) return false;
  out.clear();
  if (form_ == Form::Lines) {
    if (!nextLine(out)) return false;
    ++entries_;
    return true;
  }
  if (firstEntry_ ? in_.peek() == ']' : !in_.more(']')) {
    if (firstEntry_) in_.expect(']', "']'");
    inEntries_ = firstEntry_ = false;
    readMembers(false);
    return false;
  }
  firstEntry_ = false;
  in_.value(out);
  ++entries_;
  return true;
}

void StoredRun::finish() {
  if (form_ == Form::Lines) {
    std::string skipped;
    while (inEntries_ && nextLine(skipped)) ++entries_;
  } else if (inEntries_) {
    while (true) {
      if (firstEntry_ ? in_.peek() == ']' : !in_.more(']')) break;
      firstEntry_ = false;
      in_.skip();
      ++entries_;
    }
    if (firstEntry_) in_.expect(']', "']'");
    inEntries_ = firstEntry_ = false;
    readMembers(false);
  }
  if (in_.peek() != -1) in_.fail("text after the document");
}

}  // namespace Utilsim
