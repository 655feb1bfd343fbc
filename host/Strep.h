// Value-to-text conversion of host types. A host type renders itself through a member
// `void strep(Pavo::StrepBuf&) const`; fmt and the exception messages use that one routine.
#pragma once

#include <fmt/format.h>

#include <algorithm>
#include <string>

#include "host/Pavo.h"

namespace Pavo {
using StrepBuf = fmt::memory_buffer;

template <class T>
concept HasStrep = requires(const T& v, StrepBuf& b) {
  v.strep(b);
};

inline void strepAppend(StrepBuf& b, const char* text) { b.append(fmt::string_view(text)); }

// Formats into a buffer. The formatting itself is compiled once, in the host library: fmt's
// format_to would compile the whole formatter into every file that renders a value.
void vstrepFormat(StrepBuf& b, fmt::string_view format, fmt::format_args args);
template <class... Args>
void strepFormat(StrepBuf& b, fmt::string_view format, const Args&... args) {
  vstrepFormat(b, format, fmt::make_format_args(args...));
}
}  // namespace Pavo

namespace QelPavo::Impl {
template <Pavo::HasStrep T>
Pavo::String valueToStrep(const T& v) {
  Pavo::StrepBuf b;
  v.strep(b);
  return Pavo::String(b.data(), b.size());
}
}  // namespace QelPavo::Impl

template <Pavo::HasStrep T>
struct fmt::formatter<T> {
  template <typename ParseContext>
  constexpr auto parse(ParseContext& ctx) {
    return ctx.begin();
  }
  template <typename FormatContext>
  auto format(const T& v, FormatContext& ctx) const {
    Pavo::StrepBuf b;
    v.strep(b);
    return std::copy(b.begin(), b.end(), ctx.out());
  }
};
