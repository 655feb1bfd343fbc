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
#include <string_view>

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

  // Line by line, for a stream of JSON lines. The first line when the buffer holds all of it
  // (without reading further), else empty.
  std::string_view firstLine() const noexcept;
  // The next line, without its line end; false at the end of the file. A NUL byte is an error.
  // `ended`, when given, says whether a line end closed it (a cut stream's last line has none).
  bool line(std::string& out, bool* ended = nullptr);

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

// A stored run, read top to bottom once: a utilsim document or state (one JSON object), or the
// stream of `--jsonl` (the header line, a line per entry, the summary line). Members other
// than `entries` are parsed as they come; the entries are streamed by nextEntry() or skipped.
class StoredRun {
 public:
  using Json = nlohmann::ordered_json;
  enum class Form { Document, Lines };
  // Reads up to the entries: a document's members before `entries` (all of them if it has
  // none), a stream's header line.
  StoredRun(const std::string& path, bool hash);

  const std::string& name() const noexcept { return in_.name(); }
  Form form() const noexcept { return form_; }
  // Every member read so far but `entries`, in the file's order (of a stream: its first and
  // last lines).
  const Json& members() const noexcept { return members_; }
  Json& members() noexcept { return members_; }
  bool hasEntries() const noexcept { return sawEntries_; }
  // The next entry in compact form; false after the last. A stream that ends before its
  // summary line throws InputFileError ("the stored run ended early").
  bool nextEntry(std::string& out);
  // Skips what is left of the entries, reads the members after them and the end of the file.
  void finish();
  std::uint64_t entriesRead() const noexcept { return entries_; }
  std::string sha256() { return in_.sha256(); }
  JsonStream& stream() noexcept { return in_; }

 private:
  void readMembers(bool first);
  bool nextLine(std::string& out);

  JsonStream in_;
  Form form_ = Form::Document;
  Json members_ = Json::object();
  bool sawEntries_ = false, inEntries_ = false, firstEntry_ = true;
  std::uint64_t entries_ = 0;
};

}  // namespace Utilsim
