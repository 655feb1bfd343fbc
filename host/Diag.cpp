#include "host/Diag.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace Qel {
Pavo::String _fmt(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  va_list ap2;
  va_copy(ap2, ap);
  const int n = std::vsnprintf(nullptr, 0, format, ap);
  va_end(ap);
  Pavo::String out(n > 0 ? std::size_t(n) : 0, '\0');
  if (n > 0) std::vsnprintf(out.data(), std::size_t(n) + 1, format, ap2);
  va_end(ap2);
  return out;
}

void SassertHelper::report(const char* text, const char* file, int line,
                           const char* function) const noexcept {
  std::fprintf(stderr, "assertion (%s) failed: %s at %s:%d in %s\n", expression_, text, file, line,
               function);
}

namespace {
std::atomic<long> gLogHandles{0};
}
LogHandle::LogHandle(const LogDescriptor* descriptor, Pavo::Duration minInterval, double rate,
                     int burst, int flags, bool enabled) noexcept
    : descriptor_(descriptor),
      minInterval_(minInterval),
      rate_(rate),
      burst_(burst),
      flags_(flags),
      enabled_(enabled) {
  ++gLogHandles;
}
LogHandle::~LogHandle() { --gLogHandles; }
long liveLogHandles() noexcept { return gLogHandles.load(); }
}  // namespace Qel

namespace Asic {
std::int32_t mode = 0;

OrderedTableException::OrderedTableException(Pavo::String message, Pavo::String cause)
    : message_(std::move(message)) {
  text_ = cause.empty() ? message_ : message_ + ": " + cause;
}

void throwOrderedTableException(const Pavo::String& message, const char* what) {
  throw OrderedTableException(message, what ? what : "");
}
void throwOrderedTableExceptionUnknown(const Pavo::String& message) {
  throw OrderedTableException(message, "unknown exception");
}
}  // namespace Asic
