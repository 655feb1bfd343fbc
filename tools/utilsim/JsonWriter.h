// A JSON writer that streams into a text buffer, in exactly the layout of nlohmann's dump()
// (indent 2, or compact): documents written piece by piece while a replay runs read, and
// compare byte for byte, like the ones the simulator built whole before it streamed.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace Utilsim {

// A growable run of bytes that hands out room to write into, without the per-append checks
// of std::string: a replay writes a few kilobytes of JSON per entry in small pieces.
class TextBuffer {
 public:
  TextBuffer() { reserve(1 << 16); }
  std::string_view view() const noexcept { return {data_.get(), size_}; }
  std::size_t size() const noexcept { return size_; }
  void clear() noexcept { size_ = 0; }
  // Room for n more bytes; commit how many were written with `added`.
  char* room(std::size_t n) {
    if (cap_ - size_ < n) reserve(2 * (size_ + n));
    return data_.get() + size_;
  }
  void added(std::size_t n) noexcept { size_ += n; }
  void append(const char* s, std::size_t n) {
    std::memcpy(room(n), s, n);
    size_ += n;
  }
  void append(std::string_view s) { append(s.data(), s.size()); }
  void push(char c) {
    *room(1) = c;
    ++size_;
  }

 private:
  void reserve(std::size_t cap);
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0, cap_ = 0;
};

class JsonWriter {
 public:
  static constexpr int kCompact = -1;

  // Appends to out. `level` is the nesting depth of the first value written, so that a
  // writer can continue a document another piece of code started.
  JsonWriter(TextBuffer& out, int indent, unsigned level = 0) noexcept
      : out_(out), indent_(indent), level_(level) {}

  JsonWriter& beginObject() { return open('{'); }
  JsonWriter& endObject() { return close('}'); }
  JsonWriter& beginArray() { return open('['); }
  JsonWriter& endArray() { return close(']'); }
  // Indented output, but every object that opens at this nesting depth or deeper on one line
  // (as compact): a file kept under version control then changes by whole rows.
  void objectsOnOneLineFrom(unsigned depth) noexcept { lineFrom_ = depth; }

  // A member name written in the code: no escapes to look for.
  template <std::size_t N>
  JsonWriter& key(const char (&name)[N]) {
    separate();
    char* p = out_.room(N + 3);
    *p++ = '"';
    std::memcpy(p, name, N - 1);
    p += N - 1;
    *p++ = '"';
    *p++ = ':';
    *p = ' ';
    out_.added(N + (pretty() ? 3 : 2));
    afterKey_ = true;
    return *this;
  }
  // A member name; the member's value follows.
  JsonWriter& key(std::string_view name) {
    separate();
    appendString(out_, name);
    if (pretty())
      out_.append(": ", 2);
    else
      out_.push(':');
    afterKey_ = true;
    return *this;
  }

  JsonWriter& value(std::uint64_t v) {
    separate();
    char* p = out_.room(20);
    out_.added(std::size_t(std::to_chars(p, p + 20, v).ptr - p));
    return *this;
  }
  JsonWriter& value(bool v) {
    separate();
    out_.append(v ? std::string_view("true") : std::string_view("false"));
    return *this;
  }
  JsonWriter& value(std::string_view v) {
    separate();
    appendString(out_, v);
    return *this;
  }
  JsonWriter& value(const char* v) { return value(std::string_view(v)); }
  JsonWriter& null() {
    separate();
    out_.append("null", 4);
    return *this;
  }

  // Text that is already JSON, written by a writer at the depth() of this one.
  JsonWriter& raw(std::string_view json) {
    separate();
    out_.append(json);
    return *this;
  }
  // The depth at which the next value is written (what a writer for raw() text starts at).
  unsigned depth() const noexcept { return level_ + depth_; }
  int indent() const noexcept { return indent_; }

  template <class Name>
  JsonWriter& member(const Name& name, std::uint64_t v) {
    return key(name).value(v);
  }
  template <class Name>
  JsonWriter& member(const Name& name, std::string_view v) {
    return key(name).value(v);
  }
  template <class Name>
  JsonWriter& member(const Name& name, const char* v) {
    return key(name).value(v);
  }

  // Appends s as a JSON string: the escapes nlohmann writes, invalid UTF-8 replaced by U+FFFD.
  static void appendString(TextBuffer& out, std::string_view s) {
    // Names and most texts need no escape: one copy.
    char* p = out.room(s.size() + 2);
    *p++ = '"';
    for (const char ch : s) {
      const auto c = static_cast<unsigned char>(ch);
      if (c < 0x20 || c == '"' || c == '\\' || c >= 0x80) return appendEscaped(out, s);
      *p++ = ch;
    }
    *p = '"';
    out.added(s.size() + 2);
  }

 private:
  static constexpr unsigned kMaxDepth = 16;
  static void appendEscaped(TextBuffer& out, std::string_view s);
  JsonWriter& open(char bracket);
  JsonWriter& close(char bracket);
  // Before a value or a member name: the separator from what came before at this depth.
  void separate() {
    if (afterKey_) {
      afterKey_ = false;
      return;
    }
    if (depth_ == 0) return;
    if (nonEmpty_[depth_ - 1]) out_.push(',');
    nonEmpty_[depth_ - 1] = true;
    if (pretty()) newline(level_ + depth_);
  }
  void newline(unsigned level);
  // Whether what is written at `depth` is indented (not compact, nor in a one-line object).
  bool pretty(unsigned depth) const noexcept {
    return indent_ >= 0 && (oneLineAt_ == 0 || depth < oneLineAt_);
  }
  bool pretty() const noexcept { return pretty(depth_); }

  TextBuffer& out_;
  int indent_;
  unsigned level_;
  bool afterKey_ = false;
  unsigned depth_ = 0;
  bool nonEmpty_[kMaxDepth] = {};
  unsigned lineFrom_ = ~0u;  // objects opening at this depth or deeper go on one line
  unsigned oneLineAt_ = 0;   // the depth of the contents of the one-line object open; 0: none
};

}  // namespace Utilsim
