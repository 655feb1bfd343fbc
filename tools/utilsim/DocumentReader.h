// The one reader of the JSON documents utilsim writes and reads back: run documents, states,
// the last line of a --jsonl stream. A stored run may hold gigabytes of entries, so it is
// read as a stream: `entries` element by element (compared with a run) or skipped, every
// other member parsed whole. Memory stays that of the largest member but `entries`.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "tools/utilsim/Sha256.h"

namespace Utilsim {

// JSON text read from a file in chunks. Values come out in compact form (white space outside
// strings dropped: how utilsim writes them, so that equal values are equal bytes) or are
// skipped, checked only as far as needed to find their end; parse() checks a value fully.
// A NUL byte anywhere is an error: the text is not what was written. Errors throw
// InputFileError "FILE: not valid JSON: WHY (at byte N)".
class JsonStream {
 public:
  // "-" is standard input. `hash`: keep the SHA-256 of every byte read.
  JsonStream(const std::string& path, bool hash);
  ~JsonStream();
  JsonStream(const JsonStream&) = delete;
  JsonStream& operator=(const JsonStream&) = delete;

  const std::string& name() const noexcept { return name_; }
  // Offset of the next byte in the file.
  std::uint64_t offset() const noexcept { return offset_ + pos_; }

  // The next character that is not white space, without taking it; -1 at the end.
  int peek();
  void expect(char want, const char* what);
  // After a member or element: true when another follows (',' taken), false at the close.
  bool more(char close);
  // A member name (a JSON string).
  std::string memberName();
  // Appends the next value in compact form.
  void value(std::string& out);
  // Moves past the next value.
  void skip();
  // Parses compact text taken from this stream; `where` names it in an error.
  template <class Json>
  Json parse(const std::string& text, const std::string& where, std::uint64_t at);
  // The digest of the whole file: reads what is left (white space only) first.
  std::string sha256();

  [[noreturn]] void fail(const std::string& why, std::uint64_t at);
  [[noreturn]] void fail(const std::string& why) { fail(why, offset()); }

 private:
  int get();
  bool fill();
  void skipNested();

  std::string name_;
  std::FILE* file_;
  bool owned_;
  std::optional<Sha256> hash_;
  std::unique_ptr<char[]> buf_;
  std::size_t pos_ = 0, len_ = 0;
  std::uint64_t offset_ = 0;  // of buf_[0]
};

// A stored run: a utilsim document or state, read top to bottom once. Members other than
// `entries` are parsed as they come; `entries`, when there is one, is streamed by
// nextEntry() or skipped.
class StoredRun {
 public:
  using Json = nlohmann::ordered_json;
  // Reads the members before `entries` (all of them if it has none).
  StoredRun(const std::string& path, bool hash);

  const std::string& name() const noexcept { return in_.name(); }
  // Every member read so far but `entries`, in the file's order.
  const Json& members() const noexcept { return members_; }
  Json& members() noexcept { return members_; }
  bool hasEntries() const noexcept { return sawEntries_; }
  // The next element of `entries` in compact form; false after the last.
  bool nextEntry(std::string& out);
  // Skips what is left of `entries`, reads the members after it and the end of the file.
  void finish();
  std::uint64_t entriesRead() const noexcept { return entries_; }
  std::string sha256() { return in_.sha256(); }
  JsonStream& stream() noexcept { return in_; }

 private:
  void readMembers(bool first);

  JsonStream in_;
  Json members_ = Json::object();
  bool sawEntries_ = false, inEntries_ = false, firstEntry_ = true;
  std::uint64_t entries_ = 0;
};

}  // namespace Utilsim
