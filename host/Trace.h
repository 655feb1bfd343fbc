// Tracing: named handles with one enable bit per level, formatted traces (fmt "{}" syntax)
// and stream traces, and the host's sink that writes or captures trace lines.
#pragma once

#include <fmt/format.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/Strep.h"

namespace Qel {
namespace TraceFacility {
using FacilityLevel = unsigned;
}
using FacilityLevel = TraceFacility::FacilityLevel;

class TraceHandle {
 public:
  TraceHandle(const char* name, bool unused);
  ~TraceHandle();
  TraceHandle(const TraceHandle&) = delete;
  TraceHandle& operator=(const TraceHandle&) = delete;

  // The only cost of a trace at a disabled level.
  bool enabled(FacilityLevel level) const noexcept {
    return (levels_.load(std::memory_order_relaxed) >> level) & 1u;
  }
  const char* name() const noexcept { return name_; }
  void levelsIs(std::uint32_t mask) noexcept {
    levels_.store(mask, std::memory_order_relaxed);
    anyLevels_.fetch_or(mask, std::memory_order_relaxed);
  }
  // Whether some handle may have one of the levels enabled: one load for a caller that
  // would otherwise test many handles. Never false while a handle has one enabled; it may
  // stay true for a while after a handle's levels were lowered directly.
  static bool anyEnabled(std::uint32_t levelMask) noexcept {
    return anyLevels_.load(std::memory_order_relaxed) & levelMask;
  }

 private:
  static std::atomic<std::uint32_t> anyLevels_;
  const char* name_;
  std::atomic<std::uint32_t> levels_{0};
  TraceHandle* next_ = nullptr;
  TraceHandle* prev_ = nullptr;
  friend struct TraceRegistry;
};

// Host-side configuration of tracing.
struct TraceConfig {
  // "2,3,8" enables those levels on every handle; "Name=2;*=3" per handle name, "*" for the
  // rest. Replaces the previous configuration. Throws std::invalid_argument on bad text.
  static void enable(const std::string& spec);
  static void disableAll();
  // Names of the handles alive now, sorted, each once. Handles come into being when their
  // owner first traces, so this tells which names a configuration could have matched.
  static std::vector<std::string> handleNames();
  // A host program may take the lines itself instead of standard error (the simulator ties
  // each to the log line that caused it): each line as it would be written, without its line
  // end. Null sets standard error back. Capturing (below) takes precedence.
  using Sink = void (*)(void* context, std::string_view line);
  static void sinkIs(Sink sink, void* context);
  // While capturing, lines go to memory instead of standard error.
  static void captureBegin();
  static std::vector<std::string> captureEnd();
  static const std::vector<std::string>& captured();
};

class TraceStream {
 public:
  TraceStream& operator<<(const char* s) {
    buf_.append(fmt::string_view(s));
    return *this;
  }
  TraceStream& operator<<(const std::string& s) {
    buf_.append(fmt::string_view(s));
    return *this;
  }
  TraceStream& operator<<(bool v) { return *this << (v ? "true" : "false"); }
  TraceStream& operator<<(unsigned char v) { return put(unsigned(v)); }
  TraceStream& operator<<(unsigned int v) { return put(v); }
  template <Pavo::HasStrep T>
  TraceStream& operator<<(const T& v) {
    v.strep(buf_);
    return *this;
  }
  fmt::string_view text() const { return {buf_.data(), buf_.size()}; }

 private:
  TraceStream& put(unsigned v) {
    Pavo::strepFormat(buf_, "{}", v);
    return *this;
  }
  fmt::memory_buffer buf_;
};

// Collects one stream trace and emits it when destroyed.
class TraceHelper {
 public:
  TraceHelper(const TraceHandle& handle, FacilityLevel level, const char* file, int line,
              const char* function) noexcept
      : handle_(handle), level_(level), file_(file), line_(line), function_(function) {}
  ~TraceHelper();
  TraceHelper(const TraceHelper&) = delete;
  TraceStream& stream() noexcept { return stream_; }

 private:
  const TraceHandle& handle_;
  FacilityLevel level_;
  const char* file_;
  int line_;
  const char* function_;
  TraceStream stream_;
};
}  // namespace Qel

// Stream trace: nothing after the level test runs when the level is disabled.
#define QEL_TRACE_STREAM(handle, level, file, function) \
  if (!(handle).enabled(level)) {                       \
  } else                                                \
    ::Qel::TraceHelper((handle), (level), (file), __LINE__, (function)).stream()

namespace Pavo {
namespace Impl {
void vfmtrace(const Qel::TraceHandle& handle, Qel::FacilityLevel level, const char* context,
              const char* file, const char* function, int line, fmt::string_view format,
              fmt::format_args args);
}  // namespace Impl

template <class Handle, class... Args>
inline void fmtrace(const Handle& handle, Qel::FacilityLevel level, const char* file,
                    const char* function, int line, const char* context, fmt::string_view format,
                    const Args&... args) {
  if (!handle.enabled(level)) [[likely]]
    return;
  Impl::vfmtrace(handle, level, context, file, function, line, format,
                 fmt::make_format_args(args...));
}
}  // namespace Pavo
