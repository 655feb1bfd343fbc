// The host runtime's basic types: strings, durations and the range error. Its other parts
// have a header each: the slab (host/Slab.h), allocation tracking (host/AllocTracker.h),
// nodes and pointers (host/Node.h) and reflection (host/Reflection.h).
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace Pavo {
using String = std::string;
using Duration = std::int64_t;  // nanoseconds

class RangeException : public std::exception {
 public:
  explicit RangeException(String text) : text_(std::move(text)) {}
  const char* what() const noexcept override { return text_.c_str(); }
  [[noreturn]] static void throwException(const char* text);

 private:
  String text_;
};
}  // namespace Pavo
