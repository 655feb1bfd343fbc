// Host diagnostics the plug-in calls: the ordered-table exception, printf-style message
// formatting, the invariant assertion object and the log message declarations.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "host/Pavo.h"

namespace Asic {
// Graceful-assert mode shared by the host and every plug-in; plug-ins set it at load.
extern std::int32_t mode;

// What a failed table operation reaches the agent as. what() is the message of the
// outermost report, then ": " and the text of what it wrapped, so a nested failure reads
// from the outermost operation down to the first cause.
class OrderedTableException : public std::exception {
 public:
  OrderedTableException(Pavo::String message, Pavo::String cause);
  const char* what() const noexcept override { return text_.c_str(); }
  const Pavo::String& message() const noexcept { return message_; }

 private:
  Pavo::String message_;
  Pavo::String text_;
};

[[noreturn]] void throwOrderedTableException(const Pavo::String& message, const char* what);
[[noreturn]] void throwOrderedTableExceptionUnknown(const Pavo::String& message);
}  // namespace Asic

namespace Qel {
// printf-style formatting into a host string.
Pavo::String _fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Reports a broken invariant; the caller then stops the process.
class SassertHelper {
 public:
  explicit SassertHelper(const char* expression) noexcept : expression_(expression) {}
  void report(const char* text, const char* file, int line, const char* function) const noexcept;

 private:
  const char* expression_;
};

// Log message declaration, read by the host's log registry from the ".veltro_logmsg"
// section of a loaded object: six words on the 32-bit target.
struct LogDescriptor {
  const char* name;
  const char* format;
  const char* explanation;
  const char* flags;
  std::uint32_t count;
  std::uint32_t reserved;
};

class LogHandle {
 public:
  LogHandle(const LogDescriptor* descriptor, Pavo::Duration minInterval, double rate, int burst,
            int flags, bool enabled = true) noexcept;
  ~LogHandle();
  const LogDescriptor* descriptor() const noexcept { return descriptor_; }

 private:
  const LogDescriptor* descriptor_;
  Pavo::Duration minInterval_;
  double rate_;
  int burst_;
  int flags_;
  bool enabled_;
};
// Number of LogHandle objects alive in the process (for load/unload checks).
long liveLogHandles() noexcept;
}  // namespace Qel
