#include "tools/utilsim/JsonWriter.h"

#include <stdexcept>

namespace Utilsim {
namespace {
// Length of the valid UTF-8 sequence starting at s[i], or 0 when it is not one.
std::size_t utf8Length(std::string_view s, std::size_t i) noexcept {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned c = b(i);
  std::size_t n;
  unsigned lo = 0x80, hi = 0xbf;  // allowed range of the second byte
  if (c >= 0xc2 && c <= 0xdf) {
    n = 2;
  } else if (c >= 0xe0 && c <= 0xef) {
    n = 3;
    if (c == 0xe0) lo = 0xa0;
    if (c == 0xed) hi = 0x9f;  // no surrogates
  } else if (c >= 0xf0 && c <= 0xf4) {
    n = 4;
    if (c == 0xf0) lo = 0x90;
    if (c == 0xf4) hi = 0x8f;
  } else {
    return 0;
  }
  if (i + n > s.size() || b(i + 1) < lo || b(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if (b(i + k) < 0x80 || b(i + k) > 0xbf) return 0;
  return n;
}
}  // namespace

void JsonWriter::appendEscaped(TextBuffer& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push('"');
  std::size_t i = 0;
  while (i < s.size()) {
    // Most text needs no escape: copy it in runs.
    std::size_t run = i;
    while (run < s.size()) {
      const auto c = static_cast<unsigned char>(s[run]);
      if (c < 0x20 || c == '"' || c == '\\' || c >= 0x80) break;
      ++run;
    }
    out.append(s.data() + i, run - i);
    if (run == s.size()) break;
    i = run;
    const auto c = static_cast<unsigned char>(s[i]);
    switch (c) {
      case '"':
        out.append("\\\"");
        break;
      case '\\':
        out.append("\\\\");
        break;
      case '\b':
        out.append("\\b");
        break;
      case '\f':
        out.append("\\f");
        break;
      case '\n':
        out.append("\\n");
        break;
      case '\r':
        out.append("\\r");
        break;
      case '\t':
        out.append("\\t");
        break;
      default:
        if (c < 0x20) {
          out.append("\\u00");
          out.push(kHex[c >> 4]);
          out.push(kHex[c & 15]);
        } else if (const auto n = utf8Length(s, i)) {
          out.append(s.substr(i, n));
          i += n - 1;
        } else {
          out.append("\xef\xbf\xbd");
        }
    }
    ++i;
  }
  out.push('"');
}

void JsonWriter::newline(unsigned level) {
  static constexpr std::string_view kSpaces = "\n                                                 ";
  const std::size_t n = std::size_t(level) * unsigned(indent_) + 1;
  if (n <= kSpaces.size()) {
    out_.append(kSpaces.data(), n);
  } else {
    out_.push('\n');
    for (std::size_t i = 1; i < n; ++i) out_.push(' ');
  }
}

JsonWriter& JsonWriter::open(char bracket) {
  separate();
  if (depth_ == kMaxDepth) throw std::logic_error("JsonWriter: nesting too deep");
  if (bracket == '{' && oneLineAt_ == 0 && level_ + depth_ >= lineFrom_) oneLineAt_ = depth_ + 1;
  out_.push(bracket);
  nonEmpty_[depth_++] = false;
  return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
  const bool nonEmpty = nonEmpty_[--depth_];
  if (nonEmpty && pretty(depth_ + 1)) newline(level_ + depth_);
  if (oneLineAt_ == depth_ + 1) oneLineAt_ = 0;
  out_.push(bracket);
  return *this;
}

void TextBuffer::reserve(std::size_t cap) {
  auto grown = std::make_unique_for_overwrite<char[]>(cap);  // written before it is read
  if (size_) std::memcpy(grown.get(), data_.get(), size_);
  data_ = std::move(grown);
  cap_ = cap;
}

}  // namespace Utilsim
